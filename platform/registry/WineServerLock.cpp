#include "platform/registry/WineServerLock.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform::detail {

std::string wineServerFolder(const std::string &prefixDir) {
  struct stat st{};
  if (::stat(prefixDir.c_str(), &st) != 0) return {};
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "/tmp/.wine-%u/server-%llx-%llx", static_cast<unsigned>(::getuid()),
                static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino));
  return buffer;
}

bool isWineServerRunning(const std::string &prefixDir) {
  std::string folder = wineServerFolder(prefixDir);
  if (folder.empty()) return false;
  int fd = ::open((folder + "/lock").c_str(), O_RDONLY | O_CLOEXEC);
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

} // namespace tw::platform::detail
