#include "platform/files/NameMatch.h"

#include <cwctype>
#include <locale.h>
#include <vector>

namespace tw::platform::detail {

// Case mapping of the whole Unicode range comes from the C library's UTF-8 locale, loaded once
// and used only through the *_l calls so the process's own locale is never touched.
static locale_t unicodeLocale() {
  static const locale_t loc = [] {
    locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

// A byte that does not start a valid UTF-8 sequence stands for itself: it is mapped into the
// low surrogate range, which no valid UTF-8 text decodes to.
static constexpr char32_t StrayByteBase = 0xDC00;

static char32_t decodeOne(std::string_view text, std::size_t &pos) {
  const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byteAt(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = 0;
  char32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  }
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return StrayByteBase + lead;
  }
  for (int i = 1; i < length; ++i) {
    unsigned char next = byteAt(pos + i);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return StrayByteBase + lead;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  // Overlong forms and surrogates are not characters: treat the lead byte as stray.
  static constexpr char32_t MinimumForLength[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < MinimumForLength[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return StrayByteBase + lead;
  }
  pos += static_cast<std::size_t>(length);
  return cp;
}

static char32_t upcase(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
  if (c >= StrayByteBase && c <= StrayByteBase + 0xFF) return c;
  locale_t loc = unicodeLocale();
  if (!loc) return c;
  return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), loc));
}

static char32_t downcase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
  if (c >= StrayByteBase && c <= StrayByteBase + 0xFF) return c;
  locale_t loc = unicodeLocale();
  if (!loc) return c;
  return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), loc));
}

static void appendUtf8(std::string &out, char32_t c) {
  if (c >= StrayByteBase && c <= StrayByteBase + 0xFF) {
    // Keep a stray byte distinct from every character; two bytes that cannot occur in UTF-8.
    out += '\xFF';
    out += static_cast<char>(c - StrayByteBase);
    return;
  }
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

static bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string foldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  if (isAscii(name)) {
    for (char c : name) out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
    return out;
  }
  for (std::size_t pos = 0; pos < name.size();) appendUtf8(out, upcase(decodeOne(name, pos)));
  return out;
}

bool namesEqualIgnoringCase(std::string_view a, std::string_view b) {
  return foldName(a) == foldName(b);
}

bool hasWildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

static std::u32string foldedCharacters(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) out += upcase(decodeOne(text, pos));
  return out;
}

bool matchesWildcard(std::string_view nameText, std::string_view patternText) {
  const std::u32string name = foldedCharacters(nameText);
  const std::u32string pattern = foldedCharacters(patternText);
  std::size_t n = 0, p = 0;
  std::size_t starAt = std::u32string::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == U'*') {
      starAt = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starAt != std::u32string::npos) {
      // Let the last "*" swallow one more character and try the rest again.
      p = starAt + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == U'*' || pattern[p] == U'.')) ++p;
  return p == pattern.size();
}

// Wine sorts with its wcsicmp, which compares lower-cased characters; that places "_" before
// the letters, unlike a comparison of upper-cased ones.
bool nameSortsBefore(std::string_view a, std::string_view b) {
  std::size_t pa = 0, pb = 0;
  while (pa < a.size() && pb < b.size()) {
    char32_t ca = downcase(decodeOne(a, pa)), cb = downcase(decodeOne(b, pb));
    if (ca != cb) return ca < cb;
  }
  if ((pa < a.size()) != (pb < b.size())) return pb < b.size();
  return a < b;
}

} // namespace tw::platform::detail
