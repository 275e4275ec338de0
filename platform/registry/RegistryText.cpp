#include "platform/registry/RegistryText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <clocale>
#include <cstring>
#include <cstdio>
#include <cwctype>
#include <locale.h>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw::platform::detail {

namespace {
// The lower-case table of the Basic Multilingual Plane. Built once from the C library's
// Unicode tables; Windows (and Wine) leave alone every letter whose lower case does not map
// back to it (dotted capital I, title-case digraphs, Kelvin and Ohm signs, ...), so those are
// kept as they are.
class CaseTable {
public:
  // The system's own single-unit case mappings: the C library's Unicode tables on Linux,
  // the invariant locale's on Windows. Without them only ASCII letters fold.
#ifdef _WIN32
  static char16_t mapCase(char16_t c, DWORD how) {
    wchar_t in = static_cast<wchar_t>(c), out = in;
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, how, &in, 1, &out, 1, nullptr, nullptr, 0) != 1) return c;
    return static_cast<char16_t>(out);
  }
  static char16_t unicodeLower(char16_t c) { return mapCase(c, LCMAP_LOWERCASE); }
  static char16_t unicodeUpper(char16_t c) { return mapCase(c, LCMAP_UPPERCASE); }
#else
  static locale_t utf8() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
  }
  static char16_t unicodeLower(char16_t c) {
    if (utf8() == static_cast<locale_t>(nullptr)) return c;
    auto lower = static_cast<std::uint32_t>(::towlower_l(static_cast<wint_t>(c), utf8()));
    return lower > 0xFFFF ? c : static_cast<char16_t>(lower);
  }
  static char16_t unicodeUpper(char16_t c) {
    if (utf8() == static_cast<locale_t>(nullptr)) return c;
    auto upper = static_cast<std::uint32_t>(::towupper_l(static_cast<wint_t>(c), utf8()));
    return upper > 0xFFFF ? c : static_cast<char16_t>(upper);
  }
#endif

  CaseTable() {
    for (std::size_t c = 0; c < m_lower.size(); ++c) m_lower[c] = static_cast<char16_t>(c);
    for (char16_t c = 'A'; c <= 'Z'; ++c) m_lower[c] = static_cast<char16_t>(c + 32);
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c < 0xE000) continue;
      auto lower = unicodeLower(static_cast<char16_t>(c));
      if (lower == c) continue;
      if (unicodeUpper(lower) != c) continue;
      m_lower[c] = lower;
    }
  }
  char16_t lower(char16_t c) const { return m_lower[c]; }

private:
  std::array<char16_t, 0x10000> m_lower{};
};

const CaseTable &caseTable() {
  static const auto *table = new CaseTable(); // never destroyed: used until the very end
  return *table;
}

// Walks the UTF-16 units of WTF-8 text.
class UnitReader {
public:
  explicit UnitReader(std::string_view text) : m_text(text) {}
  bool atEnd() const { return m_pendingLow == 0 && m_pos >= m_text.size(); }
  char16_t next() {
    if (m_pendingLow != 0) {
      char16_t low = m_pendingLow;
      m_pendingLow = 0;
      return low;
    }
    auto byte = static_cast<unsigned char>(m_text[m_pos]);
    if (byte < 0x80) {
      ++m_pos;
      return byte;
    }
    std::uint32_t codePoint = 0;
    std::size_t used = decodeUtf8Sequence(m_text, m_pos, codePoint);
    if (used == 0) {
      ++m_pos;
      return 0xFFFD;
    }
    m_pos += used;
    if (codePoint <= 0xFFFF) return static_cast<char16_t>(codePoint);
    codePoint -= 0x10000;
    m_pendingLow = static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF));
    return static_cast<char16_t>(0xD800 | (codePoint >> 10));
  }

private:
  std::string_view m_text;
  std::size_t m_pos = 0;
  char16_t m_pendingLow = 0;
};

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
} // namespace

char16_t foldCase(char16_t unit) { return caseTable().lower(unit); }

