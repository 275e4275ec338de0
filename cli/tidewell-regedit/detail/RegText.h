#pragma once
// Text conversions and root names shared by the .reg reader and writer.
//
// The registry interface carries names as UTF-8 and string data as UTF-16LE; .reg files are
// UTF-16LE or 8-bit text. Names may hold lone surrogates (the registry does not forbid them),
// so the UTF-8 side is generalised UTF-8: a lone surrogate travels as its own three bytes and
// comes back unchanged.

#include "platform/RegistryApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::regedit::detail {

/// Appends `utf8` to `out` as UTF-16 code units. Bytes that are not UTF-8 become U+FFFD.
void appendUtf16(std::u16string &out, std::string_view utf8);
/// `units` as generalised UTF-8 (lone surrogates kept).
std::string toUtf8(std::u16string_view units);
/// True when `bytes` is well-formed UTF-8 (surrogate code points allowed, see above).
bool isUtf8(std::string_view bytes);
/// 8-bit text as UTF-16: UTF-8 when it is well-formed, otherwise Windows-1252, the code page
/// the Windows registry editor writes REGEDIT4 files in on Western systems.
std::u16string decode8Bit(std::string_view bytes);

/// The registry roots a .reg file may name, with the names the Windows registry editor uses.
struct RootName {
  std::string_view name;
  platform::RegKey key;
};
/// The root whose full name equals `name` (ASCII case-insensitive), or nothing.
std::optional<platform::RegKey> rootByName(std::u16string_view name);
std::optional<platform::RegKey> rootByName(std::string_view name);
/// The full name of a root key, or "" for a handle that is not a root.
std::string_view rootName(platform::RegKey key);

constexpr bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }
constexpr bool isHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
constexpr unsigned hexValue(char16_t c) {
  return c <= u'9' ? unsigned(c - u'0') : (c | 0x20u) - u'a' + 10u;
}

} // namespace tw::regedit::detail
