#pragma once
// What the commands of the tool pages (addons, traces) share: a sub-command word followed by
// --prefix DIR, one list option, --json and row positions.

#include <initializer_list>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::lists {
class CheckableList;
}

namespace tw::cli {

struct CommandContext;

/// A parsed command line of a tool command.
struct ToolArguments {
  std::string_view action; ///< the sub-command word
  std::string prefixDir;
  bool listGiven = false;
  std::string list; ///< the value of the list option
  bool json = false;
  bool helpWanted = false;
  std::vector<std::string_view> positions;
};

/// Parses "ACTION [--prefix DIR] [LISTOPTION LIST] [--json] [N...]" where ACTION is one of
/// `actions`. Nothing, with the reason and `usage` on the error stream, for anything else.
std::optional<ToolArguments> parseToolArguments(const CommandContext &context, std::string_view command,
                                                std::string_view usage, std::string_view listOption,
                                                std::initializer_list<std::string_view> actions);

/// Parses a comma-separated list of names, each one of `names` or its position in it; the
/// result has one mark per name. Nothing when a part is neither.
std::optional<std::vector<bool>> parseNameList(std::string_view text,
                                               std::span<const std::string_view> names);

/// Writes the rows of a list as a JSON array of objects whose keys are `keys`: the caption,
/// then the sub-items in order.
void writeRowsJson(std::ostream &out, const lists::CheckableList &list,
                   std::initializer_list<std::string_view> keys);

} // namespace tw::cli
