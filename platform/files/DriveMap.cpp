#include "platform/files/DriveMap.h"

#include <sys/stat.h>

namespace tw::platform::detail {

static char lowerLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

DriveMap::DriveMap(std::string dosdevicesDir) : m_dosdevices(std::move(dosdevicesDir)) {}

std::string DriveMap::driveRoot(char drive) const {
  std::string root = m_dosdevices;
  root += '/';
  root += lowerLetter(drive);
  root += ":/";
  return root;
}

bool DriveMap::isMapped(char drive) const {
  struct stat st {};
  return ::stat(driveRoot(drive).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The table of drive roots is read again whenever the dosdevices folder changes (a link added,
// removed or replaced changes its modification time).
const std::vector<DriveMap::Root> &DriveMap::roots() const {
  struct stat folder {};
  if (::stat(m_dosdevices.c_str(), &folder) != 0) {
    if (m_loaded) ++m_generation;
    m_roots.clear();
    m_loaded = false;
    return m_roots;
  }
  if (m_loaded && folder.st_mtim.tv_sec == m_stamp.tv_sec && folder.st_mtim.tv_nsec == m_stamp.tv_nsec)
    return m_roots;
  m_roots.clear();
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    struct stat st {};
    if (::stat(driveRoot(letter).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    m_roots.push_back({static_cast<char>(letter - 'a' + 'A'), st.st_dev, st.st_ino});
  }
  m_stamp = folder.st_mtim;
  m_loaded = true;
  ++m_generation;
  return m_roots;
}

std::uint64_t DriveMap::generation() const {
  std::lock_guard lock(m_mutex);
  roots();
  return m_generation;
}

std::optional<std::string> DriveMap::windowsPathOf(const std::string &hostPath) const {
  if (hostPath.empty() || hostPath[0] != '/') return std::nullopt;
  std::lock_guard lock(m_mutex);
  const auto &table = roots();
  if (table.empty()) return std::nullopt;

  std::string prefix = hostPath;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  for (;;) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      for (const Root &root : table) {
        if (root.device != st.st_dev || root.inode != st.st_ino) continue;
        std::string rest = prefix == "/" ? hostPath : hostPath.substr(prefix.size());
        std::string out;
        out += root.letter;
        out += ':';
        for (char c : rest) {
          if (c == '/') {
            if (out.back() != '\\') out += '\\';
          } else {
            out += c;
          }
        }
        if (out.size() == 2) out += '\\';
        if (out.size() > 3 && out.back() == '\\') out.pop_back();
        return out;
      }
    }
    if (prefix == "/") return std::nullopt;
    auto slash = prefix.find_last_of('/');
    prefix = slash == 0 ? "/" : prefix.substr(0, slash);
  }
}

} // namespace tw::platform::detail
