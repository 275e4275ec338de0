// tidewell-cli ignore: the ignore list of the current folder, as its page shows and edits it.

#include "Command.h"
#include "RepairCommandSupport.h"

#include "lists/CheckableList.h"
#include "registry/XmlStore.h"
#include "repair/IgnoreList.h"

#include <ostream>

namespace tw::cli {

static constexpr std::string_view IgnoreUsage =
    "usage: tidewell-cli ignore list\n"
    "       tidewell-cli ignore add ROOT KEY VALUE\n"
    "       tidewell-cli ignore remove N...\n";

void printIgnoreHelp(std::ostream &out) {
  out << IgnoreUsage
      << "\nShows and edits ignore.xml in the current folder, the list of errors that scans no\n"
         "longer report. An entry hides the one error whose key name is ROOT\\KEY\\VALUE\n"
         "exactly (letter case included).\n\n"
         "  list            one line per entry: root, key and value, separated by tabs\n"
         "  add ROOT KEY VALUE\n"
         "                  appends an entry as given, as the page's \"Add\" does (nothing is\n"
         "                  added when a text is empty, but the file is written all the same)\n"
         "  remove N...     removes the entries at these positions of 'list' (0 is the first)\n\n"
         "Exit status: 0 when done (also when an entry elsewhere in the file lacks an attribute:\n"
         "that is noted, and the change is saved), 1 when ignore.xml could not be read or\n"
         "saved, 2 for a wrong command line or a position that names no entry.\n";
}

int runIgnoreCommand(const CommandContext &context) {
  const auto args = context.args;
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    printIgnoreHelp(context.out);
    return ExitOk;
  }
  const std::string_view action = args.empty() ? std::string_view() : args[0];
  const bool wellFormed = (action == "list" && args.size() == 1) ||
                          (action == "add" && args.size() == 4) ||
                          (action == "remove" && args.size() >= 2);
  if (!wellFormed) {
    context.err << "tidewell-cli ignore: "
                << (action.empty() ? std::string("say what to do")
                                   : "wrong arguments for '" + std::string(action) + "'")
                << "\n"
                << IgnoreUsage;
    return ExitUsage;
  }

  const std::string path = ignoreListPathHere();
  pugi::xml_document document;
  if (!readDocumentFile(document, path, IgnoreListRootName, context.err)) return ExitCannotOpen;
  lists::CheckableList entries;
  const repair::ActionResult listed = repair::refreshIgnoreList(entries, document);
  if (!listed) context.err << "tidewell-cli ignore: note: " << listed.message << "\n";

  if (action == "list") {
    for (int i = 0; i < entries.count(); ++i) {
      const lists::Row &row = entries.row(i);
      writeTsvLine(context.out, {row.caption, row.subItem(0), row.subItem(1)});
    }
    return ExitOk;
  }

  const repair::IgnoreListFile ignoreList{{document, path}, {}};
  repair::ActionResult result;
  if (action == "add") {
    result = repair::addTypedIgnoreEntry(entries, ignoreList, args[1], args[2], args[3]);
    if (result && result.count == 0)
      context.err << "tidewell-cli ignore: nothing added: ROOT, KEY and VALUE must not be empty\n";
  } else {
    auto positions = parseRowPositions(args.subspan(1), entries.count(), "entry", context.err);
    if (!positions) return ExitUsage;
    for (int position : *positions) entries.setChecked(position, true);
    result = repair::removeCheckedIgnoreEntries(entries, ignoreList);
  }
  if (result) return ExitOk;
  // A damaged entry elsewhere in the list was noted when it was read; the change itself was
  // made and saved.
  if (result.status == repair::ActionResult::Status::RecordDamaged) return ExitOk;
  context.err << "tidewell-cli ignore: " << result.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
