// Runs one menu operation so that no exception escapes it.
#pragma once

#include <functional>

#include "console/ConsoleContext.h"

// Runs the operation and returns its result. A settings-file error
// (IniFileSection::IniFileException, thrown as a pointer: freed here) or any
// other exception becomes one line through context.print, and the result is
// false. Only ConsoleInputEnded passes through, so that the program can end.
bool runOperationGuarded(ConsoleContext& context, const std::function<bool()>& operation);
