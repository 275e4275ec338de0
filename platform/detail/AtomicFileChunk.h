#pragma once
// Shared by the atomic save's implementations.

#include <cstddef>

namespace tw::platform::detail {

/// Large enough that big registry files go out in few system calls.
inline constexpr std::size_t WriteChunkBytes = 1 << 20;

} // namespace tw::platform::detail
