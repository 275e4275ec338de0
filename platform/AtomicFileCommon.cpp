#include "platform/AtomicFile.h"

#include "platform/detail/AtomicFileChunk.h"

#include <cstring>

namespace tw::platform {

std::string SaveResult::description() const {
  std::string what;
  switch (status) {
  case Status::Ok: return "saved " + path;
  case Status::NotARegularFile: what = "it is not a regular file"; break;
  case Status::WriteProtected: what = "it is write-protected"; break;
  case Status::CannotCreate: what = "cannot create a temporary file beside it"; break;
  case Status::WriteFailed: what = "writing failed"; break;
  case Status::SyncFailed: what = "flushing to disk failed"; break;
  case Status::RenameFailed: what = "replacing the old file failed"; break;
  }
  std::string text = "cannot save " + path + ": " + what;
  if (osError != 0) text += std::string(" (") + std::strerror(osError) + ")";
  return text + "; the file on disk is unchanged";
}

bool AtomicFileWriter::write(std::string_view bytes) {
  if (m_failure != SaveResult::Status::Ok) return false;
  if (m_buffer.size() + bytes.size() > detail::WriteChunkBytes && !flushBuffer()) return false;
  if (bytes.size() >= detail::WriteChunkBytes) {
    m_buffer.assign(bytes);
    return flushBuffer();
  }
  m_buffer.append(bytes);
  return true;
}

SaveResult saveFileAtomically(const std::string &path, std::string_view content) {
  AtomicFileWriter writer(path);
  writer.write(content);
  return writer.commit();
}

} // namespace tw::platform
