#include "generator/WineText.h"

#include <cassert>
#include <cstdint>

namespace tw::generator::detail {

static char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string nameSortKey(std::string_view name) {
  std::string key(name.size(), '\0');
  for (std::size_t i = 0; i < name.size(); ++i) {
    assert(static_cast<unsigned char>(name[i]) < 0x80 && "generated names are ASCII");
    key[i] = lowerChar(name[i]);
  }
  return key;
}

std::string pathSortKey(std::string_view path) {
  std::string key = nameSortKey(path);
  for (char &c : key)
    if (c == '\\')
      c = '\x01';
  return key;
}

std::string lowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char &c : lowered)
    c = lowerChar(c);
  return lowered;
}

// Decodes one UTF-8 sequence at `pos`. The generator writes only text it made itself, so a
// malformed sequence is a programming error; it is passed through as U+FFFD all the same.
static char32_t decodeUtf8(std::string_view text, std::size_t &pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (lead >= 0x80 && lead < 0xC0)
    length = 0;
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return 0xFFFD;
  }
  char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i)
    cp = (cp << 6) | (byte(pos + i) & 0x3F);
  pos += length;
  return cp;
}

static bool isHexDigit(char16_t u) {
  return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

std::size_t appendEscaped(std::string &out, std::string_view text, char specialA, char specialB) {
  // The C escapes Wine uses for control characters; '.' means "write it in octal".
  static constexpr char cEscapes[33] = ".......abtnvfr.............e....";
  static constexpr char hex[] = "0123456789abcdef";

  std::u16string units;
  units.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t cp = decodeUtf8(text, pos);
    if (cp < 0x10000) {
      units += static_cast<char16_t>(cp);
    } else {
      units += static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
    }
  }

  const std::size_t start = out.size();
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    const bool hasNext = i + 1 < units.size();
    if (u > 127) {
      const bool padded = hasNext && units[i + 1] < 128 && isHexDigit(units[i + 1]);
      out += "\\x";
      bool started = padded;
      for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (u >> shift) & 0xF;
        if (digit != 0 || shift == 0)
          started = true;
        if (started)
          out += hex[digit];
      }
      continue;
    }
    if (u < 32) {
      out += '\\';
      if (cEscapes[u] != '.') {
        out += cEscapes[u];
      } else {
        const bool padded = hasNext && units[i + 1] >= '0' && units[i + 1] <= '7';
        if (padded || u >= 64)
          out += hex[(u >> 6) & 7];
        if (padded || u >= 8)
          out += hex[(u >> 3) & 7];
        out += hex[u & 7];
      }
      continue;
    }
    const char c = static_cast<char>(u);
    if (c == '\\' || c == specialA || c == specialB)
      out += '\\';
    out += c;
  }
  return out.size() - start;
}

void appendHexBytes(std::string &out, std::string_view bytes, std::size_t column) {
  static constexpr char hex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += hex[b >> 4];
    out += hex[b & 0xF];
    column += 2;
    if (i + 1 == bytes.size())
      break;
    out += ',';
    if (++column > 76) {
      out += "\\\n  ";
      column = 2;
    }
  }
}

} // namespace tw::generator::detail
