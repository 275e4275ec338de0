#include "platform/AtomicFile.h"

#include "platform/detail/AtomicFileChunk.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>

namespace tw::platform {

using detail::TempRandomChars;
using detail::TempSuffix;
using win32::toWide;

/// Removes the temporary files of `path` that killed saves left behind. A save keeps its
/// temporary file open without sharing its deletion until it ends, and the system closes it when
/// the program dies, so a temporary file that can be deleted belongs to no running save.
static void removeStaleTemporaryFiles(const std::string &path) {
  const std::wstring pattern = toWide(path + std::string(TempSuffix) + "*");
  const std::size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::size_t nameLength = path.size() - folder.size() + TempSuffix.size() + TempRandomChars;
  WIN32_FIND_DATAW found{};
  HANDLE listing = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY))
      continue;
    const std::wstring name = found.cFileName;
    // Names of the shape a save gives, all of their random part ASCII letters and digits.
    if (name.size() != nameLength) continue;
    bool shaped = true;
    for (std::size_t i = name.size() - TempRandomChars; i < name.size(); ++i)
      shaped = shaped && name[i] < 0x80 && std::isalnum(static_cast<int>(name[i]));
    if (shaped) ::DeleteFileW((toWide(folder) + name).c_str());
  } while (::FindNextFileW(listing, &found));
  ::FindClose(listing);
}

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
  removeStaleTemporaryFiles(m_path);
  static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
    m_tempPath = m_path + std::string(TempSuffix);
    for (std::size_t i = 0; i < TempRandomChars; ++i) m_tempPath += Letters[random() % (sizeof Letters - 1)];
    // Opened without sharing deletion, so that another save of the file sees that it is in use.
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
