#pragma once
// What became of one action of the repair pages (fix, restore, clear, the ignore-list buttons),
// and the documents those actions keep on disk.

#include "platform/FileIdentity.h"
#include "registry/PrefixLock.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace tw::repair {

/// One of the program's two XML documents, live in memory, and the host file it is kept in.
/// An empty path means the file's folder cannot be reached; every save then fails.
struct DocumentFile {
  pugi::xml_document &document;
  std::string path;
  /// The identity of the file on disk when the document was last read from it or saved to it.
  /// When given, a save is refused while the file on disk is another version (another program
  /// saved it since), an action reads the document again first, and each save updates it.
  platform::FileIdentity *version = nullptr;
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
    AnotherProgram,     ///< another program is working on the registry; nothing was done
    UndoStoreChanged,   ///< Backup.xml was changed by another program and read again; nothing was done
    NotRecordable,      ///< an entry's name cannot be kept in the undo store; it was not removed
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
/// With a `version`, a file that another program saved since is not replaced.
std::string saveDocumentFile(const DocumentFile &file, std::string_view fileName);

/// Reads the undo store again when its file on disk is no longer the version it was read from
/// (`version` given). Returns true when it did; `problem` (empty otherwise) says why a changed
/// file could not be read, and the document then stays as it was.
bool reloadChangedUndoStore(const DocumentFile &undoStore, std::string &problem);

/// Begins an action that changes the registry or the undo store: takes the machine's PrefixLock
/// and reads the undo store again when another program changed it. When the lock is held
/// elsewhere or the changed file cannot be read, `result` fails and the returned lock holds
/// nothing. `reloaded` tells whether the document was read again.
PrefixLock beginRegistryAction(const DocumentFile &undoStore, ActionResult &result, bool &reloaded);

} // namespace tw::repair
