#include "platform/files/WindowsPath.h"

namespace tw::platform::detail {

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

static bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string FullPath::text() const {
  std::string out;
  if (kind == Kind::Unix) {
    out = "\\\\?\\unix";
    for (const auto &c : components) out += "\\" + c;
    if (components.empty()) out += "\\";
    return out;
  }
  out += drive;
  out += ":";
  if (components.empty()) return out + "\\";
  for (const auto &c : components) out += "\\" + c;
  return out;
}

bool hasInvalidNameCharacter(std::string_view component) {
  for (char c : component) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20) return true;
    if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '*' || c == '?')
      return true;
  }
  return false;
}

// Appends the components of `rest` to `into`, as Windows builds a full path: empty components
// and "." vanish, ".." removes the previous component (never the drive), and trailing dots and
// blanks of the last component go, as do trailing dots of the folders on the way.
static void appendComponents(std::vector<std::string> &into, std::string_view rest,
                             bool &trailingSeparator) {
  std::size_t pos = 0;
  trailingSeparator = !rest.empty() && isSeparator(rest.back());
  while (pos <= rest.size()) {
    std::size_t end = pos;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(pos, end - pos);
    const bool last = end >= rest.size();
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!into.empty()) into.pop_back();
      continue;
    }
    std::size_t keep = part.size();
    if (last) {
      while (keep > 0 && (part[keep - 1] == '.' || part[keep - 1] == ' ')) --keep;
    } else {
      while (keep > 0 && part[keep - 1] == '.') --keep;
    }
    if (keep == 0) continue;
    into.emplace_back(part.substr(0, keep));
  }
}

std::optional<FullPath> fullPathOf(std::string_view path, std::string_view currentDirectory) {
  if (path.empty()) return std::nullopt;
  FullPath full;

  // Win32 file namespace: "\\?\C:\..." and Wine's "\\?\unix\...". "\??\" is the same to us.
  if (path.size() >= 4 && isSeparator(path[0]) &&
      (isSeparator(path[1]) || path[1] == '?') && path[2] == '?' && isSeparator(path[3])) {
    std::string_view rest = path.substr(4);
    if (rest.size() >= 2 && isDriveLetter(rest[0]) && rest[1] == ':' &&
        (rest.size() == 2 || isSeparator(rest[2]))) {
      full.drive = upper(rest[0]);
      appendComponents(full.components, rest.substr(2), full.trailingSeparator);
      return full;
    }
    if (rest.size() >= 4 && (rest.substr(0, 4) == "unix" || rest.substr(0, 4) == "UNIX") &&
        (rest.size() == 4 || isSeparator(rest[4]))) {
      full.kind = FullPath::Kind::Unix;
      appendComponents(full.components, rest.substr(4), full.trailingSeparator);
      return full;
    }
    return std::nullopt; // "\\?\UNC\...", volume names and devices
  }
  // "\\server\share" and "\\.\device" never name a file here.
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) return std::nullopt;

  if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') {
    full.drive = upper(path[0]);
    std::string_view rest = path.substr(2);
    if (!rest.empty() && isSeparator(rest[0])) {
      appendComponents(full.components, rest, full.trailingSeparator);
      return full;
    }
    // "C:name" is relative to the current folder when that is on the same drive.
    auto current = fullPathOf(currentDirectory, {});
    if (current && current->kind == FullPath::Kind::Drive && current->drive == full.drive)
      full.components = current->components;
    appendComponents(full.components, rest, full.trailingSeparator);
    return full;
  }

  auto current = fullPathOf(currentDirectory, {});
  if (!current) return std::nullopt;
  full.kind = current->kind;
  full.drive = current->drive;
  if (!isSeparator(path[0])) full.components = current->components;
  appendComponents(full.components, path, full.trailingSeparator);
  return full;
}

} // namespace tw::platform::detail
