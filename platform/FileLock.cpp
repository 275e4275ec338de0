#include "platform/FileLock.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

namespace {
/// The lock files this process holds, with the number of FileLocks sharing each. The system's
/// lock belongs to one open file, so a second open of the same file in this process would be
/// refused like any other process: nested holds share the first one's file instead.
struct HeldLocks {
  std::mutex mutex;
  struct Entry {
    int fd = -1;
    int holders = 0;
    pid_t owner = 0; // a child made by fork inherits the table, not the holds
  };
  std::map<std::string, Entry> byPath;
};
} // namespace

static HeldLocks &heldLocks() {
  static HeldLocks held;
  return held;
}

FileLock FileLock::tryLock(const std::string &path) {
  FileLock lock;
  lock.m_path = path;
  HeldLocks &held = heldLocks();
  std::lock_guard guard(held.mutex);
  if (auto found = held.byPath.find(path); found != held.byPath.end()) {
    if (found->second.owner == ::getpid()) {
      ++found->second.holders;
      lock.m_status = Status::Held;
      return lock;
    }
    // Inherited from the parent, whose hold it is; this process tries like any other.
    ::close(found->second.fd);
    held.byPath.erase(found);
  }
  // Not blocking on open: a pipe put in the lock file's place would otherwise hang the program.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    lock.m_osError = errno;
    return lock;
  }
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    lock.m_osError = EINVAL;
    ::close(fd);
    return lock;
  }
  int status = 0;
  do {
    status = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (status != 0 && errno == EINTR);
  if (status != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) {
      lock.m_status = Status::Busy;
      return lock;
    }
    lock.m_osError = error;
    return lock;
  }
  held.byPath[path] = {fd, 1, ::getpid()};
  lock.m_status = Status::Held;
  return lock;
}

FileLock::FileLock(FileLock &&other) noexcept
    : m_path(std::move(other.m_path)), m_status(other.m_status), m_osError(other.m_osError) {
  other.m_status = Status::CannotOpen;
}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
  if (this == &other) return *this;
  release();
  m_path = std::move(other.m_path);
  m_status = other.m_status;
  m_osError = other.m_osError;
  other.m_status = Status::CannotOpen;
  return *this;
}

FileLock::~FileLock() { release(); }

void FileLock::release() {
  if (m_status != Status::Held) return;
  m_status = Status::CannotOpen;
  HeldLocks &held = heldLocks();
  std::lock_guard guard(held.mutex);
  auto found = held.byPath.find(m_path);
  if (found == held.byPath.end() || found->second.owner != ::getpid() || --found->second.holders > 0) return;
  // Closing the file releases the system's lock.
  ::close(found->second.fd);
  held.byPath.erase(found);
}

} // namespace tw::platform
