#pragma once
// Helpers shared by the registry editor's tests: UTF-16 file bytes from readable text, and
// readable text from UTF-16 file bytes.

#include "platform/RegistryApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit::test {

/// UTF-16LE bytes with the byte-order mark of the UTF-8 text `text`.
std::string utf16File(std::string_view text);
/// UTF-16LE bytes (no mark) of `text`.
std::string utf16Bytes(std::u16string_view text);
/// The UTF-8 text of UTF-16LE file bytes; "<no byte-order mark>" or "<odd size>" when they
/// are not such a file.
std::string textOfUtf16File(const std::string &bytes);

/// Raw data of a string value: UTF-16LE of `text` plus a terminating zero.
std::vector<std::uint8_t> sz(std::u16string_view text);
std::vector<std::uint8_t> bytes(std::initializer_list<int> values);

/// Sets a value below `root\path` through the registry interface, creating the key.
void setRaw(platform::RegistryApi &registry, platform::RegKey root, std::string_view path,
            std::string_view name, std::uint32_t type, const std::vector<std::uint8_t> &data);
/// The raw value, or a value of type 0xFFFFFFFF when it cannot be read.
platform::RegValue getRaw(platform::RegistryApi &registry, platform::RegKey root,
                          std::string_view path, std::string_view name);
/// True when the key exists.
bool keyExists(platform::RegistryApi &registry, platform::RegKey root, std::string_view path);

} // namespace tw::regedit::test
