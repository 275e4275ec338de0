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

#include "registry/PrefixLock.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tw::repair {

class UndoTransaction {
public:
  /// Begins an action that appends its records to `undoStore`, holding the machine's PrefixLock
  /// until the transaction ends (an action that took it already shares its hold). Callers that
  /// want to refuse before changing anything call beginRegistryAction first.
  explicit UndoTransaction(DocumentFile undoStore);
  UndoTransaction(const UndoTransaction &) = delete;
  UndoTransaction &operator=(const UndoTransaction &) = delete;

  /// Records appended to the undo store since the action began.
  std::size_t recordsAdded() const;

  /// Ends the action. Nothing is written when no record was added. Otherwise the undo store is
  /// saved, then the registry's changes are written to its files. When the undo store cannot be
  /// saved, every registry change not yet written is taken back, the records this action added
  /// are removed again, and the result (UndoStoreNotSaved) says that nothing was erased. When
  /// the registry cannot be written, every change that did not reach its file is taken back,
  /// the records of the entries that are therefore still there are removed from the undo store
  /// (which is saved again), and the result (RegistryNotSaved) names the file and the cause.
  /// Without the PrefixLock (another program was at work when the transaction began) nothing is
  /// saved, everything is taken back as when the undo store cannot be saved, and the result is
  /// AnotherProgram.
  ActionResult commit();

  /// True when the last commit() took the action back.
  bool rolledBack() const { return m_rolledBack; }
  /// The records the last commit() took out again because their erasure never reached the
  /// disk, by position among the records this action added (0 = the first it added), ascending.
  /// Every added record when rolledBack().
  const std::vector<std::size_t> &takenBack() const { return m_takenBack; }

private:
  DocumentFile m_undoStore;
  PrefixLock m_lock;
  std::size_t m_recordsAtStart;
  bool m_rolledBack = false;
  std::vector<std::size_t> m_takenBack;

  void removeAddedRecords();
  /// Takes the whole action back: registry changes and added records.
  ActionResult rollBack(ActionResult::Status status, const std::string &message);
  std::vector<pugi::xml_node> addedRecords() const;
};

/// Number of records (element children of the document element) in an undo store.
std::size_t undoRecordCount(const pugi::xml_document &undoStore);

} // namespace tw::repair
