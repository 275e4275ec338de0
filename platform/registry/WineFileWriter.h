#pragma once
// Writing a branch of the tree as Wine writes its registry files: keys in order, each key
// that has values, no sub-keys, a class or is a link written as a block. Keys that have not
// changed since loading are copied from the loaded file; the others are written exactly as
// Wine's own writer would write them. Private to the wine backend.

#include "platform/registry/RegistryStore.h"

#include <string>
#include <string_view>

namespace tw::platform::detail {

/// Appends the whole file of store.files()[file] to `out`. `rootText` (escaped) follows
/// ";; All keys relative to "; `arch` ("win32", "win64" or empty) gives the #arch line.
void writeBranchFile(const RegistryStore &store, std::uint8_t file, std::string_view rootText,
                     std::string_view arch, std::string &out);

} // namespace tw::platform::detail
