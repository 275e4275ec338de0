#include "platform/FileLock.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include "platform/win32/WideText.h"
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tw::platform {

namespace {

// The system's side of a lock: an open file whose exclusive lock this process holds.
#ifdef _WIN32
using LockHandle = HANDLE;
using ProcessId = DWORD;
ProcessId currentProcess() { return ::GetCurrentProcessId(); }
void closeLockFile(LockHandle handle) { ::CloseHandle(handle); }
// Opens (creating) the lock file and locks it without waiting.
FileLock::Status openAndLock(const std::string &path, LockHandle &handle, int &osError) {
  handle = ::CreateFileW(win32::toWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    osError = EACCES;
    return FileLock::Status::CannotOpen;
  }
  OVERLAPPED whole{};
  if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
    return FileLock::Status::Held;
  DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return FileLock::Status::Busy;
  osError = EACCES;
  return FileLock::Status::CannotOpen;
}
#else
using LockHandle = int;
using ProcessId = pid_t;
ProcessId currentProcess() { return ::getpid(); }
void closeLockFile(LockHandle handle) { ::close(handle); }
FileLock::Status openAndLock(const std::string &path, LockHandle &handle, int &osError) {
  // Not blocking on open: a pipe put in the lock file's place would otherwise hang the program.
  handle = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (handle < 0) {
    osError = errno;
    return FileLock::Status::CannotOpen;
  }
  struct stat st{};
  if (::fstat(handle, &st) != 0 || !S_ISREG(st.st_mode)) {
    osError = EINVAL;
    ::close(handle);
    return FileLock::Status::CannotOpen;
  }
  int status = 0;
  do {
    status = ::flock(handle, LOCK_EX | LOCK_NB);
  } while (status != 0 && errno == EINTR);
  if (status == 0) return FileLock::Status::Held;
  const int error = errno;
  ::close(handle);
  if (error == EWOULDBLOCK) return FileLock::Status::Busy;
  osError = error;
  return FileLock::Status::CannotOpen;
}
#endif

/// The lock files this process holds, with the number of FileLocks sharing each. The system's
/// lock belongs to one open file, so a second open of the same file in this process would be
/// refused like any other process: nested holds share the first one's file instead.
struct HeldLocks {
  std::mutex mutex;
  struct Entry {
    LockHandle handle{};
    int holders = 0;
    ProcessId owner = 0; // a child made by fork inherits the table, not the holds
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
    if (found->second.owner == currentProcess()) {
      ++found->second.holders;
      lock.m_status = Status::Held;
      return lock;
    }
    // Inherited from the parent, whose hold it is; this process tries like any other.
    closeLockFile(found->second.handle);
    held.byPath.erase(found);
  }
  LockHandle handle{};
  lock.m_status = openAndLock(path, handle, lock.m_osError);
  if (lock.m_status != Status::Held) return lock;
  held.byPath[path] = {handle, 1, currentProcess()};
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
  if (found == held.byPath.end() || found->second.owner != currentProcess() || --found->second.holders > 0) return;
  // Closing the file releases the system's lock.
  closeLockFile(found->second.handle);
  held.byPath.erase(found);
}

} // namespace tw::platform
