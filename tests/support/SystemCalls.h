#pragma once
// The few system calls the tests make themselves, on Linux and as Windows programs alike (the
// Windows side is in tests/windows/SystemCalls.cpp, away from windows.h's macros).

#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace tw::test {

/// Sets an environment variable of this process.
inline void setEnvironment(const std::string &name, const std::string &value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

/// Removes an environment variable of this process.
inline void removeEnvironment(const std::string &name) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), ""); // an empty value removes it
#else
  ::unsetenv(name.c_str());
#endif
}

/// True when the process runs with the rights of the system's administrator (root), which
/// ignore file and folder permissions.
inline bool runsAsAdministrator() {
#ifdef _WIN32
  return false; // the tests' scratch folders are the user's own
#else
  return ::geteuid() == 0;
#endif
}

/// Marks a file or folder hidden by its attribute record: on Windows its attribute, on Linux the
/// extended attribute Wine keeps DOS attributes in (where the file system supports them).
void markHidden(const std::string &path);

/// The system's lock on a host file, taken through an open of its own, as another program
/// holds it (the program's own locks of one file nest within the process; this one does not).
class ForeignLock {
public:
  explicit ForeignLock(const std::string &path);
  ~ForeignLock() { release(); }
  ForeignLock(const ForeignLock &) = delete;
  ForeignLock &operator=(const ForeignLock &) = delete;

  bool held() const { return m_held; }
  /// Closes the file, which gives the lock up, as the other program's end does.
  void release();

private:
#ifdef _WIN32
  void *m_handle = nullptr;
#else
  int m_fd = -1;
#endif
  bool m_held = false;
};

#ifndef _WIN32
inline void markHidden(const std::string &path) { ::setxattr(path.c_str(), "user.DOSATTRIB", "0x2", 3, 0); }

inline ForeignLock::ForeignLock(const std::string &path) {
  m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  m_held = m_fd >= 0 && ::flock(m_fd, LOCK_EX) == 0;
}

inline void ForeignLock::release() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_held = false;
}
#endif

} // namespace tw::test
