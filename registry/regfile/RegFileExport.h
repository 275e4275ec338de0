#pragma once
// Exporting a registry key with everything below it, as the registry editor's "/e FILE KEY"
// does (RegFileWriter.h describes the text). Keys come in enumeration order, depth first,
// each key's values before its sub-keys.

#include "registry/regfile/RegFileResult.h"
#include "platform/RegistryApi.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit {

/// Keys an export could not read completely, by full key text and reason.
struct ExportGaps {
  std::vector<std::string> keys;
  bool empty() const { return keys.empty(); }
};

/// Exports the key `keyText` (a root's full name, any case, optionally followed by a path
/// below it: "HKEY_LOCAL_MACHINE\Software") into `bytes`. An empty `keyText` exports
/// HKEY_LOCAL_MACHINE and then HKEY_USERS into one text. Sub-keys that cannot be opened are
/// left out and listed in `gaps`, except those that no longer exist (a dangling link). Fails (leaving `bytes` empty) on an unknown root or a key
/// that does not exist.
RegFileResult exportRegText(platform::RegistryApi &registry, std::string_view keyText,
                            std::string &bytes, ExportGaps *gaps = nullptr);

/// The roots an export of `keyText` reads: the root it names, or HKEY_LOCAL_MACHINE and
/// HKEY_USERS for the whole registry; none for a root that does not exist.
std::vector<platform::RegKey> rootsOfExport(std::string_view keyText);

/// exportRegText into the host file `path`, saved atomically: on any failure the file is as
/// it was before.
RegFileResult exportRegFile(platform::RegistryApi &registry, std::string_view keyText,
                            const std::string &path, ExportGaps *gaps = nullptr);

} // namespace tw::regedit
