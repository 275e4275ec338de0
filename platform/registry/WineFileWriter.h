#pragma once
// Writing a branch of the tree as Wine writes its registry files: keys in order, each key
// that has values, no sub-keys, a class or is a link written as a block. Keys that have not
// changed since loading are copied from the loaded file; the others are written exactly as
// Wine's own writer would write them. Private to the wine backend.

#include "platform/registry/RegistryStore.h"

#include <functional>
#include <string>
#include <string_view>

namespace tw::platform::detail {

/// Receives the file in pieces, in order; returns false to stop the writing.
using ChunkSink = std::function<bool(std::string_view)>;

/// Writes the whole file of store.files()[file] to `sink`. `rootText` (escaped) follows
/// ";; All keys relative to "; `arch` ("win32", "win64" or empty) gives the #arch line.
/// Runs of unchanged keys reach the sink as one piece of the loaded file. False if the sink
/// stopped the writing.
bool writeBranchFile(const RegistryStore &store, std::uint8_t file, std::string_view rootText,
                     std::string_view arch, const ChunkSink &sink);
/// The same, appending the file to `out`.
void writeBranchFile(const RegistryStore &store, std::uint8_t file, std::string_view rootText,
                     std::string_view arch, std::string &out);

} // namespace tw::platform::detail
