#include "platform/files/WineFileSystem.h"

#include "platform/files/DriveMap.h"
#include "platform/files/FolderCache.h"
#include "platform/files/HostFileInfo.h"
#include "platform/files/NameMatch.h"
#include "platform/files/ResolvedFolders.h"
#include "platform/files/WindowsPath.h"
#include "platform/FileView.h"
#include "platform/RegistryView.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tw::platform {

using detail::FullPath;

// Where Wine starts a program whose host folder no drive reaches.
static constexpr const char *FallbackCurrentDirectory = "C:\\windows";

// Windows names are at most this many UTF-16 units; longer host names are left out of listings.
static constexpr std::size_t MaxNameLength = 255;

static std::string joinHost(const std::string &folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

// True when the path names its own drive and folder, so no current folder is needed.
static bool isAbsolute(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2])) return true;
  return path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
}

namespace {

// The entries of one folder that match a pattern, in Wine's order: "." and "..", then the
// names sorted without regard to case. Attributes are read as each entry is handed out, so an
// entry removed in the meantime is skipped rather than reported with stale data.
class WineFileFinder final : public FileFinder {
public:
  WineFileFinder() = default;
  WineFileFinder(std::string folder, std::vector<std::string> names)
      : m_folder(std::move(folder)), m_names(std::move(names)) {}

  std::optional<FoundFile> next() override {
    while (m_next < m_names.size()) {
      const std::string &name = m_names[m_next++];
      auto info = detail::readHostFileInfo(joinHost(m_folder, name));
      if (!info) continue;
      FoundFile found;
      found.name = name;
      found.attributes = info->attributes;
      found.size = info->size;
      found.lastWriteTime = info->lastWriteTime;
      return found;
    }
    return std::nullopt;
  }

private:
  std::string m_folder;
  std::vector<std::string> m_names;
  std::size_t m_next = 0;
};

} // namespace

WineFileSystem::WineFileSystem(const std::string &prefixDir, bool twoViews)
    : m_prefixDir(std::filesystem::absolute(prefixDir).lexically_normal().string()), m_twoViews(twoViews),
      m_folders(std::make_unique<detail::FolderCache>()),
      m_resolved(std::make_unique<detail::ResolvedFolders>()) {
  while (m_prefixDir.size() > 1 && m_prefixDir.back() == '/') m_prefixDir.pop_back();
  m_drives = std::make_unique<detail::DriveMap>(m_prefixDir + "/dosdevices");
}

WineFileSystem::~WineFileSystem() = default;

std::size_t WineFileSystem::cachedFolderCount() const { return m_folders->size(); }

std::optional<std::string> WineFileSystem::windowsPathOf(const std::string &hostPath) const {
  return m_drives->windowsPathOf(hostPath);
}

// The host's current folder is asked for on every call (a library may have changed it); only
// its translation to a Windows path is remembered, until the folder or the drives change.
std::string WineFileSystem::currentDirectory() const {
  char buffer[4096];
  if (!::getcwd(buffer, sizeof(buffer))) return FallbackCurrentDirectory;
  const std::string host = buffer;
  const std::uint64_t generation = m_drives->generation();
  {
    std::lock_guard lock(m_currentMutex);
    if (m_currentHost == host && m_currentGeneration == generation) return m_currentWindows;
  }
  std::string windows = m_drives->windowsPathOf(host).value_or(FallbackCurrentDirectory);
  std::lock_guard lock(m_currentMutex);
  m_currentHost = host;
  m_currentGeneration = generation;
  m_currentWindows = windows;
  return windows;
}

std::optional<FullPath> WineFileSystem::fullPath(std::string_view windowsPath) const {
  if (windowsPath.find('\0') != std::string_view::npos) return std::nullopt;
  auto path = isAbsolute(windowsPath) ? detail::fullPathOf(windowsPath, {})
                                      : detail::fullPathOf(windowsPath, currentDirectory());
  // Wine's Windows folder is always C:\windows.
  if (path && m_twoViews && path->kind == FullPath::Kind::Drive && path->drive == 'C' &&
      currentView() == ViewKind::Bits32) {
    constexpr std::string_view WindowsFolder[] = {"windows"};
    applyWow64FileView(path->components, WindowsFolder);
  }
  return path;
}

