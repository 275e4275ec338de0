#include "platform/AtomicFile.h"

#include "platform/detail/AtomicFileChunk.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

static std::string folderOf(const std::string &path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkostemp replaces the six X of the template.
using detail::TempRandomChars;
using detail::TempSuffix;

/// True when the existing file at `path` must not be written: none of its write bits is set,
/// or this user may not write it.
static bool isWriteProtected(const std::string &path, const struct stat &existing) {
  if ((existing.st_mode & 0222) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0 && errno == EACCES;
}

/// Removes the temporary files of `path` that killed saves left behind. A save holds the lock of
/// its temporary file until it ends, and the system drops that lock when the program dies, so a
/// temporary file whose lock can be taken belongs to no running save.
static void removeStaleTemporaryFiles(const std::string &path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + std::string(TempSuffix);
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent *entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() != prefix.size() + TempRandomChars || name.substr(0, prefix.size()) != prefix) continue;
    const std::string candidate = folder + "/" + std::string(name);
    const int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st{};
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid();
    if (ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(candidate.c_str());
    ::close(fd);
  }
  ::closedir(dir);
}

AtomicFileWriter::AtomicFileWriter(std::string path) : m_path(std::move(path)) {
  struct stat existing{};
  if (::stat(m_path.c_str(), &existing) == 0) {
    if (!S_ISREG(existing.st_mode)) {
      m_failure = SaveResult::Status::NotARegularFile;
      return;
    }
    if (isWriteProtected(m_path, existing)) {
      m_failure = SaveResult::Status::WriteProtected;
      return;
    }
  }
  removeStaleTemporaryFiles(m_path);
  m_tempPath = m_path + std::string(TempSuffix) + std::string(TempRandomChars, 'X');
  m_fd = ::mkostemp(m_tempPath.data(), O_CLOEXEC);
  if (m_fd < 0) {
    m_error = errno;
    m_failure = SaveResult::Status::CannotCreate;
    m_tempPath.clear();
    return;
  }
  // Held until the save ends, so that another save of the same file sees that this temporary
  // file is in use.
  ::flock(m_fd, LOCK_EX | LOCK_NB);
  struct stat old{};
  mode_t mode = 0644;
  if (::stat(m_path.c_str(), &old) == 0) mode = old.st_mode & 07777;
  ::fchmod(m_fd, mode);
  m_buffer.reserve(detail::WriteChunkBytes);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
}

bool AtomicFileWriter::flushBuffer() {
  const char *p = m_buffer.data();
  std::size_t left = m_buffer.size();
  while (left > 0) {
    ssize_t n = ::write(m_fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      m_error = errno;
      m_failure = SaveResult::Status::WriteFailed;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  m_buffer.clear();
  return true;
}

SaveResult AtomicFileWriter::commit() {
  SaveResult result;
  result.path = m_path;
  if (m_failure == SaveResult::Status::Ok) flushBuffer();
  if (m_failure == SaveResult::Status::Ok && ::fsync(m_fd) != 0) {
    m_error = errno;
    m_failure = SaveResult::Status::SyncFailed;
  }
  if (m_fd >= 0 && ::close(m_fd) != 0 && m_failure == SaveResult::Status::Ok) {
    m_error = errno;
    m_failure = SaveResult::Status::SyncFailed;
  }
  m_fd = -1;
  if (m_failure == SaveResult::Status::Ok && ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
    m_error = errno;
    m_failure = SaveResult::Status::RenameFailed;
  }
  result.status = m_failure;
  result.osError = m_error;
  if (m_failure != SaveResult::Status::Ok) return result;
  m_tempPath.clear();
  // The rename itself must reach the disk too.
  int dir = ::open(folderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return result;
}

} // namespace tw::platform
