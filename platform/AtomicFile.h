#pragma once
// Saving a file so that a crash or a full disk never leaves it half-written: the new content
// goes to a temporary file beside the target, is flushed and synced, and only then renamed
// over the target. The old file stays as it was whenever the save fails.

#include <string>
#include <string_view>

namespace tw::platform {

/// What became of a save; converts to true on success. `description()` names the file and the
/// step that failed.
struct SaveResult {
  enum class Status { Ok, NotARegularFile, CannotCreate, WriteFailed, SyncFailed, RenameFailed };
  Status status = Status::CannotCreate;
  std::string path;
  int osError = 0;

  explicit operator bool() const { return status == Status::Ok; }
  std::string description() const;
};

/// Writes `content` to the host file `path` atomically (temporary file, flush, fsync, rename,
/// fsync of the folder). The file keeps the old file's permission bits, or 0644 when new.
/// A target that exists but is not a regular file (a device such as /dev/null, a folder, a pipe)
/// is refused: renaming over it would replace it rather than write to it.
SaveResult saveFileAtomically(const std::string &path, std::string_view content);

/// Streams content into a temporary file beside `path`; commit() renames it over `path`.
/// Destroying an uncommitted writer removes the temporary file and leaves `path` untouched.
class AtomicFileWriter {
public:
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter &) = delete;
  AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

  /// False once any write has failed; later writes are ignored.
  bool write(std::string_view bytes);
  /// Flushes, syncs and renames. The result says which step failed, if any.
  SaveResult commit();

private:
  std::string m_path;
  std::string m_tempPath;
  std::string m_buffer;
  int m_fd = -1;
  int m_error = 0;
  SaveResult::Status m_failure = SaveResult::Status::Ok;
  bool flushBuffer();
};

} // namespace tw::platform
