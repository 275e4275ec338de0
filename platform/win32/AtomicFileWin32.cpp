#include "platform/AtomicFile.h"

#include "platform/detail/AtomicFileChunk.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>

namespace tw::platform {

using win32::toWide;

AtomicFileWriter::AtomicFileWriter(std::string path) : m_path(std::move(path)) {
  DWORD existing = ::GetFileAttributesW(toWide(m_path).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT))) {
    m_failure = SaveResult::Status::NotARegularFile;
    return;
  }
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) {
    m_failure = SaveResult::Status::WriteProtected;
    return;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
    m_tempPath = m_path + ".tmp-" + std::to_string(random() & 0xFFFFFF);
    m_fd = ::_wopen(toWide(m_tempPath).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (m_fd < 0 && errno != EEXIST) break;
  }
  if (m_fd < 0) {
    m_error = errno;
    m_failure = SaveResult::Status::CannotCreate;
    m_tempPath.clear();
    return;
  }
  m_buffer.reserve(detail::WriteChunkBytes);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (m_fd >= 0) ::_close(m_fd);
  if (!m_tempPath.empty()) ::DeleteFileW(toWide(m_tempPath).c_str());
}

bool AtomicFileWriter::flushBuffer() {
  const char *p = m_buffer.data();
  std::size_t left = m_buffer.size();
  while (left > 0) {
    unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(left, 1u << 30));
    int n = ::_write(m_fd, p, chunk);
    if (n < 0) {
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
  if (m_failure == SaveResult::Status::Ok && ::_commit(m_fd) != 0) {
    m_error = errno;
    m_failure = SaveResult::Status::SyncFailed;
  }
  if (m_fd >= 0 && ::_close(m_fd) != 0 && m_failure == SaveResult::Status::Ok) {
    m_error = errno;
    m_failure = SaveResult::Status::SyncFailed;
  }
  m_fd = -1;
  // MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
  if (m_failure == SaveResult::Status::Ok &&
      !::MoveFileExW(toWide(m_tempPath).c_str(), toWide(m_path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    m_error = EACCES;
    m_failure = SaveResult::Status::RenameFailed;
  }
  result.status = m_failure;
  result.osError = m_error;
  if (m_failure == SaveResult::Status::Ok) m_tempPath.clear();
  return result;
}

} // namespace tw::platform
