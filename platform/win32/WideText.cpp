#include "platform/win32/WideText.h"

#include "platform/registry/RegistryText.h"

namespace tw::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

std::wstring toWide(std::string_view text) {
  std::u16string units;
  detail::appendUtf16(units, text);
  return std::wstring(reinterpret_cast<const wchar_t *>(units.data()), units.size());
}

std::string toUtf8(const wchar_t *units, std::size_t count) {
  std::string text;
  detail::appendUtf8(text, reinterpret_cast<const char16_t *>(units), count);
  return text;
}

} // namespace tw::platform::win32
