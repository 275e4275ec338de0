// tidewell-cli startup: the startup manager's list, and enabling and disabling its entries as
// its Apply button does.

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"
#include "RepairCommandSupport.h"

#include "tools/uStartup.h"

#include <ostream>

namespace tw::cli {

static constexpr std::string_view StartupUsage =
    "usage: tidewell-cli startup list [--prefix DIR] [--json]\n"
    "       tidewell-cli startup disable N... [--prefix DIR]\n"
    "       tidewell-cli startup enable N... [--prefix DIR]\n";

void printStartupHelp(std::ostream &out) {
  out << StartupUsage
      << "\nThe programs Windows starts at logon, as the startup page lists them.\n\n"
         "  list          one line per entry in the page's order: item, command, location, and 1\n"
         "                when the entry is enabled or 0 when it is disabled, separated by tabs\n"
         "  disable N...  disables the entries at these positions of 'list' (0 is the first)\n"
         "  enable N...   enables them again\n"
         "  --prefix DIR  the prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --json        for list: one JSON array of the entries\n\n"
         "A disabled entry leaves its Run key and is kept under HKLM\\" << tools::StartupRegKey << "\n"
         "(on Windows 95 to NT 4: in the Run- or RunServices- key beside it). The changes take\n"
         "effect when Windows starts next.\n\n"
         "Exit status: 0 when done, 1 when the registry could not be read or an entry could not\n"
         "be changed (the reason is printed), 2 for a wrong command line or a position that\n"
         "names no entry.\n";
}

static void writeStartupJson(std::ostream &out, const lists::CheckableList &list) {
  out << "[";
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &row = list.row(i);
    out << (i ? "," : "") << "\n{\"item\":";
    writeJsonString(out, row.caption);
    out << ",\"command\":";
    writeJsonString(out, row.subItem(tools::StartupCommandSubItem));
    out << ",\"location\":";
    writeJsonString(out, row.subItem(tools::StartupLocationSubItem));
    out << ",\"enabled\":" << (row.checked ? "true" : "false") << "}";
  }
  out << "]\n";
}

int runStartupCommand(const CommandContext &context) {
  ListActionLine line;
  if (!parseListActionLine(context, "startup", StartupUsage, {"disable", "enable"}, line)) return ExitUsage;
  if (line.helpWanted) {
    printStartupHelp(context.out);
    return ExitOk;
  }
  if (!openMachine(line.prefixDir, context.err)) return ExitCannotOpen;

  const int kind = tools::startupWindowsKind();
  lists::CheckableList list;
  tools::StartupStates states;
  const repair::ActionResult listed = tools::fillStartupList(list, states, kind);
  if (!listed) context.err << "tidewell-cli startup: the list stops early: " << listed.message << "\n";

  if (line.action == "list") {
    if (line.json) {
      writeStartupJson(context.out, list);
    } else {
      for (int i = 0; i < list.count(); ++i) {
        const lists::Row &row = list.row(i);
        writeTsvLine(context.out, {row.caption, row.subItem(tools::StartupCommandSubItem),
                                   row.subItem(tools::StartupLocationSubItem), row.checked ? "1" : "0"});
      }
    }
    return listed ? ExitOk : ExitCannotOpen;
  }

  auto positions = parseRowPositions(line.positions, list.count(), "entry", context.err);
  if (!positions) return ExitUsage;
  const bool enable = line.action == "enable";
  for (int position : *positions) list.setChecked(position, enable);
  const repair::ActionResult applied = tools::applyStartupChanges(list, states, kind);
  if (applied) return ExitOk;
  context.err << "tidewell-cli startup: " << applied.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
