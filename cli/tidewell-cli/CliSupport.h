#pragma once
// What several commands of tidewell-cli share: option matching, opening the machine, the
// ignore list of the current folder, and a scan run straight into the page's two lists.

#include "lists/CheckableList.h"
#include "scan/ScanRun.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::scan {
class IgnoreIndex;
}

namespace tw::cli {

enum class OptionMatch {
  NoMatch,      ///< args[i] is not this option
  Taken,        ///< the value was taken; `i` points at the option's last argument
  MissingValue, ///< the option is there but its value is not
};

/// Matches args[i] against the option `name` ("--prefix") with a value, given either as the next
/// argument or after "=".
OptionMatch matchValueOption(std::span<const std::string_view> args, std::size_t &i,
                             std::string_view name, std::string &value);

/// Opens the Wine prefix `prefixDir` (empty: $WINEPREFIX or ~/.wine) and installs it as the
/// process's machine. On failure writes the reason to `err` and returns false. A prefix whose
/// registry may only be read opens, with a note on `err`.
bool openMachine(const std::string &prefixDir, std::ostream &err);

/// The ignore list of "ignore.xml" in the current folder: an empty one when there is no such
/// file, nothing (with the reason written to `err`) when the file cannot be read.
std::optional<std::shared_ptr<const scan::IgnoreIndex>> loadIgnoreList(std::ostream &err);

/// Parses a comma-separated list of group numbers (0 to 11). Nothing when a part is not one.
/// The empty text is the empty list.
std::optional<std::vector<int>> parseGroupList(std::string_view text);

/// The page's two lists after a scan, and how the scan ended.
struct ScanOutcome {
  lists::CheckableList groups;
  lists::CheckableList errors{/*sorted=*/true};
  scan::ScanRunResult result;
};

/// Runs one scan of the installed machine as the window runs it: the group list rebuilt, the
/// groups in `checkedGroups` checked (all twelve when nothing is given), every error tested
/// against `ignoreList`. `progress`, when set, is called with every status text. Ctrl-C stops
/// the scan between entries, as the scan button does.
ScanOutcome runScan(const std::optional<std::vector<int>> &checkedGroups,
                    std::shared_ptr<const scan::IgnoreIndex> ignoreList,
                    const std::function<void(const std::string &)> &progress);

} // namespace tw::cli