std::string WineFileSystem::hostRoot(const FullPath &path) const {
  if (path.kind == FullPath::Kind::Unix) return "/";
  return m_drives->driveRoot(path.drive);
}

// The key under which a folder found by a search is remembered: the drive and the folded
// components of the folder's path.
static std::string folderKey(const FullPath &path, std::size_t componentCount,
                             const std::vector<std::string> &folded) {
  std::string key = path.kind == FullPath::Kind::Unix ? std::string("unix") : std::string(1, path.drive);
  for (std::size_t i = 0; i < componentCount; ++i) {
    key += '\\';
    key += folded[i];
  }
  return key;
}

std::optional<std::string> WineFileSystem::resolveByListing(const FullPath &path, bool mustExist,
                                                            struct stat *found) const {
  const std::size_t count = path.components.size();
  std::vector<std::string> folded;
  folded.reserve(count);
  for (const auto &component : path.components) folded.push_back(detail::foldName(component));

  // Start from the deepest folder known, which for a scan is mostly the file's own folder.
  std::string current;
  struct stat folderStat {};
  std::size_t next = 0;
  if (count >= 2) {
    if (auto known = m_resolved->find(folderKey(path, count - 1, folded), folderStat)) {
      current = std::move(*known);
      next = count - 1;
    }
  }
  if (current.empty()) {
    current = hostRoot(path);
    if (::stat(current.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) return std::nullopt;
  }

  for (std::size_t i = next; i < count; ++i) {
    const bool last = i + 1 == count;
    auto onDisk = m_folders->findEntry(current, folderStat, path.components[i]);
    if (!onDisk) {
      if (last && !mustExist) return joinHost(current, path.components[i]);
      return std::nullopt;
    }
    current = joinHost(current, *onDisk);
    if (last) break;
    if (::stat(current.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) return std::nullopt;
    m_resolved->remember(folderKey(path, i + 1, folded), current);
  }
  // A dangling link is listed by its folder but names nothing.
  struct stat target {};
  const bool exists = ::stat(current.c_str(), &target) == 0;
  if (mustExist && !exists) return std::nullopt;
  if (found && exists) *found = target;
  return current;
}

std::optional<std::string> WineFileSystem::resolve(const FullPath &path, bool mustExist,
                                                   struct stat *found) const {
  for (const auto &component : path.components)
    if (detail::hasInvalidNameCharacter(component)) return std::nullopt;
  std::string exact = hostRoot(path);
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    if (i > 0) exact += '/';
    exact += path.components[i];
  }
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) {
    if (found) *found = st;
    return exact;
  }
  return resolveByListing(path, mustExist, found);
}

std::optional<std::string> WineFileSystem::hostPath(std::string_view windowsPath,
                                                    bool mustExist) const {
  auto path = fullPath(windowsPath);
  if (!path) return std::nullopt;
  return resolve(*path, mustExist);
}

