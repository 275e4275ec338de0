#include "Command.h"

#include <array>

namespace tw::cli {

static constexpr std::array CommandTable = {
    Command{"scan", "scan [--prefix DIR] [--groups LIST] [--json]",
            "scan the registry for broken references and list the errors", runScanCommand,
            printScanHelp},
};

std::span<const Command> commands() { return CommandTable; }

const Command *findCommand(std::string_view name) {
  for (const Command &command : CommandTable)
    if (command.name == name) return &command;
  return nullptr;
}

} // namespace tw::cli
