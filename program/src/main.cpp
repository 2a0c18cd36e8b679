// Entry point of the console program.
#include <iostream>
#include <memory>
#include <string>

#include "ArmLink.h"
#include "MenuOperations.h"
#include "console/ConsoleServices.h"
#include "program/MainMenu.h"
#include "console/OperationGuard.h"
#include "platform/console.h"
#include "wizardops/SettingsSelection.h"

namespace {

// The arm record of a library that did not confirm the close (see below).
ArmConnection* gStillWrittenTo = nullptr;

// Closes the arm. When the arm library did not confirm the close it may still
// be writing into the record's data block from its own thread: the record
// then stays allocated for the rest of the process (held here, so that it is
// neither freed under the library nor reported as a leak).
void closeArmKeepingItsBlock(ConsoleContext& context, std::unique_ptr<ArmConnection>& arm) {
  if (!closeArmStep(context, *arm)) gStillWrittenTo = arm.release();
}

// The console has gone: nobody can answer any more. Close the arm and end.
int endForLostInput(ConsoleContext& context, std::unique_ptr<ArmConnection>& arm) {
  context.print("\nConsole input ended.\n");
  closeArmKeepingItsBlock(context, arm);
  std::cout.flush();
  return kExitStatusInputEnded;
}

int runProgram(const std::string& firstArgument) {
  ConsoleContext context{};
  // The arm record holds the block the arm library keeps writing into: it
  // must stay at one address for the whole run, so it lives on the heap.
  auto arm = std::make_unique<ArmConnection>();
  context.programDirectory = programDirectoryFromArgument(firstArgument);
  context.print = printToConsole;

  try {
    if (!startArmStep(context, *arm)) {
      std::cout.flush();
      return 0;
    }
    context.directoryMode = detectDirectoryMode();
    showDirectoryMode(context.directoryMode, context.print);

    for (;;) {
      showBanner(context.print);
      context.lastChoice = chooseMainMenuFunction();
      if (context.lastChoice == kMenuExit) break;
      runOperationGuarded(context,
                          [&] { return runMenuOperation(context.lastChoice, context, *arm); });
      waitForAnyKey(context.print);
    }
  } catch (ConsoleInputEnded&) {
    // Also when the arm start-up question was left unanswered: closing sends
    // nothing unless the arm library was bound.
    return endForLostInput(context, arm);
  }

  closeArmKeepingItsBlock(context, arm);
  std::cout.flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  platform::console::install();
  return runProgram(argc > 0 && argv[0] != nullptr ? argv[0] : "");
}
