#pragma once
// Text between the program (UTF-8, standing for the system code page) and the wide calls of
// advapi32 and kernel32 (UTF-16). Lone surrogates survive both ways, so every name Windows
// can store round-trips unchanged.

#include <cstddef>
#include <string>
#include <string_view>

namespace tw::platform::win32 {

std::wstring toWide(std::string_view text);
std::string toUtf8(const wchar_t *units, std::size_t count);
inline std::string toUtf8(const std::wstring &text) { return toUtf8(text.data(), text.size()); }

} // namespace tw::platform::win32
