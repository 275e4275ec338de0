// tidewell-cli scan: one scan of the machine, as "Start Scan" runs it, printed as the error list
// shows it.

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"

#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <unistd.h>

namespace tw::cli {

void printScanHelp(std::ostream &out) {
  out << "usage: tidewell-cli scan [--prefix DIR] [--groups LIST] [--json]\n\n"
         "Scans the registry of a Wine prefix for entries that refer to files, classes or\n"
         "drives that no longer exist, honouring ignore.xml in the current folder.\n\n"
         "  --prefix DIR   the prefix to scan (default: $WINEPREFIX, else ~/.wine)\n"
         "  --groups LIST  comma-separated group numbers to run (default: all):\n";
  for (const scan::ScanGroup &group : scan::ScanGroups)
    out << "                   " << static_cast<int>(group.index) << "  " << group.caption << "\n";
  out << "  --json         one JSON object with the groups and the rows\n\n"
         "Without --json, one line per error in the error list's order: error type, key name,\n"
         "key value and guess path, separated by tabs (a tab or line break inside a text is\n"
         "written as a space).\n\n"
         "Ctrl-C stops the scan between two entries and lists the errors found until then.\n\n"
         "Exit status: 0 when the scan ran, 1 when the registry or ignore.xml could not be\n"
         "read or the scan ended early on an error (an ignore.xml entry that lacks one of\n"
         "its attributes, a value that cannot be read; the rows found until then are\n"
         "listed), 2 for a wrong command line.\n";
}

/// A field of a tab-separated line: tabs and line breaks inside it would split the line.
static void writeTsvField(std::ostream &out, std::string_view text) {
  for (char c : text) out << (c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
}

static void writeTsv(std::ostream &out, const ScanOutcome &outcome) {
  for (int i = 0; i < outcome.errors.count(); ++i) {
    const lists::Row &row = outcome.errors.row(i);
    writeTsvField(out, row.caption);
    out << '\t';
    writeTsvField(out, row.subItem(scan::KeyNameSubItem));
    out << '\t';
    writeTsvField(out, row.subItem(scan::KeyValueSubItem));
    out << '\t';
    writeTsvField(out, row.subItem(scan::GuessPathSubItem));
    out << '\n';
  }
}

static std::string_view endName(scan::ScanEndKind kind) {
  switch (kind) {
  case scan::ScanEndKind::Completed: return "completed";
  case scan::ScanEndKind::Stopped: return "stopped";
  case scan::ScanEndKind::Failed: return "failed";
  }
  return "completed";
}

static void writeJson(std::ostream &out, const ScanOutcome &outcome) {
  out << "{\"groups\":[";
  for (int i = 0; i < outcome.groups.count(); ++i) {
    const lists::Row &row = outcome.groups.row(i);
    out << (i ? "," : "") << "\n{\"index\":" << i << ",\"caption\":";
    writeJsonString(out, row.caption);
    out << ",\"checked\":" << (row.checked ? "true" : "false") << ",\"errors\":";
    writeJsonString(out, row.subItem(scan::GroupCountSubItem));
    out << "}";
  }
  out << "],\n\"rows\":[";
  for (int i = 0; i < outcome.errors.count(); ++i) {
    const lists::Row &row = outcome.errors.row(i);
    out << (i ? "," : "") << "\n{\"type\":";
    writeJsonString(out, row.caption);
    out << ",\"key\":";
    writeJsonString(out, row.subItem(scan::KeyNameSubItem));
    out << ",\"value\":";
    writeJsonString(out, row.subItem(scan::KeyValueSubItem));
    out << ",\"guess\":";
    writeJsonString(out, row.subItem(scan::GuessPathSubItem));
    out << ",\"checked\":" << (row.checked ? "true" : "false") << "}";
  }
  out << "],\n\"end\":";
  writeJsonString(out, endName(outcome.result.kind));
  if (outcome.result.kind == scan::ScanEndKind::Failed) {
    out << ",\"error\":";
    writeJsonString(out, outcome.result.error);
  }
  out << "}\n";
}

namespace {
/// The status label as one line on a terminal, rewritten at most ten times a second.
class ProgressLine {
public:
  explicit ProgressLine(std::ostream &err) : m_err(err) {}
  ~ProgressLine() {
    if (m_shown) m_err << "\r\033[K" << std::flush;
  }
  void show(const std::string &text) {
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_last < std::chrono::milliseconds(100)) return;
    m_last = now;
    m_shown = true;
    // One terminal line, cut before a character rather than inside one.
    constexpr std::size_t Width = 79;
    std::size_t length = std::min(text.size(), Width);
    while (length < text.size() && length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
      --length;
    m_err << "\r\033[K" << std::string_view(text).substr(0, length) << std::flush;
  }

private:
  std::ostream &m_err;
  std::chrono::steady_clock::time_point m_last{};
  bool m_shown = false;
};
} // namespace

int runScanCommand(const CommandContext &context) {
  std::string prefixDir;
  std::string groupText;
  bool json = false;
  bool groupsGiven = false;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string_view arg = context.args[i];
    if (arg == "--help" || arg == "-h") {
      printScanHelp(context.out);
      return ExitOk;
    }
    if (arg == "--json") {
      json = true;
      continue;
    }
    OptionMatch match = matchValueOption(context.args, i, "--prefix", prefixDir);
    if (match == OptionMatch::NoMatch) {
      match = matchValueOption(context.args, i, "--groups", groupText);
      if (match == OptionMatch::Taken) groupsGiven = true;
    }
    if (match == OptionMatch::Taken) continue;
    if (match == OptionMatch::MissingValue)
      context.err << "tidewell-cli scan: " << arg << " needs a value\n";
    else
      context.err << "tidewell-cli scan: unknown argument '" << arg << "'\n";
    context.err << "usage: tidewell-cli scan [--prefix DIR] [--groups LIST] [--json]\n";
    return ExitUsage;
  }

  std::optional<std::vector<int>> groups;
  if (groupsGiven) {
    groups = parseGroupList(groupText);
    if (!groups) {
      context.err << "tidewell-cli scan: --groups takes group numbers from 0 to 11 separated by "
                     "commas, not '"
                  << groupText << "'\n";
      return ExitUsage;
    }
  }

  if (!openMachine(prefixDir, context.err)) return ExitCannotOpen;
  auto ignoreList = loadIgnoreList(context.err);
  if (!ignoreList) return ExitCannotOpen;

  std::optional<ProgressLine> progressLine;
  if (&context.err == &std::cerr && isatty(STDERR_FILENO)) progressLine.emplace(context.err);
  std::function<void(const std::string &)> progress;
  if (progressLine) progress = [&](const std::string &text) { progressLine->show(text); };

  const ScanOutcome outcome = runScan(groups, std::move(*ignoreList), progress);
  progressLine.reset();

  if (outcome.result.kind == scan::ScanEndKind::Stopped)
    context.err << "tidewell-cli scan: stopped; the errors found until then follow\n";
  if (outcome.result.kind == scan::ScanEndKind::Failed)
    context.err << "tidewell-cli scan: the scan ended early in group "
                << outcome.result.failedGroup << ": " << outcome.result.error << "\n";
  json ? writeJson(context.out, outcome) : writeTsv(context.out, outcome);
  context.out.flush();
  return outcome.result.kind == scan::ScanEndKind::Failed ? ExitCannotOpen : ExitOk;
}

} // namespace tw::cli
