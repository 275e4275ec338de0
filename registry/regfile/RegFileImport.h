#pragma once
// Importing .reg files into a registry, as the registry editor's "/s FILE" does.
//
// An import reads and checks the whole file first (RegFileReader.h lists what it accepts);
// a damaged file is refused and the registry stays untouched. Only then are the changes
// applied, in file order, and flushed. Should the registry refuse a change midway, every
// change since the registry's last flush is discarded (RegistryApi::discardUnflushedChanges),
// so the registry again equals its backing store.
//
// Tests build registries from short literal texts:
//   importRegText(*registry, "Windows Registry Editor Version 5.00\n"
//                            "[HKEY_CURRENT_USER\\Software\\Demo]\n"
//                            "\"Path\"=\"C:\\\\missing.exe\"\n");

#include "registry/regfile/RegFileResult.h"

#include <string>
#include <string_view>

namespace tw::platform {
class RegistryApi;
}

namespace tw::regedit {

struct RegFile;

/// Checks the bytes of a .reg file (UTF-16LE with its byte-order mark, or UTF-8/8-bit text)
/// and imports them into `registry`, then flushes it. On failure nothing is changed and the
/// result names `fileName`, the line and what was expected.
RegFileResult importRegText(platform::RegistryApi &registry, std::string_view bytes,
                            std::string_view fileName = {});

/// importRegText on the content of the host file `path`.
RegFileResult importRegFile(platform::RegistryApi &registry, const std::string &path);

/// Applies an already checked file to `registry` and flushes it; see the top of this header
/// for what happens when the registry refuses a change.
RegFileResult applyRegFile(platform::RegistryApi &registry, const RegFile &file,
                           std::string_view fileName = {});

} // namespace tw::regedit
