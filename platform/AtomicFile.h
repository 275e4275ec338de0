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
  enum class Status {
    Ok,
    NotARegularFile, ///< the name is taken by a folder, device, pipe or other non-regular file
    WriteProtected,  ///< the file exists and its permissions forbid writing it
    CannotCreate,    ///< no temporary file could be made beside it
    WriteFailed,
    SyncFailed,
    RenameFailed,
  };
  Status status = Status::CannotCreate;
  std::string path;
  int osError = 0;

  explicit operator bool() const { return status == Status::Ok; }
  std::string description() const;
};

/// Writes `content` to the host file `path` atomically (temporary file, flush, fsync, rename,
/// fsync of the folder). The file keeps the old file's permission bits, or 0644 when new.
/// A target that exists but is not a regular file (a device such as /dev/null, a folder, a pipe)
/// is refused: renaming over it would replace it rather than write to it. So is a file without
/// write permission (none of its write bits set, or not writable by this user): a rename could
/// replace it, but its owner asked for it to stay as it is.
///
/// A save first removes the temporary files that earlier saves of the same target left behind
/// when their program was killed ("<name>.tmp-XXXXXX" beside it that no running save holds).
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
