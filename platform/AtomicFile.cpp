#include "platform/AtomicFile.h"

#include "platform/detail/AtomicFileChunk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::platform {

static std::string folderOf(const std::string &path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

AtomicFileWriter::AtomicFileWriter(std::string path) : m_path(std::move(path)) {
  struct stat existing{};
  if (::stat(m_path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    m_failure = SaveResult::Status::NotARegularFile;
    return;
  }
  m_tempPath = m_path + ".tmp-XXXXXX";
  m_fd = ::mkstemp(m_tempPath.data());
  if (m_fd < 0) {
    m_error = errno;
    m_failure = SaveResult::Status::CannotCreate;
    m_tempPath.clear();
    return;
  }
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
