#pragma once
// Reading one of Wine's registry files (system.reg, user.reg, userdef.reg) into the branch
// of the tree it holds. Strict: anything Wine would not have written, or would have had to
// skip, is a fault with its line. Private to the wine backend.

#include "platform/WineRegistry.h"
#include "platform/registry/RegistryStore.h"

#include <string>

namespace tw::platform::detail {

/// What the file says about itself.
struct FileHeader {
  /// The escaped key path after ";; All keys relative to " (empty if the line is missing).
  std::string rootText;
  /// "win32", "win64", or empty when the file has no #arch line.
  std::string arch;
};

/// Parses store.files()[file].bytes into the sub-tree of store.files()[file].branch, which
/// must be empty. On failure the tree holds part of the file; the caller throws it away.
RegistryLoadResult parseBranchFile(RegistryStore &store, std::uint8_t file, FileHeader &header);

} // namespace tw::platform::detail
