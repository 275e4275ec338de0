#include "platform/system/WineServerCheck.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tw::platform {

// True when another process holds a lock on the file.
static bool isLockHeld(const std::string &lockFile) {
  int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  bool held = ::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

bool isWineServerRunning(const std::string &prefixDir, const std::string &tmpDir) {
  struct stat prefix {};
  if (::stat(prefixDir.c_str(), &prefix) != 0) return false;
  char serverName[64];
  std::snprintf(serverName, sizeof(serverName), "server-%llx-%llx",
                static_cast<unsigned long long>(prefix.st_dev),
                static_cast<unsigned long long>(prefix.st_ino));

  std::vector<std::string> holders{tmpDir + "/.wine-" + std::to_string(::getuid())};
  if (DIR *dir = ::opendir(tmpDir.c_str())) {
    while (const struct dirent *entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name.rfind("wine-", 0) != 0) continue;
      std::string holder = tmpDir;
      holder.append("/").append(name);
      struct stat st {};
      if (::lstat(holder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
        holders.push_back(holder);
    }
    ::closedir(dir);
  }
  for (const auto &holder : holders)
    if (isLockHeld(holder + "/" + serverName + "/lock")) return true;
  return false;
}

} // namespace tw::platform