std::unique_ptr<FileFinder> WineFileSystem::findFiles(std::string_view pattern) const {
  auto empty = std::make_unique<WineFileFinder>();
  std::size_t split = pattern.find_last_of("\\/");
  std::string_view folderText, mask;
  if (split != std::string_view::npos) {
    folderText = pattern.substr(0, split + 1);
    mask = pattern.substr(split + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folderText = pattern.substr(0, 2);
    mask = pattern.substr(2);
  } else {
    folderText = ".";
    mask = pattern;
  }
  if (mask.empty() || mask.find('\0') != std::string_view::npos) return empty;

  auto folderPath = fullPath(folderText);
  if (!folderPath) return empty;
  auto folder = resolve(*folderPath, /*mustExist=*/true);
  struct stat st {};
  if (!folder || ::stat(folder->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return empty;

  if (!detail::hasWildcard(mask)) {
    if (mask == "." || mask == "..") return std::make_unique<WineFileFinder>(*folder, std::vector<std::string>{std::string(mask)});
    auto onDisk = m_folders->findEntry(*folder, mask);
    if (!onDisk) return empty;
    return std::make_unique<WineFileFinder>(*folder, std::vector<std::string>{*onDisk});
  }

  DIR *dir = ::opendir(folder->c_str());
  if (!dir) return empty;
  std::vector<std::string> names;
  while (const struct dirent *entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || name.size() > MaxNameLength * 3) continue;
    if (detail::matchesWildcard(name, mask)) names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string &a, const std::string &b) { return detail::nameSortsBefore(a, b); });
  std::vector<std::string> ordered;
  ordered.reserve(names.size() + 2);
  for (const char *special : {".", ".."})
    if (detail::matchesWildcard(special, mask)) ordered.emplace_back(special);
  std::move(names.begin(), names.end(), std::back_inserter(ordered));
  return std::make_unique<WineFileFinder>(*folder, std::move(ordered));
}

std::optional<std::uint32_t> WineFileSystem::attributes(std::string_view windowsPath) const {
  auto host = hostPath(windowsPath);
  if (!host) return std::nullopt;
  auto info = detail::readHostFileInfo(*host);
  if (!info) return std::nullopt;
  return info->attributes;
}

bool WineFileSystem::fileExists(std::string_view windowsPath) const {
  auto path = fullPath(windowsPath);
  if (!path || path->components.empty() || path->trailingSeparator) return false;
  if (detail::hasWildcard(path->components.back())) {
    // Find-first with a pattern: the first entry it yields decides.
    auto first = findFiles(windowsPath)->next();
    return first && !(first->attributes & fileattr::Directory);
  }
  struct stat st {};
  return resolve(*path, /*mustExist=*/true, &st) && !S_ISDIR(st.st_mode);
}

bool WineFileSystem::directoryExists(std::string_view windowsPath) const {
  auto path = fullPath(windowsPath);
  struct stat st {};
  return path && resolve(*path, /*mustExist=*/true, &st) && S_ISDIR(st.st_mode);
}

static std::string parentOf(const std::string &hostPath) {
  auto slash = hostPath.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return hostPath.substr(0, slash == 0 ? 1 : slash);
}

bool WineFileSystem::deleteFile(std::string_view windowsPath) {
  auto path = fullPath(windowsPath);
  if (!path || path->components.empty()) return false;
  auto host = resolve(*path, /*mustExist=*/true);
  if (!host) return false;
  auto info = detail::readHostFileInfo(*host);
  // Windows refuses to delete folders and read-only files here.
  if (!info || info->isDirectory() || (info->attributes & fileattr::ReadOnly)) return false;
  if (::unlink(host->c_str()) != 0) return false;
  m_folders->forget(parentOf(*host));
  return true;
}

namespace {
// A host file descriptor that is closed when it goes.
class Descriptor {
public:
  explicit Descriptor(int fd = -1) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  Descriptor &operator=(Descriptor &&other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, -1); }
  explicit operator bool() const { return m_fd >= 0; }

private:
  int m_fd;
};
} // namespace

// Opens the folder `below` (a relative host path) from the folder `dir`, refusing a link
// anywhere on the way and a step onto another file system (a mount point). -1 when it cannot.
static int openFolderBelow(int dir, std::string_view below) {
  const std::string path = below.empty() ? std::string(".") : std::string(below);
  struct open_how how {};
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_BENEATH;
  const long fd = ::syscall(SYS_openat2, dir, path.c_str(), &how, sizeof how);
  if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);

  // Kernels before 5.6: one folder at a time, none of them a link, all on the same disk.
  struct stat st {};
  if (::fstat(dir, &st) != 0) return -1;
  const dev_t device = st.st_dev;
  Descriptor current(::dup(dir));
  while (!below.empty()) {
    const std::size_t start = below.find_first_not_of('/');
    if (start == std::string_view::npos) break;
    below.remove_prefix(start);
    const std::size_t end = std::min(below.find('/'), below.size());
    const std::string name(below.substr(0, end));
    below.remove_prefix(end);
    Descriptor next(::openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next || ::fstat(next.get(), &st) != 0 || st.st_dev != device) return -1;
    current = std::move(next);
  }
  return current.release();
}

