#pragma once
// One action that erases registry entries after recording them in the undo store (fixing the
// checked errors, removing add-ons).
//
// The action records and deletes entry by entry, exactly as it would without this class; the
// deletions stay in the registry's memory, because registry objects write lazily. commit() then
// saves the undo store first and writes the registry's files only after that, so that Backup.xml
// holds the record of every erased entry before the erasure reaches the disk: a crash at any
// moment loses nothing that cannot be restored.

#include "repair/ActionResult.h"

#include <cstddef>

namespace tw::repair {

class UndoTransaction {
public:
  /// Begins an action that appends its records to `undoStore`.
  explicit UndoTransaction(DocumentFile undoStore);
  UndoTransaction(const UndoTransaction &) = delete;
  UndoTransaction &operator=(const UndoTransaction &) = delete;

  /// Records appended to the undo store since the action began.
  std::size_t recordsAdded() const;

  /// Ends the action. Nothing is written when no record was added. Otherwise the undo store is
  /// saved, then the registry's changes are written to its files. When the undo store cannot be
  /// saved, every registry change not yet written is taken back, the records this action added
  /// are removed again, and the result (UndoStoreNotSaved) says that nothing was erased. When
  /// the registry cannot be written, the records stay, saved, and the result
  /// (RegistryNotSaved) says so.
  ActionResult commit();

  /// True when the last commit() took the action back.
  bool rolledBack() const { return m_rolledBack; }

private:
  DocumentFile m_undoStore;
  std::size_t m_recordsAtStart;
  bool m_rolledBack = false;

  void removeAddedRecords();
};

/// Number of records (element children of the document element) in an undo store.
std::size_t undoRecordCount(const pugi::xml_document &undoStore);

} // namespace tw::repair
