// Exception barrier around the menu operations.
#include "console/OperationGuard.h"

#include <exception>
#include <string>

#include "IniFileSection.h"
#include "console/ConsoleServices.h"

bool runOperationGuarded(ConsoleContext& context, const std::function<bool()>& operation) {
  try {
    return operation();
  } catch (ConsoleInputEnded&) {
    throw;
  } catch (IniFileSection::IniFileException* e) {
    const std::string detail = e != nullptr ? e->getMessage() : std::string();
    delete e;
    context.print("\nOperation failed: settings file error" +
                  (detail.empty() ? std::string() : " (" + detail + ")") + ".\n");
  } catch (const std::exception& e) {
    // One full stop ends the line, whether or not the message brings its own.
    std::string what = e.what();
    if (!what.empty() && what.back() == '.') what.pop_back();
    context.print("\nOperation failed: " + what + ".\n");
  } catch (...) {
    context.print("\nOperation failed: unexpected error.\n");
  }
  return false;
}
