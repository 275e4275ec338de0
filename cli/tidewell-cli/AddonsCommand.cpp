// tidewell-cli addons: the browser add-on page: its list, and "&Delete" on chosen rows.

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"
#include "RepairCommandSupport.h"
#include "ToolCommandSupport.h"

#include "lists/CheckableList.h"
#include "tools/Toolbar_Unit.h"

#include <array>
#include <ostream>

namespace tw::cli {

static constexpr std::string_view AddonsUsage =
    "usage: tidewell-cli addons list [--prefix DIR] [--kinds LIST] [--json]\n"
    "       tidewell-cli addons remove [--prefix DIR] [--kinds LIST] [--json] N...\n";

// The Display boxes, top to bottom.
static constexpr std::array<std::string_view, 5> KindNames = {"toolbars", "extensions", "bars", "menus",
                                                             "download"};

void printAddonsHelp(std::ostream &out) {
  out << AddonsUsage
      << "\nLists the web browser's add-ons that the registry of a Wine prefix records, as the\n"
         "\"IE Plugins\" page does, and removes chosen ones as its \"&Delete\" does: each is\n"
         "recorded in the undo store (Backup.xml of the prefix) before anything is erased, so\n"
         "'tidewell-cli restore' gives it back.\n\n"
         "  list           one line per add-on in the page's order (sorted by name): name, type,\n"
         "                 registry entries and path, separated by tabs\n"
         "  remove N...    removes the add-ons at these positions of 'list' (0 is the first);\n"
         "                 prints the rows handled. The current user's Address and Links\n"
         "                 toolbars and the system's explorer bars are refused, with a message.\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --kinds LIST   comma-separated kinds to list (default: all), by name or number:\n"
         "                   0 toolbars, 1 extensions, 2 bars (explorer bars), 3 menus (menu\n"
         "                   extensions), 4 download (the download handler)\n"
         "  --json         one JSON object instead of lines\n\n"
         "Exit status: 0 when done (also when rows were refused), 1 when the registry or\n"
         "Backup.xml could not be read or saved or a value could not be read, 2 for a wrong\n"
         "command line or a position that names no add-on.\n";
}

static void writeAddonLines(std::ostream &out, const lists::CheckableList &addons, bool onlyChecked) {
  for (int i = 0; i < addons.count(); ++i) {
    const lists::Row &row = addons.row(i);
    if (onlyChecked && !row.checked) continue;
    writeTsvLine(out, {row.caption, row.subItem(tools::AddonTypeSubItem),
                       row.subItem(tools::AddonEntriesSubItem), row.subItem(tools::AddonPathSubItem)});
  }
}

int runAddonsCommand(const CommandContext &context) {
  auto parsed = parseToolArguments(context, "addons", AddonsUsage, "--kinds", {"list", "remove"});
  if (!parsed) return ExitUsage;
  if (parsed->helpWanted) {
    printAddonsHelp(context.out);
    return ExitOk;
  }
  tools::AddonKinds kinds;
  if (parsed->listGiven) {
    const auto marks = parseNameList(parsed->list, KindNames);
    if (!marks) {
      context.err << "tidewell-cli addons: --kinds takes toolbars, extensions, bars, menus or "
                     "download (or 0 to 4) separated by commas, not '"
                  << parsed->list << "'\n";
      return ExitUsage;
    }
    kinds = {(*marks)[0], (*marks)[1], (*marks)[4], (*marks)[3], (*marks)[2]};
  }
  const bool removing = parsed->action == "remove";
  if (removing == parsed->positions.empty()) {
    context.err << "tidewell-cli addons: " << (removing ? "give the positions of the add-ons to remove"
                                                        : "list takes no positions")
                << "\n"
                << AddonsUsage;
    return ExitUsage;
  }

  if (!openMachine(parsed->prefixDir, context.err)) return ExitCannotOpen;
  lists::CheckableList addons(/*sorted=*/true);
  const repair::ActionResult scanned = tools::ScanAddons(addons, kinds);
  if (!scanned) {
    context.err << "tidewell-cli addons: the list ended early: " << scanned.message << "\n";
    return ExitCannotOpen;
  }
  if (!removing) {
    if (!parsed->json) {
      writeAddonLines(context.out, addons, /*onlyChecked=*/false);
      return ExitOk;
    }
    context.out << "{\"addons\":";
    writeRowsJson(context.out, addons, {"name", "type", "entries", "path"});
    context.out << "}\n";
    return ExitOk;
  }

  const auto positions = parseRowPositions(parsed->positions, addons.count(), "add-on", context.err);
  if (!positions) return ExitUsage;
  if (!registryIsWritable(context.err)) return ExitCannotOpen;
  pugi::xml_document undoStore;
  const std::string undoStorePath = readUndoStoreOfMachine(undoStore, context.err);
  if (undoStorePath.empty()) return ExitCannotOpen;
  for (int position : *positions) addons.setChecked(position, true);

  const tools::AddonRemovalResult removal = tools::RemoveCheckedAddons({undoStore, undoStorePath}, addons);
  for (const std::string &refusal : removal.refusals) context.err << "tidewell-cli addons: " << refusal << "\n";
  if (parsed->json) {
    context.out << "{\"recorded\":" << removal.result.count << ",\"refused\":[";
    for (std::size_t i = 0; i < removal.refusals.size(); ++i) {
      if (i) context.out << ",";
      writeJsonString(context.out, removal.refusals[i]);
    }
    context.out << "]}\n";
  } else {
    writeAddonLines(context.out, addons, /*onlyChecked=*/true);
  }
  context.out.flush();
  if (removal.result) return ExitOk;
  context.err << "tidewell-cli addons: " << removal.result.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
