#pragma once
// Whether a wineserver runs for a prefix. A running server owns the prefix's registry (it
// keeps it in memory and writes it back on its own), so the program must not write the files
// then. Private to the wine backend.

#include <string>

namespace tw::platform::detail {

/// The folder a wineserver of `prefixDir` uses: /tmp/.wine-<uid>/server-<dev>-<inode> (hex),
/// named after the prefix folder's device and inode as Wine names it. Empty if the prefix
/// folder cannot be examined.
std::string wineServerFolder(const std::string &prefixDir);

/// True when a process holds the lock a running wineserver holds on the `lock` file in its
/// folder.
bool isWineServerRunning(const std::string &prefixDir);

} // namespace tw::platform::detail
