#include "platform/FileIdentity.h"

#include <sys/stat.h>

namespace tw::platform {

FileIdentity fileIdentityOf(const std::string &path) {
  FileIdentity identity;
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return identity;
  identity.exists = true;
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::int64_t>(st.st_size);
#if defined(_WIN32)
  identity.modified = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
#else
  identity.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
  return identity;
}

} // namespace tw::platform
