#include "ToolCommandSupport.h"

#include "CliSupport.h"
#include "Command.h"
#include "JsonText.h"

#include "lists/CheckableList.h"

#include <algorithm>
#include <charconv>
#include <ostream>

namespace tw::cli {

std::optional<ToolArguments> parseToolArguments(const CommandContext &context, std::string_view command,
                                                std::string_view usage, std::string_view listOption,
                                                std::initializer_list<std::string_view> actions) {
  ToolArguments parsed;
  const auto &args = context.args;
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    parsed.helpWanted = true;
    return parsed;
  }
  if (args.empty() || std::find(actions.begin(), actions.end(), args[0]) == actions.end()) {
    context.err << "tidewell-cli " << command << ": "
                << (args.empty() ? std::string("say what to do")
                                 : "unknown action '" + std::string(args[0]) + "'")
                << "\n"
                << usage;
    return std::nullopt;
  }
  parsed.action = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.helpWanted = true;
      return parsed;
    }
    if (arg == "--json") {
      parsed.json = true;
      continue;
    }
    OptionMatch match = matchValueOption(args, i, "--prefix", parsed.prefixDir);
    if (match == OptionMatch::NoMatch) {
      match = matchValueOption(args, i, listOption, parsed.list);
      if (match == OptionMatch::Taken) parsed.listGiven = true;
    }
    if (match == OptionMatch::Taken) continue;
    if (match == OptionMatch::NoMatch && !arg.starts_with("-")) {
      parsed.positions.push_back(arg);
      continue;
    }
    if (match == OptionMatch::MissingValue)
      context.err << "tidewell-cli " << command << ": " << arg << " needs a value\n";
    else
      context.err << "tidewell-cli " << command << ": unknown argument '" << arg << "'\n";
    context.err << usage;
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::vector<bool>> parseNameList(std::string_view text,
                                               std::span<const std::string_view> names) {
  std::vector<bool> marks(names.size(), false);
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    const std::string_view part = text.substr(0, comma);
    text.remove_prefix(std::min(comma + 1, text.size()));
    const auto named = std::find(names.begin(), names.end(), part);
    std::size_t index = static_cast<std::size_t>(named - names.begin());
    if (named == names.end()) {
      auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), index);
      if (part.empty() || error != std::errc() || end != part.data() + part.size() || index >= names.size())
        return std::nullopt;
    }
    marks[index] = true;
  }
  return marks;
}

void writeRowsJson(std::ostream &out, const lists::CheckableList &list,
                   std::initializer_list<std::string_view> keys) {
  out << "[";
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &row = list.row(i);
    out << (i ? "," : "") << "\n{";
    std::size_t field = 0;
    for (std::string_view key : keys) {
      if (field) out << ",";
      writeJsonString(out, key);
      out << ":";
      writeJsonString(out, field == 0 ? row.caption : row.subItem(field - 1));
      ++field;
    }
    out << "}";
  }
  out << "]";
}

} // namespace tw::cli
