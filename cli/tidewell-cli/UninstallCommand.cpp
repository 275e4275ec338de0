// tidewell-cli uninstall: the uninstall manager's list, deleting entries and starting
// uninstallers as its buttons do.

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"
#include "RepairCommandSupport.h"

#include "tools/uAddRemove.h"

#include <ostream>

namespace tw::cli {

static constexpr std::string_view UninstallUsage =
    "usage: tidewell-cli uninstall list [--prefix DIR] [--json]\n"
    "       tidewell-cli uninstall delete N... [--prefix DIR]\n"
    "       tidewell-cli uninstall run N... [--prefix DIR]\n";

void printUninstallHelp(std::ostream &out) {
  out << UninstallUsage
      << "\nThe installed programs the uninstall key of HKEY_LOCAL_MACHINE knows, as the\n"
         "uninstall page lists them (sorted by display name).\n\n"
         "  list          one line per entry: display name, uninstall command and the key the\n"
         "                entry is kept in, separated by tabs\n"
         "  delete N...   deletes the keys of the entries at these positions of 'list' (0 is\n"
         "                the first); nothing records them, they cannot be restored\n"
         "  run N...      starts their uninstallers with Wine in the prefix, without waiting\n"
         "  --prefix DIR  the prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --json        for list: one JSON array of the entries\n\n"
         "Exit status: 0 when done, 1 when the registry could not be read or changed or an\n"
         "uninstaller could not be started (the reason is printed), 2 for a wrong command line\n"
         "or a position that names no entry.\n";
}

static void writeUninstallJson(std::ostream &out, const lists::CheckableList &list) {
  out << "[";
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &row = list.row(i);
    out << (i ? "," : "") << "\n{\"name\":";
    writeJsonString(out, row.caption);
    out << ",\"uninstall\":";
    writeJsonString(out, row.subItem(tools::UninstallPathSubItem));
    out << ",\"key\":";
    writeJsonString(out, row.data);
    out << "}";
  }
  out << "]\n";
}

int runUninstallCommand(const CommandContext &context) {
  ListActionLine line;
  if (!parseListActionLine(context, "uninstall", UninstallUsage, {"delete", "run"}, line)) return ExitUsage;
  if (line.helpWanted) {
    printUninstallHelp(context.out);
    return ExitOk;
  }
  if (!openMachine(line.prefixDir, context.err)) return ExitCannotOpen;

  lists::CheckableList list{/*sorted=*/true};
  const repair::ActionResult listed = tools::ListUninstallEntries(list);
  if (!listed) context.err << "tidewell-cli uninstall: the list stops early: " << listed.message << "\n";

  if (line.action == "list") {
    if (line.json) {
      writeUninstallJson(context.out, list);
    } else {
      for (int i = 0; i < list.count(); ++i) {
        const lists::Row &row = list.row(i);
        writeTsvLine(context.out, {row.caption, row.subItem(tools::UninstallPathSubItem), row.data});
      }
    }
    return listed ? ExitOk : ExitCannotOpen;
  }

  auto positions = parseRowPositions(line.positions, list.count(), "entry", context.err);
  if (!positions) return ExitUsage;
  for (int position : *positions) list.setChecked(position, true);
  const repair::ActionResult done =
      line.action == "delete" ? tools::DeleteCheckedUninstallEntries(list) : tools::startCheckedUninstallers(list);
  if (done) return ExitOk;
  context.err << "tidewell-cli uninstall: " << done.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
