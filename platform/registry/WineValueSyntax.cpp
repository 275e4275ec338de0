#include "platform/registry/WineValueSyntax.h"

#include "platform/registry/RegistryText.h"

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

std::size_t stringByteCount(std::string_view escaped) {
  std::size_t units = 0;
  decodeEscaped(escaped, '\0', [&units](char16_t) { ++units; });
  return (units + 1) * 2;
}

} // namespace tw::platform::detail
