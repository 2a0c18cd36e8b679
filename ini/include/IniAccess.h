// A settings access whose failure is an answer, not an error: runs it and
// tells whether it went through. The IniFileException it may raise is
// deleted here.
#pragma once

#include "IniFileSection.h"

// Runs access() (reads or writes through IniFileSection); false when it
// raised IniFileException.
template <typename Access>
bool iniAccessSucceeds(Access&& access) {
  try {
    access();
    return true;
  } catch (IniFileSection::IniFileException* e) {
    delete e;
    return false;
  }
}
