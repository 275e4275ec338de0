// tidewell-cli backup: the restore points of the backup page, on the same routines and folders.

#include "CliSupport.h"
#include "Command.h"
#include "RepairCommandSupport.h"

#include "backup/BackupRun.h"
#include "backup/FolderEmptying.h"
#include "backup/RestorePoints.h"
#include "platform/Machine.h"
#include "registry/ProgramFiles.h"

#include <algorithm>
#include <clocale>
#include <ostream>

namespace tw::cli {

static constexpr std::string_view BackupUsage =
    "usage: tidewell-cli backup list|create|restore NAME|delete NAME [--prefix DIR]\n";

void printBackupHelp(std::ostream &out) {
  out << BackupUsage
      << "\nThe restore points of the prefix: full exports of its five registry roots made by the\n"
         "registry editor (tidewell-regedit, or the program TIDEWELL_REGEDIT names), kept in\n"
         "C:\\ProgramData\\Tidewell Registry Cleaner 2006\\Backup inside the prefix.\n\n"
         "  list           the restore points, one name a line, in the backup page's order\n"
         "  create         export the five roots into a new restore point named after the date\n"
         "                 and time, and print its name\n"
         "  restore NAME   import the five files of the restore point NAME (keys added since\n"
         "                 stay: an import merges)\n"
         "  delete NAME    delete the restore point NAME; every file that cannot be deleted\n"
         "                 is named (\" Delete error: \" and its name)\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n\n"
         "Exit status: 0 when done, 1 when the prefix could not be opened, a root could not be\n"
         "exported or imported, the registry may only be read (restore), or a restore point\n"
         "could not be deleted completely, 2 for a wrong command line or an unknown NAME.\n";
}

static int printReport(const backup::RunReport &report, std::ostream &err) {
  if (const std::string text = report.description(); !text.empty()) err << "tidewell-cli: " << text << "\n";
  return report.succeeded() ? ExitOk : ExitCannotOpen;
}

/// The restore point `name` when it is listed in `backupFolder`; otherwise says so.
static bool isListed(const std::string &backupFolder, std::string_view name, std::ostream &err) {
  const std::vector<std::string> names = backup::listRestorePoints(platform::machine().files(), backupFolder);
  if (std::find(names.begin(), names.end(), name) != names.end()) return true;
  err << "tidewell-cli backup: there is no restore point '" << name << "' in " << backupFolder
      << " ('tidewell-cli backup list' lists them)\n";
  return false;
}

int runBackupCommand(const CommandContext &context) {
  std::string prefixDir;
  bool helpWanted = false;
  std::vector<std::string_view> operands;
  if (!parsePrefixOnly(context, "backup", BackupUsage, prefixDir, helpWanted, &operands)) return ExitUsage;
  if (helpWanted) {
    printBackupHelp(context.out);
    return ExitOk;
  }
  const std::string_view action = operands.empty() ? std::string_view() : operands.front();
  const bool wantsName = action == "restore" || action == "delete";
  const bool known = wantsName || action == "list" || action == "create";
  if (!known || operands.size() != (wantsName ? 2u : 1u)) {
    context.err << "tidewell-cli backup: "
                << (known ? "wrong number of arguments" : "say list, create, restore NAME or delete NAME") << "\n"
                << BackupUsage;
    return ExitUsage;
  }
  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  platform::Machine &machine = platform::machine();
  const ProgramFiles files = setUpProgramFiles(machine);

  if (action == "list") {
    for (const std::string &name : backup::listRestorePoints(machine.files(), files.backupFolder))
      context.out << name << "\n";
    return ExitOk;
  }
  if (action == "create") {
    // Restore points are named with the user's time format, as the window names them.
    std::setlocale(LC_TIME, "");
    const std::string name = backup::restorePointNameNow();
    const std::string folder = backup::createRestorePoint(machine, files.backupFolder, name);
    const backup::RunReport report = backup::runBackup(machine, folder, [](const std::string &) {}, {});
    context.out << name << "\n";
    return printReport(report, context.err);
  }
  const std::string name(operands[1]);
  if (!isListed(files.backupFolder, name, context.err)) return ExitUsage;
  if (action == "restore") {
    const std::string folder = withTrailingBackslash(files.backupFolder) + name;
    return printReport(backup::runRestore(machine, folder, [](const std::string &) {}), context.err);
  }
  const backup::RestorePointDeletion deleted = backup::deleteRestorePoint(
      machine.files(), files.backupFolder, name, [&](const std::string &message) { context.err << message << "\n"; });
  if (deleted.folderRemoved) return ExitOk;
  context.err << "tidewell-cli backup: the restore point " << name << " could not be removed completely\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
