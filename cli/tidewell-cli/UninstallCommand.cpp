// tidewell-cli uninstall: the uninstall manager's list, deleting entries and starting
// uninstallers as its buttons do.

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"
#include "RepairCommandSupport.h"

#include "tools/uAddRemove.h"

#include <algorithm>
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
  std::string prefixDir;
  bool helpShown = false;
  std::vector<std::string_view> operands;
  if (!parsePrefixOnly(context, "uninstall", UninstallUsage, prefixDir, helpShown, &operands, {"--json"}))
    return ExitUsage;
  if (helpShown) {
    printUninstallHelp(context.out);
    return ExitOk;
  }
  const bool json = std::erase(operands, std::string_view("--json")) > 0;
  const std::string_view action = operands.empty() ? std::string_view() : operands[0];
  const bool wellFormed = (action == "list" && operands.size() == 1) ||
                          ((action == "delete" || action == "run") && operands.size() >= 2 && !json);
  if (!wellFormed) {
    context.err << "tidewell-cli uninstall: "
                << (action.empty() ? std::string("say what to do") : "wrong arguments for '" + std::string(action) + "'")
                << "\n"
                << UninstallUsage;
    return ExitUsage;
  }
  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;

  lists::CheckableList list{/*sorted=*/true};
  const repair::ActionResult listed = tools::ListUninstallEntries(list);
  if (!listed) context.err << "tidewell-cli uninstall: the list stops early: " << listed.message << "\n";

  if (action == "list") {
    if (json) {
      writeUninstallJson(context.out, list);
    } else {
      for (int i = 0; i < list.count(); ++i) {
        const lists::Row &row = list.row(i);
        writeTsvLine(context.out, {row.caption, row.subItem(tools::UninstallPathSubItem), row.data});
      }
    }
    return listed ? ExitOk : ExitCannotOpen;
  }

  const std::vector<std::string_view> positionArgs(operands.begin() + 1, operands.end());
  auto positions = parseRowPositions(positionArgs, list.count(), "entry", context.err);
  if (!positions) return ExitUsage;
  for (int position : *positions) list.setChecked(position, true);
  const repair::ActionResult done =
      action == "delete" ? tools::DeleteCheckedUninstallEntries(list) : tools::startCheckedUninstallers(list);
  if (done) return ExitOk;
  context.err << "tidewell-cli uninstall: " << done.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
