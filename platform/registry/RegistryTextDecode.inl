// Template body of decodeEscaped (included by RegistryText.h).
#pragma once

namespace tw::platform::detail {

inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// Decodes one WTF-8 sequence starting at `text[i]` (a byte >= 0x80). Returns the number of
/// bytes used, or 0 when the sequence is malformed; `codePoint` receives the value.
inline std::size_t decodeUtf8Sequence(std::string_view text, std::size_t i, std::uint32_t &codePoint) {
  auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t value = 0;
  std::uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0u) != 0x80u) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF) return 0;
  codePoint = value;
  return length;
}

template <typename Sink>
EscapedDecode decodeEscaped(std::string_view text, char delimiter, Sink &&sink) {
  using Status = EscapedDecode::Status;
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    char c = text[i];
    if (c == delimiter) return {Status::Ok, i + 1};
    if (c == '\0') return {Status::NulByte, i};
    if (c == '\\') {
      if (i + 1 >= n) return {Status::Unterminated, n};
      char e = text[i + 1];
      char16_t simple = 0;
      switch (e) {
      case 'a': simple = u'\a'; break;
      case 'b': simple = u'\b'; break;
      case 'e': simple = 0x1B; break;
      case 'f': simple = u'\f'; break;
      case 'n': simple = u'\n'; break;
      case 'r': simple = u'\r'; break;
      case 't': simple = u'\t'; break;
      case 'v': simple = u'\v'; break;
      default: break;
      }
      if (simple != 0) {
        sink(simple);
        i += 2;
        continue;
      }
      if (e == 'x') {
        i += 2;
        unsigned value = 0;
        int digits = 0;
        for (int d; digits < 4 && i < n && (d = hexDigitValue(text[i])) >= 0; ++digits, ++i)
          value = value * 16 + static_cast<unsigned>(d);
        sink(digits == 0 ? u'x' : static_cast<char16_t>(value));
        continue;
      }
      if (e >= '0' && e <= '7') {
        i += 1;
        unsigned value = 0;
        for (int digits = 0; digits < 3 && i < n && text[i] >= '0' && text[i] <= '7'; ++digits, ++i)
          value = value * 8 + static_cast<unsigned>(text[i] - '0');
        sink(static_cast<char16_t>(value));
        continue;
      }
      // Any other escaped character stands for itself (\\, \", \[, \] ...).
      i += 1;
      c = text[i];
      if (c == '\0') return {Status::NulByte, i};
    }
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      sink(static_cast<char16_t>(byte));
      ++i;
      continue;
    }
    std::uint32_t codePoint = 0;
    std::size_t used = decodeUtf8Sequence(text, i, codePoint);
    if (used == 0) return {Status::BadUtf8, i};
    if (codePoint <= 0xFFFF) {
      sink(static_cast<char16_t>(codePoint));
    } else {
      codePoint -= 0x10000;
      sink(static_cast<char16_t>(0xD800 | (codePoint >> 10)));
      sink(static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF)));
    }
    i += used;
  }
  return {Status::Unterminated, n};
}

} // namespace tw::platform::detail
