#include "repair/RestoreHistory.h"

#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "registry/KeySnapshot.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tw::repair {

ActionResult refreshHistory(lists::CheckableList &history, const pugi::xml_document &undoStore) {
  ActionResult result = ActionResult::ok();
  std::vector<UndoRecord> records = listUndoRecords(undoStore);
  std::vector<lists::Row> rows;
  rows.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    UndoRecord &record = records[i];
    if (!record.complete && result)
      result.fail(ActionResult::Status::RecordDamaged,
                  "Backup.xml: record " + std::to_string(i + 1) +
                      " lacks its NAME, TYPE or PATH attribute; it is listed with empty text.");
    lists::Row row;
    row.caption = std::move(record.name);
    row.subItems = {std::move(record.type), std::move(record.path)};
    rows.push_back(std::move(row));
  }
  history.clear();
  history.appendRows(std::move(rows));
  return result;
}

/// The element children of the undo store's document element: record i is element i.
static std::vector<pugi::xml_node> recordsOf(const pugi::xml_document &undoStore) {
  std::vector<pugi::xml_node> records;
  for (pugi::xml_node child : undoStore.document_element().children())
    if (child.type() == pugi::node_element) records.push_back(child);
  return records;
}

namespace {
/// Records taken out of the undo store, kept so that they can be put back at their positions.
class TakenRecords {
public:
  void take(pugi::xml_node root, pugi::xml_node record, std::size_t index) {
    m_taken.emplace_back(index, m_copies.append_copy(record));
    root.remove_child(record);
  }

  void putBack(pugi::xml_node root) {
    std::sort(m_taken.begin(), m_taken.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<pugi::xml_node> records;
    for (pugi::xml_node child : root.children())
      if (child.type() == pugi::node_element) records.push_back(child);
    // Lowest position first, so that each record lands where it was once those before it are
    // back.
    for (const auto &[index, copy] : m_taken) {
      const std::size_t at = std::min(index, records.size());
      pugi::xml_node inserted = at < records.size() ? root.insert_copy_before(copy, records[at])
                                                    : root.append_copy(copy);
      records.insert(records.begin() + static_cast<std::ptrdiff_t>(at), inserted);
    }
    m_taken.clear();
  }

private:
  pugi::xml_document m_copies;
  std::vector<std::pair<std::size_t, pugi::xml_node>> m_taken;
};
} // namespace

/// Begins an action on the history: when another program changed the undo store, the list is
/// shown anew and the action stops, since its checked rows may stand for other records now.
static PrefixLock beginHistoryAction(lists::CheckableList &history, const DocumentFile &undoStore,
                                     ActionResult &result) {
  bool reloaded = false;
  PrefixLock lock = beginRegistryAction(undoStore, result, reloaded);
  if (!lock || !reloaded) return lock;
  refreshHistory(history, undoStore.document);
  result.fail(ActionResult::Status::UndoStoreChanged,
              "Another program changed the undo store " + undoStore.path +
                  "; the restore history now shows it as it is. Check the records again.");
  return {};
}

ActionResult restoreCheckedRecords(lists::CheckableList &history, DocumentFile undoStore,
                                   std::vector<lists::Row> *restoredRows) {
  ActionResult result = ActionResult::ok();
  const PrefixLock lock = beginHistoryAction(history, undoStore, result);
  if (!lock) return result;
  pugi::xml_node root = undoStore.document.document_element();
  const std::vector<pugi::xml_node> records = recordsOf(undoStore.document);
  TakenRecords taken;
  bool registryChanged = false;
  std::vector<lists::Row> restored;

  lists::BackwardRowRemover removal(history);
  for (int i = history.count() - 1; i >= 0; --i) {
    if (!history.row(i).checked) continue;
    const std::size_t index = static_cast<std::size_t>(i);
    // A row the document no longer has (it was changed without a refresh) has nothing to restore.
    if (index >= records.size()) continue;
    try {
      restoreRecord(records[index]);
    } catch (const RestoreError &error) {
      // Nothing of it was written; it stays for the user to see, and the others go on.
      const lists::Row &row = history.row(i);
      result.fail(ActionResult::Status::RecordDamaged,
                  "The record \"" + row.caption + "\" of " + row.subItem(0) + " (position " +
                      std::to_string(i) + ") was not restored and stays in the restore history: " +
                      error.what() + ".");
      continue;
    } catch (const ERegistryException &error) {
      // The items written before the refused one are kept and saved, as the record stays.
      registryChanged = true;
      result.fail(ActionResult::Status::RegistryRefused, error.what());
      break;
    }
    registryChanged = true;
    taken.take(root, records[index], index);
    restored.push_back(history.row(i));
    removal.remove(i);
    ++result.count;
  }
  removal.flush();

  if (registryChanged) {
    const RegistryFlushResult flushed = FlushRegistry();
    if (!flushed) {
      platform::machine().registry().discardUnflushedChanges();
      taken.putBack(root);
      result.count = 0;
      restored.clear();
      result.fail(ActionResult::Status::RegistryNotSaved,
                  "Nothing was restored, because the registry could not be saved: " +
                      flushed.description() + ".");
    } else if (result.count > 0) {
      const std::string saveProblem = saveDocumentFile(undoStore, "Backup.xml");
      if (!saveProblem.empty())
        result.fail(ActionResult::Status::UndoStoreNotSaved,
                    "The records were restored, but the undo store could not be saved: " +
                        saveProblem + "; Backup.xml still lists them.");
    }
  }

  const ActionResult refreshed = refreshHistory(history, undoStore.document);
  if (!refreshed) result.fail(refreshed.status, refreshed.message);
  if (restoredRows) *restoredRows = std::move(restored);
  return result;
}

ActionResult clearHistory(lists::CheckableList &history, DocumentFile undoStore) {
  ActionResult result = ActionResult::ok();
  const PrefixLock lock = beginHistoryAction(history, undoStore, result);
  if (!lock) return result;
  pugi::xml_document before;
  before.reset(undoStore.document);
  const std::size_t count = listUndoRecords(undoStore.document).size();

  clearUndoRecords(undoStore.document);
  history.clear();
  const std::string saveProblem = saveDocumentFile(undoStore, "Backup.xml");
  if (saveProblem.empty()) {
    result.count = static_cast<int>(count);
    return result;
  }
  undoStore.document.reset(before);
  refreshHistory(history, undoStore.document);
  result.fail(ActionResult::Status::UndoStoreNotSaved,
              "The restore history was not cleared, because the undo store could not be saved: " +
                  saveProblem + ".");
  return result;
}

std::string toggleHistoryChecks(lists::CheckableList &history, std::string_view caption) {
  if (history.isEmpty()) return std::string(caption);
  if (caption == CheckAllHistoryCaption) {
    history.setAllChecked(true);
    return std::string(UncheckAllHistoryCaption);
  }
  history.setAllChecked(false);
  return std::string(CheckAllHistoryCaption);
}

} // namespace tw::repair
