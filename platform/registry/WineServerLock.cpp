#include "platform/registry/WineServerLock.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform::detail {

// Where Wine keeps its server folders; it does not look anywhere else.
static constexpr const char *ServerRoot = "/tmp";

/// True when `path` is a folder (not a link to one) that belongs to this user.
static bool isOwnFolder(const std::string &path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

std::vector<std::string> wineServerFolders(const std::string &prefixDir) {
  struct stat st{};
  if (::stat(prefixDir.c_str(), &st) != 0) return {};
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::vector<std::string> folders;
  folders.push_back(std::string(ServerRoot) + "/.wine-" + std::to_string(::getuid()) + leaf);
  // Debian's Wine: a private folder per prefix, /tmp/wine-XXXXXX, made with mkdtemp.
  if (DIR *dir = ::opendir(ServerRoot)) {
    while (const dirent *entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name.substr(0, 5) != "wine-") continue;
      const std::string root = std::string(ServerRoot) + "/" + std::string(name);
      if (!isOwnFolder(root)) continue;
      const std::string folder = root + leaf;
      if (isOwnFolder(folder)) folders.push_back(folder);
    }
    ::closedir(dir);
  }
  return folders;
}

static bool isLockHeld(const std::string &lockPath) {
  // Not blocking: a pipe in the lock file's place must not hang the program.
  int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false; // no lock file: no server has run since the folder was cleaned
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  struct flock probe{};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0; // the whole file: the server locks its first byte
  // Open-file-description locks see a lock held by any process, this one included; plain
  // F_GETLK would not see one held by this process.
#ifdef F_OFD_GETLK
  int status = ::fcntl(fd, F_OFD_GETLK, &probe);
  if (status != 0) {
    probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    status = ::fcntl(fd, F_GETLK, &probe);
  }
#else
  int status = ::fcntl(fd, F_GETLK, &probe);
#endif
  ::close(fd);
  return status == 0 && probe.l_type != F_UNLCK;
}

bool isWineServerRunning(const std::string &prefixDir) {
  for (const std::string &folder : wineServerFolders(prefixDir))
    if (isLockHeld(folder + "/lock")) return true;
  return false;
}

} // namespace tw::platform::detail
