#include "platform/FileView.h"

#include <array>
#include <cctype>

namespace tw::platform {

static bool sameFileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool applyWow64FileView(std::vector<std::string> &components, std::span<const std::string_view> windowsFolder) {
  const std::size_t at = windowsFolder.size();
  if (components.size() <= at) return false;
  for (std::size_t i = 0; i < at; ++i)
    if (!sameFileName(components[i], windowsFolder[i])) return false;
  std::string &folder = components[at];
  if (sameFileName(folder, "sysnative")) {
    folder = "system32";
    return true;
  }
  if (!sameFileName(folder, "system32")) return false;
  // The folders 64-bit and 32-bit programs share, as Windows exempts them from redirection.
  if (components.size() > at + 1) {
    constexpr std::array<std::string_view, 4> Shared = {"catroot", "catroot2", "logfiles", "spool"};
    const std::string &below = components[at + 1];
    for (std::string_view shared : Shared)
      if (sameFileName(below, shared)) return false;
    if (sameFileName(below, "drivers") && components.size() > at + 2 && sameFileName(components[at + 2], "etc"))
      return false;
  }
  folder = "syswow64";
  return true;
}

} // namespace tw::platform
