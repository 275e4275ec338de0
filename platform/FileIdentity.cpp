#include "platform/FileIdentity.h"

#ifdef _WIN32
#include "platform/win32/WideText.h"
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace tw::platform {

#ifdef _WIN32
// The volume and the file index stand for the device and the inode.
FileIdentity fileIdentityOf(const std::string &path) {
  FileIdentity identity;
  HANDLE file = ::CreateFileW(win32::toWide(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = ::GetFileInformationByHandle(file, &info) != 0;
  ::CloseHandle(file);
  if (!known) return identity;
  identity.exists = true;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.size = static_cast<std::int64_t>((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  // FILETIME counts 100 ns from 1601; the identity only compares, so the epoch does not matter.
  identity.modified =
      static_cast<std::int64_t>((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                info.ftLastWriteTime.dwLowDateTime) * 100;
  return identity;
}
#else
FileIdentity fileIdentityOf(const std::string &path) {
  FileIdentity identity;
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return identity;
  identity.exists = true;
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::int64_t>(st.st_size);
  identity.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return identity;
}
#endif

} // namespace tw::platform
