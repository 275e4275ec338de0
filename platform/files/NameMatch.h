#pragma once
// How Windows compares file names: without regard to case, over whole Unicode characters, and
// how its wildcard patterns ("*", "?") select names. Names cross the platform as UTF-8.

#include <string>
#include <string_view>

namespace tw::platform::detail {

/// The key two names share exactly when Windows takes them for the same name: every character
/// upper-cased as Windows upper-cases it, encoded as UTF-8. Bytes that are not valid UTF-8 keep
/// their own identity (each stands for itself), so no two different raw names fold together
/// unless they differ only in case.
std::string foldName(std::string_view name);

/// True when the two names differ at most in case.
bool namesEqualIgnoringCase(std::string_view a, std::string_view b);

/// True when `name` contains a wildcard character ("*" or "?").
bool hasWildcard(std::string_view name);

/// True when `name` matches `pattern`, case-insensitively: "*" matches any run of characters
/// (also none), "?" exactly one; once the name is used up, trailing "." and "*" of the pattern
/// match nothing, which is why "*.*" also selects names without a dot and "name.*" selects
/// "name". Both texts are UTF-8; "?" stands for one character, not one byte.
bool matchesWildcard(std::string_view name, std::string_view pattern);

/// Orders names as Wine lists a folder: by their lower-cased characters, then by their raw
/// bytes.
bool nameSortsBefore(std::string_view a, std::string_view b);

} // namespace tw::platform::detail
