#pragma once
// Whether the actions that change the registry (fixing, restoring, clearing the restore
// history) may run on the installed machine. A running wineserver owns a prefix's registry, and
// a registry file that cannot be written keeps its keys as they are: an action that went ahead
// would record deletions that never happen.

#include <string>

namespace tw::repair {

/// Empty when the installed machine's registry may be changed; otherwise a sentence for the
/// user saying why it may only be read.
std::string registryChangeRefusal();

} // namespace tw::repair
