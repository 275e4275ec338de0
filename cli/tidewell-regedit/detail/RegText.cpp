#include "cli/tidewell-regedit/detail/RegText.h"

#include <array>

namespace tw::regedit::detail {

namespace {
constexpr char16_t Replacement = 0xFFFD;

constexpr std::array<RootName, 6> Roots = {{
    {"HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", platform::HKEY_USERS},
    {"HKEY_CLASSES_ROOT", platform::HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", platform::HKEY_CURRENT_CONFIG},
    {"HKEY_CURRENT_USER", platform::HKEY_CURRENT_USER},
    {"HKEY_DYN_DATA", platform::HKEY_DYN_DATA},
}};

// Windows-1252 code points of the bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at `pos`; returns the code point and advances `pos`, or nothing
// (leaving `pos`) when the bytes there are not UTF-8.
std::optional<char32_t> decodeOne(std::string_view s, std::size_t &pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  std::size_t length;
  char32_t cp;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos < length)
    return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80)
      return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF)
    return std::nullopt;
  pos += length;
  return cp;
}

void appendCodePoint(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
    return;
  }
  cp -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

bool equalsIgnoringAsciiCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i];
    char16_t y = static_cast<unsigned char>(b[i]);
    if (x >= u'a' && x <= u'z')
      x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z')
      y = static_cast<char16_t>(y - 32);
    if (x != y)
      return false;
  }
  return true;
}
} // namespace

void appendUtf16(std::u16string &out, std::string_view utf8) {
  // Names are nearly always ASCII: widen the leading ASCII run in one step.
  std::size_t ascii = 0;
  while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80)
    ++ascii;
  const std::size_t start = out.size();
  out.resize(start + ascii);
  for (std::size_t i = 0; i < ascii; ++i)
    out[start + i] = static_cast<unsigned char>(utf8[i]);
  std::size_t pos = ascii;
  while (pos < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      out.push_back(b);
      ++pos;
      continue;
    }
    if (auto cp = decodeOne(utf8, pos)) {
      appendCodePoint(out, *cp);
      continue;
    }
    out.push_back(Replacement);
    ++pos;
  }
}

std::string toUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
  return out;
}

bool isUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (!decodeOne(bytes, pos))
      return false;
  }
  return true;
}

std::u16string decode8Bit(std::string_view bytes) {
  std::u16string out;
  if (isUtf8(bytes)) {
    appendUtf16(out, bytes);
    return out;
  }
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
  }
  return out;
}

std::optional<platform::RegKey> rootByName(std::u16string_view name) {
  for (const RootName &root : Roots)
    if (equalsIgnoringAsciiCase(name, root.name))
      return root.key;
  return std::nullopt;
}

std::optional<platform::RegKey> rootByName(std::string_view name) {
  std::u16string wide;
  appendUtf16(wide, name);
  return rootByName(std::u16string_view(wide));
}

std::string_view rootName(platform::RegKey key) {
  for (const RootName &root : Roots)
    if (root.key == key)
      return root.name;
  return {};
}

} // namespace tw::regedit::detail
