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

static bool isHexDigit(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

static constexpr char HexDigits[] = "0123456789abcdef";

// One UTF-16 unit above 127 as \x and its hex digits, all four when `padded`.
static void appendHexEscape(std::string &out, char16_t unit, bool padded) {
  out += "\\x";
  bool started = padded;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const unsigned digit = (unit >> shift) & 0xF;
    started = started || digit != 0 || shift == 0;
    if (started)
      out += HexDigits[digit];
  }
}

std::size_t appendEscaped(std::string &out, std::string_view text, char specialA, char specialB) {
  // The C escapes Wine uses for control characters; '.' means "write it in octal".
  static constexpr char cEscapes[33] = ".......abtnvfr.............e....";
  const std::size_t start = out.size();
  const std::size_t size = text.size();
  // Whether the unit after the current one is the ASCII character `c` of the next byte; a
  // non-ASCII next byte starts a unit above 127, which is neither a hex nor an octal digit.
  const auto nextByte = [&](std::size_t next) -> unsigned char {
    return next < size ? static_cast<unsigned char>(text[next]) : 0;
  };
  std::size_t i = 0;
  while (i < size) {
    // Most text needs no escape at all: copy such runs whole.
    std::size_t run = i;
    while (run < size) {
      const auto c = static_cast<unsigned char>(text[run]);
      if (c < 32 || c > 127 || c == '\\' || c == static_cast<unsigned char>(specialA) ||
          c == static_cast<unsigned char>(specialB))
        break;
      ++run;
    }
    out.append(text.data() + i, run - i);
    i = run;
    if (i == size)
      break;

    const auto c = static_cast<unsigned char>(text[i]);
    if (c > 127) {
      const char32_t cp = decodeUtf8(text, i);
      const unsigned char after = nextByte(i);
      const bool hexFollows = after < 128 && isHexDigit(after);
      if (cp < 0x10000) {
        appendHexEscape(out, static_cast<char16_t>(cp), hexFollows);
      } else {
        // The high surrogate is followed by the low one, which is no hex digit.
        appendHexEscape(out, static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10)), false);
        appendHexEscape(out, static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF)), hexFollows);
      }
      continue;
    }
    ++i;
    if (c < 32) {
      out += '\\';
      if (cEscapes[c] != '.') {
        out += cEscapes[c];
        continue;
      }
      const unsigned char after = nextByte(i);
      const bool padded = after >= '0' && after <= '7';
      if (padded)
        out += '0';
      if (padded || c >= 8)
        out += HexDigits[(c >> 3) & 7];
      out += HexDigits[c & 7];
      continue;
    }
    out += '\\';
    out += static_cast<char>(c);
  }
  return out.size() - start;
}

void appendHexBytes(std::string &out, std::string_view bytes, std::size_t column) {
  // At most three characters a byte plus a line break every 25 bytes.
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 3 + (bytes.size() / 20 + 1) * 4);
  char *p = out.data() + start;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    *p++ = HexDigits[b >> 4];
    *p++ = HexDigits[b & 0xF];
    column += 2;
    if (i + 1 == bytes.size())
      break;
    *p++ = ',';
    if (++column > 76) {
      *p++ = '\\';
      *p++ = '\n';
      *p++ = ' ';
      *p++ = ' ';
      column = 2;
    }
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

} // namespace tw::generator::detail
