#include "platform/TextCompare.h"

namespace tw::platform {

// Primary weight of one byte: symbols and spaces, then digits, then letters without case.
// Bytes above 127 (UTF-8 sequences) keep their byte order after every ASCII letter.
static int primaryWeight(unsigned char c) {
  if (c >= 'a' && c <= 'z') return 0x300 + (c - 'a');
  if (c >= 'A' && c <= 'Z') return 0x300 + (c - 'A');
  if (c >= '0' && c <= '9') return 0x200 + (c - '0');
  if (c >= 0x80) return 0x400 + c;
  return 0x100 + c;
}

int compareLocaleText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    int wa = primaryWeight(static_cast<unsigned char>(a[i]));
    int wb = primaryWeight(static_cast<unsigned char>(b[i]));
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  // Equal but for case: lower case sorts first.
  for (std::size_t i = 0; i < n; ++i) {
    bool la = a[i] >= 'a' && a[i] <= 'z';
    bool lb = b[i] >= 'a' && b[i] <= 'z';
    if (la != lb) return la ? -1 : 1;
  }
  return 0;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

} // namespace tw::platform
