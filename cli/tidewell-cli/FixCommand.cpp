// tidewell-cli fix: one scan of the machine, then "Fix Selected" on every row it found (or only
// on the rows whose key names are given), recording each in the undo store.

#include "CliSupport.h"
#include "Command.h"
#include "RepairCommandSupport.h"

#include "platform/FileIdentity.h"
#include "registry/PrefixLock.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <ostream>
#include <set>

namespace tw::cli {

static constexpr std::string_view FixUsage =
    "usage: tidewell-cli fix [--prefix DIR] [--groups LIST] [KEYNAME...]\n";

void printFixHelp(std::ostream &out) {
  out << FixUsage
      << "\nScans the registry of a Wine prefix as 'tidewell-cli scan' does, then fixes the\n"
         "errors it found as \"Fix Selected\" does: each is recorded in the undo store and\n"
         "removed from the registry. Backup.xml (in C:\\ProgramData\\Tidewell Registry Cleaner\n"
         "2006\\ of the prefix) is saved before the registry, so nothing is removed that cannot\n"
         "be restored ('tidewell-cli restore').\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --groups LIST  comma-separated group numbers to scan (default: all; see 'scan --help')\n"
         "  KEYNAME...     fix only the rows with these key names (as the scan prints them);\n"
         "                 without any, every row is fixed\n\n"
         "Prints the fixed rows as the scan prints its rows: error type, key name, key value\n"
         "and guess path, separated by tabs. Only rows whose entries are gone from the registry\n"
         "files on disk are printed.\n\n"
         "Exit status: 0 when the fix was done, 1 when the registry, ignore.xml or Backup.xml\n"
         "could not be read or saved, the scan ended early on an error, or an entry could not\n"
         "be recorded (the message says what was kept), 2 for a wrong command line, 3 when another program is working on the\n"
         "prefix (nothing was done).\n";
}

int runFixCommand(const CommandContext &context) {
  std::string prefixDir;
  std::string groupText;
  bool groupsGiven = false;
  std::set<std::string, std::less<>> keyNames;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string_view arg = context.args[i];
    if (arg == "--help" || arg == "-h") {
      printFixHelp(context.out);
      return ExitOk;
    }
    OptionMatch match = matchValueOption(context.args, i, "--prefix", prefixDir);
    if (match == OptionMatch::NoMatch) {
      match = matchValueOption(context.args, i, "--groups", groupText);
      if (match == OptionMatch::Taken) groupsGiven = true;
    }
    if (match == OptionMatch::Taken) continue;
    if (match == OptionMatch::NoMatch && !arg.starts_with("--")) {
      keyNames.emplace(arg);
      continue;
    }
    if (match == OptionMatch::MissingValue)
      context.err << "tidewell-cli fix: " << arg << " needs a value\n";
    else
      context.err << "tidewell-cli fix: unknown argument '" << arg << "'\n";
    context.err << FixUsage;
    return ExitUsage;
  }

  std::optional<std::vector<int>> groups;
  if (groupsGiven) {
    groups = parseGroupList(groupText);
    if (!groups) {
      context.err << "tidewell-cli fix: --groups takes group numbers from 0 to 11 separated by "
                     "commas, not '"
                  << groupText << "'\n";
      return ExitUsage;
    }
  }

  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  if (!registryIsWritable(context.err)) return ExitCannotOpen;
  PrefixLock lock;
  if (const int status = takePrefixLock(context, "fix", lock); status != ExitOk) return status;
  auto ignoreList = loadIgnoreList(context.err);
  if (!ignoreList) return ExitCannotOpen;
  pugi::xml_document undoStore;
  platform::FileIdentity undoStoreVersion;
  const std::string undoStorePath = readUndoStoreOfMachine(undoStore, context.err, &undoStoreVersion);
  if (undoStorePath.empty()) return ExitCannotOpen;

  ScanOutcome outcome = runScan(groups, std::move(*ignoreList), {});
  if (outcome.result.kind == scan::ScanEndKind::Failed)
    context.err << "tidewell-cli fix: the scan ended early in group " << outcome.result.failedGroup
                << ": " << outcome.result.error << "\n";
  if (!keyNames.empty())
    for (int i = 0; i < outcome.errors.count(); ++i)
      outcome.errors.setChecked(i, keyNames.contains(outcome.errors.row(i).subItem(scan::KeyNameSubItem)));

  std::vector<lists::Row> fixed;
  const repair::ActionResult result =
      repair::fixSelectedErrors(outcome.errors, {undoStore, undoStorePath, &undoStoreVersion}, &fixed);
  // Rows are fixed from the bottom of the list up; print them in the list's order.
  for (auto row = fixed.rbegin(); row != fixed.rend(); ++row)
    writeTsvLine(context.out, {row->caption, row->subItem(scan::KeyNameSubItem),
                               row->subItem(scan::KeyValueSubItem), row->subItem(scan::GuessPathSubItem)});
  context.out.flush();
  if (!result) context.err << "tidewell-cli fix: " << result.message << "\n";
  if (result.status == repair::ActionResult::Status::AnotherProgram) return ExitBusy;
  // A scan that ended early found only part of the errors: the fix is not done.
  const bool scanned = outcome.result.kind != scan::ScanEndKind::Failed;
  return result && scanned ? ExitOk : ExitCannotOpen;
}

} // namespace tw::cli
