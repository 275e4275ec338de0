#pragma once
// An exclusive lock on a host file, held while a FileLock lives. It is the system's advisory lock
// of an open file, which the system itself releases when the process ends, however it ends, so a
// crash or a kill never leaves it behind. Other processes that try the same file are refused
// while it is held; within one process the locks of one file nest, so that an action may take
// the lock that the command around it already holds.

#include <string>

namespace tw::platform {

class FileLock {
public:
  enum class Status {
    Held,       ///< this process holds the lock
    Busy,       ///< another process holds it
    CannotOpen, ///< the lock file cannot be created or opened (see osError), or is not a file
  };

  /// Takes the lock of the file at `path` (created when missing) without waiting.
  static FileLock tryLock(const std::string &path);

  /// Holds nothing (status CannotOpen, no path).
  FileLock() = default;
  FileLock(FileLock &&other) noexcept;
  FileLock &operator=(FileLock &&other) noexcept;
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  /// Gives up this hold; the lock is released once no FileLock of this process holds it.
  ~FileLock();

  Status status() const { return m_status; }
  explicit operator bool() const { return m_status == Status::Held; }
  const std::string &path() const { return m_path; }
  /// The OS error of a lock file that could not be opened; 0 otherwise.
  int osError() const { return m_osError; }

private:
  void release();
  std::string m_path;
  Status m_status = Status::CannotOpen;
  int m_osError = 0;
};

} // namespace tw::platform
