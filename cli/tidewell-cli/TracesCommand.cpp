// tidewell-cli traces: the browser traces page: "&Start Scan" and "&Cleanup".

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"
#include "RepairCommandSupport.h"
#include "ToolCommandSupport.h"

#include "lists/CheckableList.h"
#include "tools/uIE.h"

#include <array>
#include <ostream>

namespace tw::cli {

static constexpr std::string_view TracesUsage =
    "usage: tidewell-cli traces scan [--prefix DIR] [--actions LIST] [--json]\n"
    "       tidewell-cli traces clean [--prefix DIR] [--actions LIST] [--json] [N...]\n";

// The seven actions, first to last.
static constexpr std::array<std::string_view, tools::TraceActionCount> ActionNames = {
    "typed", "completion", "cache", "cookies", "downloads", "favorites", "history"};

void printTracesHelp(std::ostream &out) {
  out << TracesUsage
      << "\nFinds and removes what the web browser leaves behind in a Wine prefix, as the \"IE\n"
         "Traces Cleaning\" page does. Only plain files inside the browser's folders (and the\n"
         "temporary folder) on drive C: are listed and deleted: no link is followed, and a\n"
         "folder that lies elsewhere lists nothing, with a note saying why.\n\n"
         "  scan           one line per file found: section, file name and full path (the\n"
         "                 folder), separated by tabs, in the page's order\n"
         "  clean [N...]   runs the checked registry actions (typed addresses, appending\n"
         "                 completion), scans, and deletes the files found, or only those at\n"
         "                 the positions N of 'scan' (0 is the first); then prints\n"
         "                 \"The cleaning up has been finished.\" with the counts\n\n"
         "  --prefix DIR   the prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --actions LIST comma-separated actions to check, by name or number (default: those\n"
         "                 checked when the page opens, cache,downloads,history):\n";
  const auto actions = tools::traceActions();
  for (std::size_t i = 0; i < actions.size(); ++i)
    out << "                   " << i << " " << ActionNames[i] << "  " << actions[i].action << "\n";
  out << "  --json         one JSON object instead of lines\n\n"
         "Exit status: 0 when done, 1 when the prefix could not be opened or the registry could\n"
         "not be changed or saved, 2 for a wrong command line or a position that names no file.\n";
}

namespace {
class ListSink : public tools::TraceScanSink {
public:
  explicit ListSink(lists::CheckableList &files) : m_files(files) {}
  void fileFound(lists::Row row) override { m_rows.push_back(std::move(row)); }
  void handOver() { m_files.appendRows(std::move(m_rows)); }

private:
  lists::CheckableList &m_files;
  std::vector<lists::Row> m_rows;
};
} // namespace

static void writeNotices(std::ostream &out, const std::vector<std::string> &notices) {
  out << "[";
  for (std::size_t i = 0; i < notices.size(); ++i) {
    if (i) out << ",";
    writeJsonString(out, notices[i]);
  }
  out << "]";
}

int runTracesCommand(const CommandContext &context) {
  auto parsed = parseToolArguments(context, "traces", TracesUsage, "--actions", {"scan", "clean"});
  if (!parsed) return ExitUsage;
  if (parsed->helpWanted) {
    printTracesHelp(context.out);
    return ExitOk;
  }
  std::vector<bool> checked;
  for (const tools::TraceAction &action : tools::traceActions()) checked.push_back(action.checkedAtStart);
  if (parsed->listGiven) {
    const auto marks = parseNameList(parsed->list, ActionNames);
    if (!marks) {
      context.err << "tidewell-cli traces: --actions takes action names or numbers 0 to 6 "
                     "separated by commas, not '"
                  << parsed->list << "'\n";
      return ExitUsage;
    }
    checked = *marks;
  }
  const bool cleaning = parsed->action == "clean";
  if (!cleaning && !parsed->positions.empty()) {
    context.err << "tidewell-cli traces: scan takes no positions\n" << TracesUsage;
    return ExitUsage;
  }

  if (!openMachine(parsed->prefixDir, context.err)) return ExitCannotOpen;
  lists::CheckableList files;
  ListSink sink(files);
  const tools::TraceScanResult scanned = tools::scanTraces(checked, sink);
  sink.handOver();
  for (const std::string &notice : scanned.notices)
    context.err << "tidewell-cli traces: note: " << notice << "\n";

  if (!cleaning) {
    if (!parsed->json) {
      for (int i = 0; i < files.count(); ++i) {
        const lists::Row &row = files.row(i);
        writeTsvLine(context.out, {row.caption, row.subItem(tools::TraceFileNameSubItem),
                                   row.subItem(tools::TraceFullPathSubItem)});
      }
      return ExitOk;
    }
    context.out << "{\"files\":";
    writeRowsJson(context.out, files, {"section", "name", "folder"});
    context.out << ",\n\"notices\":";
    writeNotices(context.out, scanned.notices);
    context.out << "}\n";
    return ExitOk;
  }

  if (!parsed->positions.empty()) {
    const auto positions = parseRowPositions(parsed->positions, files.count(), "file", context.err);
    if (!positions) return ExitUsage;
    files.setAllChecked(false);
    for (int position : *positions) files.setChecked(position, true);
  }
  const bool changesRegistry = checked[static_cast<std::size_t>(tools::TraceActionIndex::TypedUrls)] ||
                               checked[static_cast<std::size_t>(tools::TraceActionIndex::AppendCompletion)];
  if (changesRegistry && !registryIsWritable(context.err)) return ExitCannotOpen;
  const tools::TraceCleanupResult cleanup = tools::cleanUpTraces(checked, files);
  if (parsed->json) {
    context.out << "{\"deleted\":" << cleanup.deleted << ",\"passedOver\":" << cleanup.passedOver
                << ",\"notices\":";
    writeNotices(context.out, scanned.notices);
    context.out << "}\n";
  } else {
    context.out << tools::CleanupFinishedMessage << " " << cleanup.deleted << " files deleted, "
                << cleanup.passedOver << " passed over.\n";
  }
  context.out.flush();
  if (cleanup.result) return ExitOk;
  context.err << "tidewell-cli traces: " << cleanup.result.message << "\n";
  return ExitCannotOpen;
}

} // namespace tw::cli
