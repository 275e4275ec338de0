#pragma once
// The program's two XML documents and the files they are kept in: the undo store (Backup.xml,
// document element TidewellRegistryCleaner, one ELEMENT per erased entry) and the ignore list
// (ignore.xml, document element IgnoreList, one ERROR per ignored entry).
//
// Loading never loses the user's file: a file that cannot be read or parsed, or that holds
// another document, is moved aside under a name that says so before the program goes on with
// an empty document, so the next save cannot overwrite it. Saving is atomic: the old file stays
// as it was whenever a save fails. Paths here are host paths.

#include "platform/AtomicFile.h"

#include <pugixml.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

inline constexpr const char *UndoStoreRootName = "TidewellRegistryCleaner";
inline constexpr const char *IgnoreListRootName = "IgnoreList";

/// What became of loading a document; converts to true when the program has the file's
/// document (Loaded) or a new one because there was no file (Created). On failure the document
/// is new and empty too, and description() says which file, where and what is wrong, and where
/// the damaged file went.
struct XmlLoadResult {
  enum class Status {
    Loaded,      ///< the file's document
    Created,     ///< no such file: a new document with just the document element
    NotAFile,    ///< the name is taken by a folder or a device; left where it is
    TooLarge,    ///< larger than any document the program writes
    CannotRead,  ///< an I/O error while reading it
    Malformed,   ///< not well-formed XML
    WrongRoot,   ///< well-formed, but the document element has another name
  };
  Status status = Status::CannotRead;
  std::string path;
  /// What is wrong, in the parser's words or ours.
  std::string problem;
  /// Position of a parse error: byte offset into the file, and 1-based line and column (0 when
  /// the file's encoding is not UTF-8 and only the offset is known).
  std::ptrdiff_t offset = -1;
  std::size_t line = 0;
  std::size_t column = 0;
  /// Where the damaged file was moved; empty when it was not moved.
  std::string movedTo;
  /// The OS error of a failed read, 0 otherwise.
  int osError = 0;
  /// The OS error of a failed move aside, 0 otherwise.
  int moveError = 0;

  explicit operator bool() const { return status == Status::Loaded || status == Status::Created; }
  std::string description() const;
  /// What is wrong with the file (which file, where, what), without what became of it; empty
  /// on success.
  std::string problemDescription() const;
};

/// Loads the document kept in `path`, whose document element must be `rootName`. A missing
/// file gives a new document with just that element; a damaged one is moved aside as
/// "<path>.damaged-YYYYMMDD-HHMMSS" and also gives a new document. `document` is replaced in
/// every case.
XmlLoadResult loadXmlDocument(pugi::xml_document &document, const std::string &path,
                              const char *rootName);
/// Reads the document kept in `path` as loadXmlDocument does, but moves nothing: a damaged file
/// stays where it is (the result says what is wrong) and `document` is then a new one.
XmlLoadResult readXmlDocument(pugi::xml_document &document, const std::string &path,
                              const char *rootName);
/// Parses the text of a document that claims to be kept in `path` (for messages only). On
/// failure `document` is a new document with just `rootName`; nothing is moved.
XmlLoadResult parseXmlDocument(pugi::xml_document &document, std::string_view text,
                               const std::string &path, const char *rootName);
/// Writes the document to `path` atomically.
platform::SaveResult saveXmlDocument(const pugi::xml_document &document, const std::string &path);
/// The document's text, as saveXmlDocument writes it.
std::string xmlDocumentText(const pugi::xml_document &document);
/// Replaces the document by a new one holding just the element `rootName`.
void resetXmlDocument(pugi::xml_document &document, const char *rootName);

// --- The undo store -----------------------------------------------------------------------

/// One record of the undo store as the restore history shows it: the erased row's caption,
/// key text (or add-on type) and guessed path (or add-on path).
struct UndoRecord {
  std::string name;
  std::string type;
  std::string path;
  /// False when the record lacks one of the three attributes (those read as empty text).
  bool complete = true;
};

/// Appends a record (ELEMENT with NAME, TYPE, PATH) and returns it, for the items that
/// SnapshotToElement adds.
pugi::xml_node appendUndoRecord(pugi::xml_document &store, const UndoRecord &record);
/// Every child of the document element, in document order, whatever its name: row i of the
/// restore history is child i.
std::vector<UndoRecord> listUndoRecords(const pugi::xml_document &store);
/// The record at `index` (a null node when there is none).
pugi::xml_node undoRecordAt(const pugi::xml_document &store, std::size_t index);
/// Removes the record at `index`; false when there is none.
bool removeUndoRecord(pugi::xml_document &store, std::size_t index);
/// Removes every record.
void clearUndoRecords(pugi::xml_document &store);

// --- The ignore list ----------------------------------------------------------------------

/// One entry of the ignore list: it hides the error whose key text is ROOT\KEY\VALUE.
struct IgnoreEntry {
  std::string root;
  std::string key;
  std::string value;
  /// False when the entry lacks one of the three attributes (those read as empty text).
  bool complete = true;
};

/// The entry for an error's key text: ROOT is the text before the first backslash, KEY the
/// text between the first and the last, VALUE the text after the last (so joining them with
/// backslashes gives the key text back).
IgnoreEntry ignoreEntryFromKeyText(std::string_view keyText);
/// Appends an ERROR element with ROOT, KEY and VALUE, as given (no check, no duplicate test).
void appendIgnoreEntry(pugi::xml_document &ignoreList, const IgnoreEntry &entry);
/// Every child of the document element, in document order, whatever its name: row i of the
/// ignore page is child i.
std::vector<IgnoreEntry> listIgnoreEntries(const pugi::xml_document &ignoreList);
/// Removes the entry at `index`; false when there is none.
bool removeIgnoreEntry(pugi::xml_document &ignoreList, std::size_t index);

} // namespace tw
