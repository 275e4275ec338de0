#include "repair/UndoTransaction.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"
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
    : m_undoStore(undoStore), m_recordsAtStart(undoRecordCount(undoStore.document)) {}

std::size_t UndoTransaction::recordsAdded() const {
  const std::size_t now = undoRecordCount(m_undoStore.document);
  return now > m_recordsAtStart ? now - m_recordsAtStart : 0;
}

// The action only appends, so its records are the last element children.
void UndoTransaction::removeAddedRecords() {
  std::size_t excess = recordsAdded();
  pugi::xml_node root = m_undoStore.document.document_element();
  std::vector<pugi::xml_node> added;
  for (pugi::xml_node child = root.last_child(); child && excess > 0; child = child.previous_sibling()) {
    if (child.type() != pugi::node_element) continue;
    added.push_back(child);
    --excess;
  }
  for (pugi::xml_node record : added) root.remove_child(record);
}

ActionResult UndoTransaction::commit() {
  ActionResult result = ActionResult::ok();
  m_rolledBack = false;
  if (recordsAdded() == 0) return result;

  const std::string saveProblem = saveDocumentFile(m_undoStore, "Backup.xml");
  if (!saveProblem.empty()) {
    // Without its record on disk no erasure may reach the registry's files.
    platform::machine().registry().discardUnflushedChanges();
    removeAddedRecords();
    m_rolledBack = true;
    result.fail(ActionResult::Status::UndoStoreNotSaved,
                "Nothing was removed from the registry, because the undo store could not be "
                "saved: " + saveProblem + ".");
    return result;
  }

  const RegistryFlushResult flushed = FlushRegistry();
  if (!flushed)
    result.fail(ActionResult::Status::RegistryNotSaved,
                "The registry could not be saved: " + flushed.description() +
                    ". The restore history keeps the records of the removed entries.");
  return result;
}

} // namespace tw::repair
