#include "repair/UndoTransaction.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "registry/KeySnapshot.h"
#include "registry/RegistryAccess.h"

#include <vector>

namespace tw::repair {

std::size_t undoRecordCount(const pugi::xml_document &undoStore) {
  std::size_t count = 0;
  for (pugi::xml_node child : undoStore.document_element().children())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

UndoTransaction::UndoTransaction(DocumentFile undoStore)
    : m_undoStore(undoStore), m_lock(PrefixLock::take()), m_recordsAtStart(undoRecordCount(undoStore.document)) {}

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
  platform::machine().registry().discardUnflushedChanges();
  removeAddedRecords();
  m_rolledBack = true;
  for (std::size_t i = 0; i < added; ++i) m_takenBack.push_back(i);
  ActionResult result = ActionResult::ok();
  result.fail(status, message);
  return result;
}

ActionResult UndoTransaction::commit() {
  ActionResult result = ActionResult::ok();
  m_rolledBack = false;
  m_takenBack.clear();
  const std::size_t added = recordsAdded();
  if (added == 0) return result;

  // Another program may be saving the undo store or the registry right now.
  if (!m_lock)
    return rollBack(ActionResult::Status::AnotherProgram,
                    "Nothing was removed from the registry. " + m_lock.description());
  // Without its record on disk no erasure may reach the registry's files.
  const std::string saveProblem = saveDocumentFile(m_undoStore, "Backup.xml");
  if (!saveProblem.empty())
    return rollBack(ActionResult::Status::UndoStoreNotSaved,
                    "Nothing was removed from the registry, because the undo store could not be "
                    "saved: " + saveProblem + ".");

  const RegistryFlushResult flushed = FlushRegistry();
  if (flushed) return result;
  // What did not reach the disk is taken back, so that the registry in memory is what the files
  // hold again; a record whose entry is therefore still there stands for nothing erased.
  platform::machine().registry().discardUnflushedChanges();
  const std::vector<pugi::xml_node> records = addedRecords();
  pugi::xml_node root = m_undoStore.document.document_element();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!isRecordedEntryPresent(records[i])) continue;
    root.remove_child(records[i]);
    m_takenBack.push_back(i);
  }
  std::string text = "The registry could not be saved: " + flushed.description() + ".";
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
