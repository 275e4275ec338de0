#include "repair/UndoTransaction.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "registry/KeySnapshot.h"
#include "registry/RegistryAccess.h"

#include <map>
#include <utility>
#include <vector>

namespace tw::repair {

std::size_t undoRecordCount(const pugi::xml_document &undoStore) {
  std::size_t count = 0;
  for (pugi::xml_node child : undoStore.document_element().children())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

/// The record being written: the last element of the undo store.
static std::uintptr_t lastRecordOf(const pugi::xml_document &undoStore) {
  pugi::xml_node last = undoStore.document_element().last_child();
  while (last && last.type() != pugi::node_element) last = last.previous_sibling();
  return reinterpret_cast<std::uintptr_t>(last.internal_object());
}

UndoTransaction::UndoTransaction(DocumentFile undoStore)
    : m_undoStore(undoStore), m_lock(PrefixLock::take()), m_recordsAtStart(undoRecordCount(undoStore.document)),
      m_machine(platform::machine()), m_overlay(std::make_unique<RegistryOverlay>(m_machine.registry())),
      m_overlayMachine(std::make_unique<OverlayMachine>(m_machine, *m_overlay)) {
  const pugi::xml_document &document = m_undoStore.document;
  m_overlay->setTagger([&document] { return lastRecordOf(document); });
  m_scope.emplace(*m_overlayMachine);
}

UndoTransaction::~UndoTransaction() { m_scope.reset(); }

std::size_t UndoTransaction::recordsAdded() const {
  const std::size_t now = undoRecordCount(m_undoStore.document);
  return now > m_recordsAtStart ? now - m_recordsAtStart : 0;
}

// The action only appends, so its records are the last element children.
std::vector<pugi::xml_node> UndoTransaction::addedRecords() const {
  std::size_t excess = recordsAdded();
  std::vector<pugi::xml_node> added(excess);
  pugi::xml_node root = m_undoStore.document.document_element();
  for (pugi::xml_node child = root.last_child(); child && excess > 0; child = child.previous_sibling()) {
    if (child.type() != pugi::node_element) continue;
    added[--excess] = child;
  }
  return added;
}

void UndoTransaction::removeAddedRecords() {
  pugi::xml_node root = m_undoStore.document.document_element();
  for (pugi::xml_node record : addedRecords()) root.remove_child(record);
}

ActionResult UndoTransaction::rollBack(ActionResult::Status status, const std::string &message) {
  const std::size_t added = recordsAdded();
  m_overlay->discardUnflushedChanges();
  m_scope.reset();
  removeAddedRecords();
  m_rolledBack = true;
  for (std::size_t i = 0; i < added; ++i) m_takenBack.push_back(i);
  ActionResult result = ActionResult::ok();
  result.fail(status, message);
  return result;
}

std::vector<std::size_t> UndoTransaction::recordsWithNothingErased(const RegistryOverlay::ApplyResult &outcomes,
                                                                  bool nothingReached) const {
  const std::vector<pugi::xml_node> records = addedRecords();
  std::vector<std::size_t> positions;
  if (nothingReached) {
    // The registry is what its files held before the action: a record whose entry is there
    // stands for nothing erased.
    for (std::size_t i = 0; i < records.size(); ++i)
      if (isRecordedEntryPresent(records[i])) positions.push_back(i);
    return positions;
  }
  // Some changes reached the registry: a record goes only when none of its own changes was made
  // and every entry it holds is still there.
  std::map<std::uintptr_t, bool> madeByRecord;
  for (const RegistryOverlay::ChangeOutcome &change : outcomes.changes) madeByRecord[change.tag] |= change.applied;
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto made = madeByRecord.find(reinterpret_cast<std::uintptr_t>(records[i].internal_object()));
    if (made != madeByRecord.end() && made->second) continue;
    if (areRecordedEntriesAllPresent(records[i])) positions.push_back(i);
  }
  return positions;
}

ActionResult UndoTransaction::commit() {
  ActionResult result = ActionResult::ok();
  m_rolledBack = false;
  m_takenBack.clear();
  const std::size_t added = recordsAdded();
  if (added == 0) {
    // Nothing is erased without its record.
    m_overlay->discardUnflushedChanges();
    m_scope.reset();
    return result;
  }

  // Another program may be saving the undo store or the registry right now.
  if (!m_lock)
    return rollBack(ActionResult::Status::AnotherProgram,
                    "Nothing was removed from the registry. " + m_lock.description());
  // Without its record on disk no erasure may reach the registry.
  const std::string saveProblem = saveDocumentFile(m_undoStore, "Backup.xml");
  if (!saveProblem.empty())
    return rollBack(ActionResult::Status::UndoStoreNotSaved,
                    "Nothing was removed from the registry, because the undo store could not be "
                    "saved: " + saveProblem + ".");

  // Every record is on disk: the held changes go to the registry, then to its files.
  m_scope.reset();
  const RegistryOverlay::ApplyResult applied = m_overlay->apply();
  const RegistryFlushResult flushed = FlushRegistry();
  if (applied.allApplied() && flushed) return result;
  // What did not reach the disk is taken back where the registry keeps changes in memory, so
  // that the registry is what the files hold again; a record of which nothing was erased stands
  // for nothing and goes.
  const bool nothingReached =
      !flushed && m_machine.registry().discardUnflushedChanges() == platform::error::Success;
  m_takenBack = recordsWithNothingErased(applied, nothingReached);
  const std::vector<pugi::xml_node> records = addedRecords();
  pugi::xml_node root = m_undoStore.document.document_element();
  for (std::size_t i : m_takenBack) root.remove_child(records[i]);
  std::string text = flushed ? "The registry could not be changed: " + applied.problem + "."
                             : "The registry could not be saved: " + flushed.description() + ".";
  if (m_takenBack.size() == records.size())
    text += " Nothing was removed from the registry.";
  else if (!m_takenBack.empty())
    text += " " + std::to_string(m_takenBack.size()) + " of the " + std::to_string(records.size()) +
            " entries were not removed from the registry.";
  if (!m_takenBack.empty()) {
    const std::string resaveProblem = saveDocumentFile(m_undoStore, "Backup.xml");
    if (resaveProblem.empty())
      text += " The undo store keeps no record of what was not removed.";
    else
      text += " The undo store could not be saved again (" + resaveProblem +
              ") and still lists records of entries that are in the registry; restoring them writes "
              "the same values back.";
  }
  result.fail(ActionResult::Status::RegistryNotSaved, text);
  return result;
}

} // namespace tw::repair
