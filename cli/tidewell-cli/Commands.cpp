#include "Command.h"

#include <array>

namespace tw::cli {

static constexpr std::array CommandTable = {
    Command{"scan", "scan [--prefix DIR] [--groups LIST] [--json]",
            "scan the registry for broken references and list the errors", runScanCommand,
            printScanHelp},
    Command{"fix", "fix [--prefix DIR] [--groups LIST] [KEYNAME...]",
            "scan, then fix the errors found, recording them in the undo store", runFixCommand,
            printFixHelp},
    Command{"history", "history [--prefix DIR]", "list the records of the undo store",
            runHistoryCommand, printHistoryHelp},
    Command{"restore", "restore [--prefix DIR] (--all | N...)",
            "write records of the undo store back into the registry", runRestoreCommand,
            printRestoreHelp},
    Command{"clear", "clear [--prefix DIR]", "forget every record of the undo store",
            runClearCommand, printClearHelp},
    Command{"ignore", "ignore list | add ROOT KEY VALUE | remove N...",
            "show or edit the ignore list of the current folder", runIgnoreCommand,
            printIgnoreHelp},
    Command{"backup", "backup list|create|restore NAME|delete NAME [--prefix DIR]",
            "list, make, restore or delete full registry restore points", runBackupCommand,
            printBackupHelp},
    Command{"startup", "startup list | disable N... | enable N... [--prefix DIR]",
            "list, disable and enable the programs Windows starts at logon", runStartupCommand,
            printStartupHelp},
    Command{"uninstall", "uninstall list | delete N... | run N... [--prefix DIR]",
            "list installed programs, delete their entries, start their uninstallers",
            runUninstallCommand, printUninstallHelp},
    Command{"addons", "addons list [--kinds LIST] | remove N...",
            "list the browser's add-ons, or remove them with an undo record", runAddonsCommand,
            printAddonsHelp},
    Command{"traces", "traces scan [--actions LIST] | clean [--actions LIST] [N...]",
            "list the browser's traces, or clean them up", runTracesCommand, printTracesHelp},
};

std::span<const Command> commands() { return CommandTable; }

const Command *findCommand(std::string_view name) {
  for (const Command &command : CommandTable)
    if (command.name == name) return &command;
  return nullptr;
}

} // namespace tw::cli
