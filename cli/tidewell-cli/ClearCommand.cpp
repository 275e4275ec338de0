// tidewell-cli clear: "Clear" on the restore history: the undo store forgets every record.

#include "CliSupport.h"
#include "Command.h"
#include "RepairCommandSupport.h"

#include "lists/CheckableList.h"
#include "platform/FileIdentity.h"
#include "registry/PrefixLock.h"
#include "registry/XmlStore.h"
#include "repair/RestoreHistory.h"

#include <ostream>

namespace tw::cli {

static constexpr std::string_view ClearUsage = "usage: tidewell-cli clear [--prefix DIR]\n";

void printClearHelp(std::ostream &out) {
  out << ClearUsage
      << "\nRemoves every record from the undo store (Backup.xml of the prefix) as \"Clear\"\n"
         "does; what they recorded can then no longer be restored. The registry is not touched.\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n\n"
         "Exit status: 0 when cleared, 1 when the prefix or Backup.xml could not be read or\n"
         "saved (Backup.xml then keeps its records), 2 for a wrong command line, 3 when another\n"
         "program is working on the prefix (nothing was done).\n";
}

int runClearCommand(const CommandContext &context) {
  std::string prefixDir;
  bool helpWanted = false;
  if (!parsePrefixOnly(context, "clear", ClearUsage, prefixDir, helpWanted)) return ExitUsage;
  if (helpWanted) {
    printClearHelp(context.out);
    return ExitOk;
  }
  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  PrefixLock lock;
  if (const int status = takePrefixLock(context, "clear", lock); status != ExitOk) return status;
  pugi::xml_document undoStore;
  platform::FileIdentity version;
  const std::string path = readUndoStoreOfMachine(undoStore, context.err, &version);
  if (path.empty()) return ExitCannotOpen;
  lists::CheckableList history;
  const repair::ActionResult result = repair::clearHistory(history, {undoStore, path, &version});
  if (result) return ExitOk;
  context.err << "tidewell-cli clear: " << result.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