// The folders from the drive root down are opened without following links, and the file is
// deleted relative to the last of them: a link put in the way after the file was found makes
// the open fail instead of leading elsewhere.
bool WineFileSystem::deleteFileInside(std::string_view folder, std::string_view windowsPath) {
  const auto folderPath = fullPath(folder);
  const auto filePath = fullPath(windowsPath);
  if (!folderPath || !filePath || folderPath->kind != FullPath::Kind::Drive ||
      filePath->kind != FullPath::Kind::Drive || folderPath->drive != filePath->drive ||
      filePath->trailingSeparator)
    return false;
  const std::vector<std::string> &outer = folderPath->components;
  const std::vector<std::string> &inner = filePath->components;
  if (inner.size() <= outer.size()) return false;
  for (std::size_t i = 0; i < outer.size(); ++i)
    if (detail::foldName(outer[i]) != detail::foldName(inner[i])) return false;

  // The names on disk of the folders on the way.
  FullPath parentPath = *filePath;
  parentPath.components.pop_back();
  const std::string root = hostRoot(parentPath);
  const auto parentHost = resolve(parentPath, /*mustExist=*/true);
  if (root.empty() || !parentHost || !parentHost->starts_with(root)) return false;

  Descriptor drive(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!drive) return false;
  std::string_view below = std::string_view(*parentHost).substr(root.size());
  while (!below.empty() && below.front() == '/') below.remove_prefix(1);
  Descriptor dir(openFolderBelow(drive.get(), below));
  if (!dir) return false;

  // The name as found; one that differs in case only is looked up as Wine looks it up.
  std::string fileName = inner.back();
  struct stat st {};
  if (::fstatat(dir.get(), fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    const auto fileHost = resolve(*filePath, /*mustExist=*/false);
    if (!fileHost || !fileHost->starts_with(*parentHost + "/")) return false;
    fileName = fileHost->substr(parentHost->size() + 1);
    if (fileName.find('/') != std::string::npos ||
        ::fstatat(dir.get(), fileName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return false;
  }
  if (!S_ISREG(st.st_mode) || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) return false;
  if (::unlinkat(dir.get(), fileName.c_str(), 0) != 0) return false;
  m_folders->forget(*parentHost);
  return true;
}

bool WineFileSystem::createDirectory(std::string_view windowsPath) {
  auto path = fullPath(windowsPath);
  if (!path || path->components.empty()) return false;
  auto host = resolve(*path, /*mustExist=*/false);
  if (!host || ::mkdir(host->c_str(), 0777) != 0) return false;
  m_folders->forget(parentOf(*host));
  return true;
}

bool WineFileSystem::removeDirectory(std::string_view windowsPath) {
  auto path = fullPath(windowsPath);
  if (!path || path->components.empty()) return false;
  auto host = resolve(*path, /*mustExist=*/true);
  if (!host) return false;
  // A link to a folder is removed itself, as Windows removes a folder link: what it points to
  // stays untouched.
  struct stat st {};
  if (::lstat(host->c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    struct stat target {};
    if (::stat(host->c_str(), &target) != 0 || !S_ISDIR(target.st_mode) || ::unlink(host->c_str()) != 0)
      return false;
    m_folders->forget(parentOf(*host));
    return true;
  }
  if (::rmdir(host->c_str()) != 0) return false;
  m_folders->forget(parentOf(*host));
  m_folders->forget(*host);
  return true;
}

bool WineFileSystem::setCurrentDirectory(std::string_view windowsPath) {
  auto host = hostPath(windowsPath);
  struct stat st {};
  if (!host || ::stat(host->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::chdir(host->c_str()) == 0;
}

} // namespace tw::platform
