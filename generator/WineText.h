#pragma once
// The text rules of Wine's registry files, as the generator needs them to write files that Wine
// itself could have saved: how names are ordered, how strings are escaped and how binary data
// is wrapped.

#include <cstddef>
#include <string>
#include <string_view>

namespace tw::generator::detail {

/// The order Wine keeps sub-keys and values in: unit by unit on the lower-cased name, a shorter
/// name first when one is a prefix of the other; compare the keys of two names bytewise. Names
/// must be ASCII (all generated names are): Wine lower-cases non-ASCII letters through its
/// Unicode tables, which this does not attempt.
std::string nameSortKey(std::string_view name);
/// The same for a key path, where '\' sorts below every character so that paths order
/// component by component, as Wine's tree of sub-keys does.
std::string pathSortKey(std::string_view path);

/// Appends UTF-8 `text` escaped as Wine writes strings: characters above 127 as \x escapes of
/// their UTF-16 units (four digits when a hex digit follows), control characters as C or octal
/// escapes, and a backslash before '\' and before `specialA` and `specialB`. Returns the number
/// of characters appended.
std::size_t appendEscaped(std::string &out, std::string_view text, char specialA, char specialB);

/// Appends bytes as comma-separated hex pairs, breaking the line ("\", LF, two spaces) where
/// Wine does: after the comma that takes the line past 76 characters, counting from `column`.
void appendHexBytes(std::string &out, std::string_view bytes, std::size_t column);

/// Lower-cases A to Z only, as the program's path guessing does.
std::string lowerAscii(std::string_view text);

} // namespace tw::generator::detail
