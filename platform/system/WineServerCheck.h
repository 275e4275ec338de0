#pragma once
// Whether a wineserver runs for a prefix. While one runs it owns the prefix's registry (it
// loaded the files and will write them back), so the program must only read them.

#include <string>

namespace tw::platform {

/// True when a wineserver holds the lock of the prefix `prefixDir`. A wineserver keeps its
/// socket and lock in a folder named after the prefix's device and inode
/// ("server-<dev>-<inode>", both hexadecimal) below /tmp/.wine-<uid> or, in newer versions, a
/// /tmp/wine-XXXXXX folder of the user's; the lock is held for as long as it runs. `tmpDir`
/// replaces /tmp (for tests).
bool isWineServerRunning(const std::string &prefixDir, const std::string &tmpDir = "/tmp");

} // namespace tw::platform
