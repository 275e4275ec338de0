#pragma once
// The 32-bit view of a 64-bit registry tree, resolved as Wine's server resolves the opens of a
// 32-bit program (and as Windows does for the keys a prefix holds):
//  - a key with a Wow6432Node sub-key is redirected: a path that passes through it (or ends
//    at it) goes on in its Wow6432Node, unless the path's next name is Wow6432Node itself;
//  - a path opened relative to a key starts from that key's 32-bit counterpart (the same key
//    below the nearest Wow6432Node above it);
//  - the classes' Wow6432Node (HKLM\Software\Classes\Wow6432Node, and the user's) is shared:
//    a name it does not hold is looked up in the classes key itself, and a link that leads to
//    it at the end of a path gives the classes key;
//  - links (#link keys, which Wine writes for the keys both views share) are followed.
// Private to the registry backends.

#include "platform/registry/RegistryStore.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

/// The keys the view rules need to recognise the shared classes keys.
struct ViewKeys {
  KeyId machineClasses = NoKey; ///< HKLM\Software\Classes
  KeyId currentUser = NoKey;    ///< the HKEY_CURRENT_USER branch
};

/// The names of a key path; runs of backslashes separate like one.
std::vector<std::string_view> splitKeyPath(std::string_view path);

/// Where a walk in the 32-bit view ended.
struct ViewWalk {
  /// The key reached; when a name is missing, the key the missing names would be created in.
  KeyId key = NoKey;
  /// The index in the path's names of the first missing name; the names' count when all exist.
  std::size_t firstMissing = 0;
};

/// Walks `names` from `from` in the 32-bit view. Success when every name exists (or, with
/// `allowMissing`, when the existing ones lead to a key the rest can be created in);
/// FileNotFound when a name is missing without `allowMissing` or a link on the way is broken.
long walkView32(const RegistryStore &store, const ViewKeys &keys, KeyId from,
                const std::vector<std::string_view> &names, bool allowMissing, ViewWalk &out);

} // namespace tw::platform::detail
