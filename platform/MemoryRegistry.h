#pragma once
// A registry held only in memory, laid out as on a fresh Wine prefix (the five roots exist and
// are empty; HKEY_CLASSES_ROOT is HKLM\Software\Classes, HKEY_CURRENT_CONFIG is
// HKLM\System\CurrentControlSet\Hardware Profiles\Current, HKEY_USERS holds .Default and the
// current user's key). For tests; it keeps the Windows rules of every call.

#include "platform/RegistryApi.h"

#include <memory>

namespace tw::platform {

/// How many registry views the memory registry has: Two as a 64-bit prefix (the 32-bit view
/// resolves through the Wow6432Node keys, once they are made), One as a 32-bit prefix.
enum class MemoryRegistryViews { One, Two };

/// A new, empty registry in memory. RegFlushKey succeeds and keeps nothing.
std::unique_ptr<RegistryApi> makeMemoryRegistry(MemoryRegistryViews views = MemoryRegistryViews::Two);

} // namespace tw::platform
