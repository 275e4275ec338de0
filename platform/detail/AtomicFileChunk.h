#pragma once
// Shared by the atomic save's implementations.

#include <cstddef>
#include <string_view>

namespace tw::platform::detail {

/// Large enough that big registry files go out in few system calls.
inline constexpr std::size_t WriteChunkBytes = 1 << 20;

/// A save writes "<file>.tmp-" and this many random letters and digits, then renames it over the
/// file; a temporary file of that shape that no running save holds is what a killed save left.
inline constexpr std::string_view TempSuffix = ".tmp-";
inline constexpr std::size_t TempRandomChars = 6;

} // namespace tw::platform::detail
