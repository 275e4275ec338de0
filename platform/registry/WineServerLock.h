#pragma once
// Whether a wineserver runs for a prefix. A running server owns the prefix's registry (it
// keeps it in memory and writes it back on its own), so the program must not write the files
// then. Private to the wine backend.

#include <string>
#include <vector>

namespace tw::platform::detail {

/// The folders a wineserver of `prefixDir` may use, named after the prefix folder's device
/// and inode (hex) as Wine names them: /tmp/.wine-<uid>/server-<dev>-<inode>, and, for
/// Wine builds that keep their server folders in a private temporary folder recorded in the
/// prefix's "wineserver" file (Debian's), /tmp/<that folder>/server-<dev>-<inode>. Empty if
/// the prefix folder cannot be examined.
std::vector<std::string> wineServerFolders(const std::string &prefixDir);

/// True when a process holds the lock a running wineserver holds on the `lock` file in one
/// of its folders.
bool isWineServerRunning(const std::string &prefixDir);

} // namespace tw::platform::detail
