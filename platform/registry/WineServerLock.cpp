#include "platform/registry/WineServerLock.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform::detail {

// The name recorded in <prefix>/wineserver: a folder below /tmp such as "wine-AbC123".
static std::string recordedServerRoot(const std::string &prefixDir) {
  int fd = ::open((prefixDir + "/wineserver").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[256];
  ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return {};
  std::string name(buffer, static_cast<std::size_t>(n));
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
  if (name.empty()) return {};
  if (name.front() == '/') return name.find("/../") == std::string::npos ? name : std::string();
  bool plain = name != "." && name != ".." && name.find('/') == std::string::npos;
  return plain ? "/tmp/" + name : std::string();
}

std::vector<std::string> wineServerFolders(const std::string &prefixDir) {
  struct stat st{};
  if (::stat(prefixDir.c_str(), &st) != 0) return {};
  char leaf[64];
  std::snprintf(leaf, sizeof leaf, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::vector<std::string> folders;
  folders.push_back("/tmp/.wine-" + std::to_string(::getuid()) + leaf);
  std::string recorded = recordedServerRoot(prefixDir);
  if (!recorded.empty()) folders.push_back(recorded + leaf);
  return folders;
}

static bool isLockHeld(const std::string &lockPath) {
  int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false; // no lock file: no server has run since the folder was cleaned
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
