// tidewell-cli history: the records of the undo store, as the restore history page lists them.

#include "CliSupport.h"
#include "Command.h"
#include "RepairCommandSupport.h"

#include "registry/XmlStore.h"

#include <ostream>

namespace tw::cli {

static constexpr std::string_view HistoryUsage = "usage: tidewell-cli history [--prefix DIR]\n";

void printHistoryHelp(std::ostream &out) {
  out << HistoryUsage
      << "\nLists the records of the undo store (Backup.xml of the prefix), one line per record\n"
         "in the order the restore history shows them: name, type and path, separated by tabs.\n"
         "Line N (from 0) is the record that 'tidewell-cli restore N' restores.\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n\n"
         "Exit status: 0 when listed, 1 when the prefix or Backup.xml could not be read, 2 for\n"
         "a wrong command line.\n";
}

int runHistoryCommand(const CommandContext &context) {
  std::string prefixDir;
  bool helpShown = false;
  if (!parsePrefixOnly(context, "history", HistoryUsage, prefixDir, helpShown)) return ExitUsage;
  if (helpShown) {
    printHistoryHelp(context.out);
    return ExitOk;
  }
  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  pugi::xml_document undoStore;
  const std::string path = readUndoStoreOfMachine(undoStore, context.err);
  if (path.empty()) return ExitCannotOpen;
  for (const UndoRecord &record : listUndoRecords(undoStore))
    writeTsvLine(context.out, {record.name, record.type, record.path});
  return ExitOk;
}

} // namespace tw::cli
