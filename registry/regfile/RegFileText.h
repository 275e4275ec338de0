#pragma once
// Character rules of .reg text the reader shares: 8-bit text, blanks and hex digits. The
// conversions between UTF-8 and UTF-16 are the registry's own (platform/registry/RegistryText.h).

#include <string>
#include <string_view>

namespace tw::regedit::detail {

/// 8-bit text as UTF-16: UTF-8 when it is well-formed, otherwise Windows-1252, the code page
/// the Windows registry editor writes REGEDIT4 files in on Western systems.
std::u16string decode8Bit(std::string_view bytes);

/// UTF-16 units as UTF-8 (lone surrogates kept, as the registry keeps names).
std::string toUtf8(std::u16string_view units);

constexpr bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }
constexpr bool isHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
constexpr unsigned hexValue(char16_t c) {
  return c <= u'9' ? unsigned(c - u'0') : (c | 0x20u) - u'a' + 10u;
}

} // namespace tw::regedit::detail
