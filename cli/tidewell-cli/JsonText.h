#pragma once
// JSON string literals for the commands' --json output.

#include <iosfwd>
#include <string_view>

namespace tw::cli {

/// Writes `text` as a JSON string literal, quotes included. Control characters are escaped, and
/// bytes that are not valid UTF-8 become U+FFFD, so the output is always valid JSON.
void writeJsonString(std::ostream &out, std::string_view text);

} // namespace tw::cli
