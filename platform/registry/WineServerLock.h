#pragma once
// Whether a wineserver runs for a prefix. A running server owns the prefix's registry (it
// keeps it in memory and writes it back on its own), so the program must not write the files
// then. Private to the wine backend.

#include <string>
#include <vector>

namespace tw::platform::detail {

/// The folders a wineserver of `prefixDir` may use, found as Wine finds them: named
/// server-<dev>-<inode> after the prefix folder's device and inode (hex), below Wine's own
/// /tmp/.wine-<uid> or below one of the private /tmp/wine-XXXXXX folders that Debian's Wine
/// makes (Debian's Wine records the one it chose in the prefix's "wineserver" file; that file is
/// never read here, since it can be moved or replaced). Only folders of this user count, as Wine
/// accepts no other. Empty if the prefix folder cannot be examined.
std::vector<std::string> wineServerFolders(const std::string &prefixDir);

/// True when a process holds the lock a running wineserver holds on the `lock` file in one
/// of its folders.
bool isWineServerRunning(const std::string &prefixDir);

} // namespace tw::platform::detail