// Length of the common prefix of `a` and `b` from `from` on, a word at a time.
static std::size_t samePrefix(const char *a, const char *b, std::size_t from, std::size_t n) {
  auto firstDifference = [a, b](std::size_t at) -> std::size_t {
    std::uint64_t wa = 0;
    std::uint64_t wb = 0;
    std::memcpy(&wa, a + at, 8);
    std::memcpy(&wb, b + at, 8);
    if (wa == wb) return 8;
    // On a little-endian machine the lowest differing byte is the first differing character.
    if constexpr (std::endian::native == std::endian::little)
      return static_cast<std::size_t>(std::countr_zero(wa ^ wb)) / 8;
    std::size_t k = 0;
    while (a[at + k] == b[at + k]) ++k;
    return k;
  };
  std::size_t i = from;
  for (; i + 8 <= n; i += 8)
    if (const std::size_t k = firstDifference(i); k < 8) return i + k;
  // The last word may overlap the one before, whose bytes are equal.
  if (i < n && n >= 8 && n - 8 >= from) return n - 8 + std::min<std::size_t>(firstDifference(n - 8), 8);
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

int compareNames(std::string_view a, std::string_view b) {
  // Equal bytes fold equally, so only the places where the names differ need folding.
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (;;) {
    i = samePrefix(a.data(), b.data(), i, n);
    if (i == n) return static_cast<int>(a.size() > b.size()) - static_cast<int>(a.size() < b.size());
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    int diff = static_cast<unsigned char>(asciiLower(a[i])) - static_cast<unsigned char>(asciiLower(b[i]));
    if (diff != 0) return diff;
    ++i;
  }
  // Non-ASCII: compare UTF-16 units from the start of the character where they differ (the
  // bytes before it are the same in both names).
  while (i > 0 && (static_cast<unsigned char>(a[i]) & 0xC0) == 0x80) --i;
  const CaseTable &table = caseTable();
  UnitReader ra(a.substr(i));
  UnitReader rb(b.substr(i));
  while (!ra.atEnd() && !rb.atEnd()) {
    int diff = static_cast<int>(table.lower(ra.next())) - static_cast<int>(table.lower(rb.next()));
    if (diff != 0) return diff;
  }
  return static_cast<int>(!ra.atEnd()) - static_cast<int>(!rb.atEnd());
}

// The hash runs over the folded name, eight bytes at a time: ASCII units as themselves, every
// other unit as three bytes of 0x80 and up, which no ASCII text holds.
static constexpr std::uint64_t HighBits = 0x8080808080808080ull;

// Lower-cases the ASCII letters of eight ASCII bytes at once.
static std::uint64_t lowerAsciiWord(std::uint64_t w) {
  const std::uint64_t fromA = w + 0x3F3F3F3F3F3F3F3Full; // high bit set where a byte is >= 'A'
  const std::uint64_t pastZ = w + 0x2525252525252525ull; // high bit set where a byte is > 'Z'
  return w | ((fromA & ~pastZ & HighBits) >> 2);
}

static std::uint32_t hashFolded(const char *bytes, std::size_t size, bool lowerAscii) {
  constexpr std::uint64_t M = 0x9E3779B97F4A7C15ull;
  std::uint64_t hash = 0;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, bytes + i, 8);
    hash = (std::rotl(hash, 5) ^ (lowerAscii ? lowerAsciiWord(w) : w)) * M;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes + i, size - i);
  hash = (std::rotl(hash, 5) ^ (lowerAscii ? lowerAsciiWord(tail) : tail) ^ (std::uint64_t{size} << 56)) * M;
  hash ^= hash >> 32;
  hash *= M;
  hash ^= hash >> 29;
  return static_cast<std::uint32_t>(hash);
}

std::uint32_t hashName(std::string_view name) {
  std::uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, name.data() + i, 8);
    high |= w;
  }
  for (; i < name.size(); ++i) high |= static_cast<unsigned char>(name[i]);
  if (!(high & HighBits)) return hashFolded(name.data(), name.size(), true);
  std::string folded;
  folded.reserve(name.size() * 2);
  const CaseTable &table = caseTable();
  UnitReader reader(name);
  while (!reader.atEnd()) {
    const char16_t unit = table.lower(reader.next());
    if (unit < 0x80) {
      folded.push_back(static_cast<char>(unit));
      continue;
    }
    folded.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    folded.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
    folded.push_back(static_cast<char>(0x80 | (unit >> 12)));
  }
  return hashFolded(folded.data(), folded.size(), false);
}

void appendUtf16(std::u16string &out, std::string_view text) {
  // Names are nearly always ASCII: widen the leading ASCII run in one step.
  std::size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  const std::size_t start = out.size();
  out.resize(start + ascii);
  for (std::size_t i = 0; i < ascii; ++i) out[start + i] = static_cast<unsigned char>(text[i]);
  UnitReader reader(text.substr(ascii));
  while (!reader.atEnd()) out.push_back(reader.next());
}

static void appendCodePoint(std::string &out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void appendUtf8(std::string &out, const char16_t *units, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    // Names are nearly always ASCII: a run of it goes over in one step.
    std::size_t run = i;
    while (run < count && units[run] < 0x80) ++run;
    if (run > i) {
      const std::size_t start = out.size();
      out.resize(start + (run - i));
      for (std::size_t k = i; k < run; ++k) out[start + (k - i)] = static_cast<char>(units[k]);
      i = run - 1;
      continue;
    }
    std::uint32_t u = units[i];
    bool pairs = u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
    if (pairs) {
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<std::uint32_t>(units[i + 1]) - 0xDC00);
      ++i;
    }
    appendCodePoint(out, u);
  }
}

std::string utf16leBytesToUtf8(const std::uint8_t *bytes, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  std::string out;
  out.reserve(units.size());
  appendUtf8(out, units.data(), units.size());
  return out;
}

void appendUtf16leBytes(std::string &out, std::string_view text) {
  UnitReader reader(text);
  while (!reader.atEnd()) {
    char16_t u = reader.next();
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
}

bool isValidWtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    std::uint32_t codePoint = 0;
    std::size_t used = decodeUtf8Sequence(text, i, codePoint);
    if (used == 0) return false;
    i += used;
  }
  return true;
}

static bool isAsciiHexDigit(char16_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscaped(std::string &out, const char16_t *units, std::size_t count, std::string_view specials) {
  // Control characters with a C escape of their own; '.' marks those written in octal.
  static constexpr char Escapes[33] = ".......abtnvfr.............e....";
  char buffer[16];
  for (std::size_t i = 0; i < count; ++i) {
    char16_t c = units[i];
    bool hasNext = i + 1 < count;
    if (c > 127) {
      bool digitFollows = hasNext && units[i + 1] < 128 && isAsciiHexDigit(units[i + 1]);
      int n = std::snprintf(buffer, sizeof buffer, digitFollows ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
      out.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (c < 32) {
      if (Escapes[c] != '.') {
        out.push_back('\\');
        out.push_back(Escapes[c]);
        continue;
      }
      bool octalFollows = hasNext && units[i + 1] >= '0' && units[i + 1] <= '7';
      int n = std::snprintf(buffer, sizeof buffer, octalFollows ? "\\%03o" : "\\%o", static_cast<unsigned>(c));
      out.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    auto ch = static_cast<char>(c);
    if (ch == '\\' || specials.find(ch) != std::string_view::npos) out.push_back('\\');
    out.push_back(ch);
  }
}

} // namespace tw::platform::detail
