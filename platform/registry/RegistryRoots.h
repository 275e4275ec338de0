#pragma once
// Where the predefined roots live in the tree, as Wine lays it out:
//   \Machine                                  HKEY_LOCAL_MACHINE (system.reg)
//   \User                                     HKEY_USERS
//   \User\.Default                            (userdef.reg)
//   \User\<user's SID>                        HKEY_CURRENT_USER (user.reg)
//   \Machine\Software\Classes                 HKEY_CLASSES_ROOT
//   \Machine\System\CurrentControlSet\Hardware Profiles\Current   HKEY_CURRENT_CONFIG
// Private to the registry backends.

#include "platform/registry/RegistryEngine.h"

#include <string_view>

namespace tw::platform::detail {

/// The user a fresh Wine prefix belongs to (Wine gives every prefix this SID).
inline constexpr std::string_view DefaultUserSid = "S-1-5-21-0-0-0-1000";

/// Finds the keys of every root, creating missing ones (see ensureKeyPath).
RootKeys makeRootKeys(RegistryStore &store, std::string_view userSid);

} // namespace tw::platform::detail
