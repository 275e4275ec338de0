#pragma once
// The platform's locale-aware string comparison (lstrcmpA), as the program's sorted lists use it,
// and the comparison of names without regard to the case of ASCII letters.

#include <string_view>

namespace tw::platform {

/// Compares two texts as the user's locale orders words: letters compare without regard to
/// case first (so "apple" < "Banana"), and only texts that differ in nothing but case are then
/// ordered lower case first. Punctuation and spaces sort before digits, digits before letters.
/// Returns <0, 0 or >0.
int compareLocaleText(std::string_view a, std::string_view b);

/// True when the two texts differ in nothing but the case of the letters A to Z.
bool equalIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace tw::platform
