#pragma once
// What became of one action of the repair pages (fix, restore, clear, the ignore-list buttons),
// and the documents those actions keep on disk.

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace tw::repair {

/// One of the program's two XML documents, live in memory, and the host file it is kept in.
/// An empty path means the file's folder cannot be reached; every save then fails.
struct DocumentFile {
  pugi::xml_document &document;
  std::string path;
};

/// The outcome of an action; converts to true when it did all it set out to do. A failed
/// action says in `message` what went wrong and what state it left behind, for the message box.
struct ActionResult {
  enum class Status {
    Ok,
    RegistryRefused,    ///< the registry layer raised an error; the action stopped there
    RecordDamaged,      ///< a record or entry of a document lacks one of its attributes
    UndoStoreNotSaved,  ///< Backup.xml could not be written
    RegistryNotSaved,   ///< the registry's files could not be written
    IgnoreListNotSaved, ///< ignore.xml could not be written
  };
  Status status = Status::RegistryRefused;
  /// Rows fixed, records restored or removed, entries added or removed.
  int count = 0;
  /// For the user; empty on success. Several problems are given one per line.
  std::string message;

  /// A result that has not failed (yet).
  static ActionResult ok() {
    ActionResult result;
    result.status = Status::Ok;
    return result;
  }

  explicit operator bool() const { return status == Status::Ok; }
  const std::string &description() const { return message; }

  /// Marks the action failed with `status` (the latest failure wins) and adds `text` as a line
  /// of the message.
  void fail(Status failure, std::string_view text);
};

/// Writes the document to its file atomically. Returns empty text on success, otherwise what
/// went wrong, naming the file (`fileName` stands for it when its folder cannot be reached).
std::string saveDocumentFile(const DocumentFile &file, std::string_view fileName);

} // namespace tw::repair
