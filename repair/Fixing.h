#pragma once
// "Fix Selected": every checked row of the error list is recorded in the undo store, erased from
// the registry and taken off the list.

#include "repair/ActionResult.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw::lists {
class CheckableList;
struct Row;
} // namespace tw::lists

namespace tw::repair {

/// The error type whose value names are file paths, so that a row's value name cannot be found
/// at the last backslash of its key text.
inline constexpr std::string_view SharedDllsErrorType = "Shared DLLs";

/// The value name an error row names when it does not name a key: the last name of the key
/// text, or for a "Shared DLLs" row the text from one character before the first ":\" (the
/// drive letter) to the end, the whole key text when it holds no ":\".
std::string valueNameOfError(std::string_view errorType, std::string_view keyText);

/// Records and erases what one error row names, without saving anything: appends a record
/// (NAME the error type, TYPE the key text, PATH the guessed path) to the undo store, then, when
/// the key text names an existing key, records the key with its sub-tree and deletes it, and
/// otherwise records the value it names and deletes that. Throws ERegistryException when a value
/// cannot be read as the kind the registry reports, and UnrecordableEntry when a name cannot be
/// kept in the undo store; nothing is deleted then, and the record keeps what it had.
void fixError(pugi::xml_document &undoStore, std::string_view errorType, std::string_view keyText,
              std::string_view guessPath);

/// Fixes the checked rows of the error list, from the last row to the first, each by fixError,
/// and removes each fixed row; unchecked rows keep their order. The action holds the machine's
/// PrefixLock (another program at work refuses it: AnotherProgram) and first reads the undo
/// store again when another program changed it. The undo store is then saved and only after that
/// the registry written (UndoTransaction): when the undo store cannot be saved, the registry, the
/// undo store and the list are all as they were before; when the registry cannot be written, the
/// rows whose erasure did not reach the disk stay in the list and keep no record. A row whose
/// entry cannot be recorded exactly (UnrecordableEntry) is not erased and stays, and the walk
/// goes on. A registry error stops the walk at its row (that row and those above it stay, its
/// record is removed); what was done before it is kept and saved. `count` is the number of rows
/// fixed. `fixedRows`, when given, receives the fixed rows in the order they were visited.
ActionResult fixSelectedErrors(lists::CheckableList &errors, DocumentFile undoStore,
                               std::vector<lists::Row> *fixedRows = nullptr);

} // namespace tw::repair
