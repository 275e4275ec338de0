#include "registry/PrefixLock.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"

#include <cstring>

namespace tw {

PrefixLock PrefixLock::take() { return take(platform::machine()); }

PrefixLock PrefixLock::take(platform::Machine &machine) {
  PrefixLock lock;
  std::string folder = machine.system().programFolder();
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  const std::string windowsPath = folder + PrefixLockFileName;
  lock.m_path = machine.files().hostPath(windowsPath, /*mustExist=*/false).value_or(std::string());
  if (lock.m_path.empty()) {
    lock.m_path = windowsPath;
    return lock;
  }
  lock.m_lock = platform::FileLock::tryLock(lock.m_path);
  return lock;
}

std::string PrefixLock::description() const {
  switch (m_lock.status()) {
  case platform::FileLock::Status::Held: return {};
  case platform::FileLock::Status::Busy:
    return "Another Tidewell Registry Cleaner program is working on this registry and its undo store "
           "(it holds " + m_path + "); try again when it has finished.";
  case platform::FileLock::Status::CannotOpen: break;
  }
  std::string text = "The registry cannot be changed, because the lock file " + m_path +
                     " that keeps two programs from changing it at once cannot be used";
  if (m_lock.osError() != 0) text += std::string(" (") + std::strerror(m_lock.osError()) + ")";
  return text + ".";
}

} // namespace tw
