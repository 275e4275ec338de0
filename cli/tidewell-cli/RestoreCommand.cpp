// tidewell-cli restore: "Restore" on the restore history with the given rows checked.

#include "CliSupport.h"
#include "Command.h"
#include "RepairCommandSupport.h"

#include "lists/CheckableList.h"
#include "platform/FileIdentity.h"
#include "registry/PrefixLock.h"
#include "registry/XmlStore.h"
#include "repair/RestoreHistory.h"

#include <algorithm>
#include <ostream>

namespace tw::cli {

static constexpr std::string_view RestoreUsage =
    "usage: tidewell-cli restore [--prefix DIR] (--all | N...)\n";

void printRestoreHelp(std::ostream &out) {
  out << RestoreUsage
      << "\nWrites records of the undo store back into the registry as \"Restore\" does, and\n"
         "removes them from the undo store. Records are chosen by their position in\n"
         "'tidewell-cli history' (0 is the first), or all of them with --all. The registry is\n"
         "saved before Backup.xml, so a record leaves the undo store only once what it holds\n"
         "is back on disk.\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n\n"
         "Prints the restored records as 'history' prints them.\n\n"
         "A record that cannot be written back exactly is not written at all and stays in the\n"
         "undo store; the message names it and says why, and the other records are restored.\n\n"
         "Exit status: 0 when restored, 1 when the registry or Backup.xml could not be read or\n"
         "saved or a record could not be written back (the message says what was kept), 2 for\n"
         "a wrong command line or a position that names no record, 3 when another program is\n"
         "working on the prefix (nothing was done).\n";
}

int runRestoreCommand(const CommandContext &context) {
  std::string prefixDir;
  bool helpWanted = false;
  std::vector<std::string_view> operands;
  if (!parsePrefixOnly(context, "restore", RestoreUsage, prefixDir, helpWanted, &operands, {"--all"}))
    return ExitUsage;
  if (helpWanted) {
    printRestoreHelp(context.out);
    return ExitOk;
  }
  const bool all = std::find(operands.begin(), operands.end(), "--all") != operands.end();
  const bool valid = all ? operands.size() == 1 : !operands.empty();
  if (!valid) {
    context.err << "tidewell-cli restore: give --all or the positions of the records\n"
                << RestoreUsage;
    return ExitUsage;
  }

  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  if (!registryIsWritable(context.err)) return ExitCannotOpen;
  PrefixLock lock;
  if (const int status = takePrefixLock(context, "restore", lock); status != ExitOk) return status;
  pugi::xml_document undoStore;
  platform::FileIdentity version;
  const std::string path = readUndoStoreOfMachine(undoStore, context.err, &version);
  if (path.empty()) return ExitCannotOpen;

  lists::CheckableList history;
  repair::refreshHistory(history, undoStore);
  if (all) {
    history.setAllChecked(true);
  } else {
    auto positions = parseRowPositions(operands, history.count(), "record", context.err);
    if (!positions) return ExitUsage;
    for (int position : *positions) history.setChecked(position, true);
  }
  std::vector<lists::Row> restored;
  const repair::ActionResult result =
      repair::restoreCheckedRecords(history, {undoStore, path, &version}, &restored);
  // Records are restored from the last chosen one up; print them in the history's order.
  for (auto row = restored.rbegin(); row != restored.rend(); ++row)
    writeTsvLine(context.out, {row->caption, row->subItem(0), row->subItem(1)});
  context.out.flush();
  if (result) return ExitOk;
  context.err << "tidewell-cli restore: " << result.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
