#include "registry/regfile/RegFileText.h"

#include "platform/registry/RegistryText.h"

#include <array>

namespace tw::regedit::detail {

namespace {
// Windows-1252 code points of the bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
} // namespace

std::u16string decode8Bit(std::string_view bytes) {
  std::u16string out;
  if (platform::detail::isValidWtf8(bytes)) {
    platform::detail::appendUtf16(out, bytes);
    return out;
  }
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
  }
  return out;
}

std::string toUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  platform::detail::appendUtf8(out, units.data(), units.size());
  return out;
}

} // namespace tw::regedit::detail
