#include "platform/registry/WineValueSyntax.h"

#include "platform/registry/RegistryText.h"

#include <cstring>

namespace tw::platform::detail {

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

HexScan scanHexBytes(std::string_view text, std::size_t pos) {
  HexScan scan;
  const std::size_t n = text.size();
  std::size_t i = pos;
  for (;;) {
    // One line of bytes: digits, optional blanks and a comma between bytes.
    while (i < n && hexDigitValue(text[i]) >= 0) {
      int digits = 0;
      while (i < n && digits < 2 && hexDigitValue(text[i]) >= 0) ++i, ++digits;
      if (i < n && hexDigitValue(text[i]) >= 0) {
        scan.faultAt = i; // three digits cannot be one byte
        return scan;
      }
      ++scan.byteCount;
      while (i < n && isBlank(text[i])) ++i;
      if (i < n && text[i] == ',') ++i;
      while (i < n && isBlank(text[i])) ++i;
    }
    if (i >= n || text[i] == '\n') {
      scan.ok = true;
      scan.end = i;
      return scan;
    }
    if (text[i] != '\\') {
      scan.faultAt = i;
      return scan;
    }
    // A backslash continues the bytes on the next line, after its indentation.
    ++i;
    while (i < n && isBlank(text[i])) ++i;
    if (i >= n || text[i] != '\n') {
      scan.faultAt = i;
      return scan;
    }
    ++i;
    ++scan.lines;
    if (i >= n) { // the file ends where the continued line should be
      scan.faultAt = n;
      return scan;
    }
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  }
}

void decodeHexBytes(std::string_view text, std::vector<std::uint8_t> &out) {
  unsigned value = 0;
  int digits = 0;
  for (char c : text) {
    int d = hexDigitValue(c);
    if (d >= 0) {
      value = value * 16 + static_cast<unsigned>(d);
      ++digits;
      continue;
    }
    if (digits > 0) out.push_back(static_cast<std::uint8_t>(value));
    value = 0;
    digits = 0;
  }
  if (digits > 0) out.push_back(static_cast<std::uint8_t>(value));
}

std::size_t countHexBytes(std::string_view text) {
  std::size_t count = 0;
  bool inByte = false;
  for (char c : text) {
    bool digit = hexDigitValue(c) >= 0;
    if (digit && !inByte) ++count;
    inByte = digit;
  }
  return count;
}

std::uint32_t decodeDword(std::string_view digits) {
  std::uint32_t value = 0;
  for (char c : digits) value = value * 16 + static_cast<std::uint32_t>(hexDigitValue(c));
  return value;
}

void decodeStringBytes(std::string_view escaped, std::vector<std::uint8_t> &out) {
  out.reserve(out.size() + escaped.size() * 2 + 2);
  // The slice ends before the closing quote; decode up to the end of the slice.
  decodeEscaped(escaped, '\0', [&out](char16_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  });
  out.push_back(0);
  out.push_back(0);
}

// The general decoder: every escape, surrogate pairs joined.
static void decodeStringNarrowSlow(std::string_view escaped, std::vector<std::uint8_t> &out) {
  char16_t pendingHigh = 0;
  auto put = [&out](std::uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<std::uint8_t>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    }
  };
  decodeEscaped(escaped, '\0', [&](char16_t u) {
    if (pendingHigh != 0) {
      char16_t high = pendingHigh;
      pendingHigh = 0;
      if (u >= 0xDC00 && u < 0xE000) {
        put(0x10000 + ((static_cast<std::uint32_t>(high) - 0xD800) << 10) + (static_cast<std::uint32_t>(u) - 0xDC00));
        return;
      }
      put(high); // a lone high surrogate stays as it is (WTF-8)
    }
    if (u >= 0xD800 && u < 0xDC00) {
      pendingHigh = u;
      return;
    }
    put(u);
  });
  if (pendingHigh != 0) put(pendingHigh);
}

void decodeStringNarrow(std::string_view escaped, std::vector<std::uint8_t> &out) {
  out.reserve(out.size() + escaped.size() + 1);
  // Checked text is UTF-8 already, and most escapes are "\\" and "\"": copy the runs between
  // them, and leave anything rarer to the general decoder.
  std::size_t start = out.size();
  for (std::size_t i = 0; i < escaped.size();) {
    const void *found = std::memchr(escaped.data() + i, '\\', escaped.size() - i);
    std::size_t at = found ? static_cast<std::size_t>(static_cast<const char *>(found) - escaped.data()) : escaped.size();
    out.insert(out.end(), escaped.begin() + static_cast<std::ptrdiff_t>(i), escaped.begin() + static_cast<std::ptrdiff_t>(at));
    if (at == escaped.size()) break;
    char next = at + 1 < escaped.size() ? escaped[at + 1] : '\0';
    if (next != '\\' && next != '"') {
      out.resize(start);
      decodeStringNarrowSlow(escaped, out);
      break;
    }
    out.push_back(static_cast<std::uint8_t>(next));
    i = at + 2;
  }
  out.push_back(0);
}

std::size_t stringByteCount(std::string_view escaped) {
  std::size_t units = 0;
  decodeEscaped(escaped, '\0', [&units](char16_t) { ++units; });
  return (units + 1) * 2;
}

} // namespace tw::platform::detail
