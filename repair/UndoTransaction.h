#pragma once
// One action that erases registry entries after recording them in the undo store (fixing the
// checked errors, removing add-ons).
//
// The action records and deletes entry by entry, exactly as it would without this class, on the
// calling thread. While the transaction is open, the machine of that thread is the outer one with
// a RegistryOverlay as its registry: the action's deletions are held there, and its own later
// reads see them, but the registry itself is not touched. commit() saves the undo store first
// and only then replays the deletions on the registry and writes its files, so that Backup.xml
// holds the record of every erased entry before the erasure can reach the disk, also on a
// registry that writes every change through at once: a crash at any moment loses nothing that
// cannot be restored.

#include "repair/ActionResult.h"

#include "platform/Machine.h"
#include "registry/PrefixLock.h"
#include "registry/RegistryOverlay.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::repair {

class UndoTransaction {
public:
  /// Begins an action that appends its records to `undoStore`, holding the machine's PrefixLock
  /// until the transaction ends (an action that took it already shares its hold). Callers that
  /// want to refuse before changing anything call beginRegistryAction first. Until commit(), the
  /// registry changes made on this thread are held above the registry; a transaction that ends
  /// without commit() drops them, so nothing is erased.
  explicit UndoTransaction(DocumentFile undoStore);
  ~UndoTransaction();
  UndoTransaction(const UndoTransaction &) = delete;
  UndoTransaction &operator=(const UndoTransaction &) = delete;

  /// Records appended to the undo store since the action began.
  std::size_t recordsAdded() const;

  /// Ends the action. Nothing is written when no record was added (and no change is made).
  /// Otherwise the undo store is saved, then the held changes are made in the registry and
  /// written to its files. When the undo store cannot be saved, the registry is not touched,
  /// the records this action added are removed again, and the result (UndoStoreNotSaved) says
  /// that nothing was erased. When the registry refuses a change or cannot be written, every
  /// change that did not reach its file is taken back where the registry keeps changes in
  /// memory, the records of entries of which nothing was erased are removed from the undo store
  /// (which is saved again), and the result (RegistryNotSaved) names the file or the entry and
  /// the cause.
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
  platform::Machine &m_machine;
  std::unique_ptr<RegistryOverlay> m_overlay;
  std::unique_ptr<OverlayMachine> m_overlayMachine;
  /// Open from the start until commit(); ends first when the transaction is destroyed.
  std::optional<platform::MachineScope> m_scope;

  void removeAddedRecords();
  /// Which added records, by position, keep no erasure after a commit that did not make every
  /// change: `outcomes` of the replayed changes; `nothingReached` when the registry took back
  /// every change it had not written.
  std::vector<std::size_t> recordsWithNothingErased(const RegistryOverlay::ApplyResult &outcomes,
                                                    bool nothingReached) const;
  /// Takes the whole action back: registry changes and added records.
  ActionResult rollBack(ActionResult::Status status, const std::string &message);
  std::vector<pugi::xml_node> addedRecords() const;
};

/// Number of records (element children of the document element) in an undo store.
std::size_t undoRecordCount(const pugi::xml_document &undoStore);

} // namespace tw::repair
