#include "repair/Fixing.h"

#include "repair/UndoTransaction.h"

#include "lists/CheckableList.h"
#include "registry/KeySnapshot.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"
#include "scan/ScanLists.h"

namespace tw::repair {

std::string valueNameOfError(std::string_view errorType, std::string_view keyText) {
  if (errorType != SharedDllsErrorType) return LastNameOfKeyText(keyText);
  const std::size_t driveColon = keyText.find(":\\");
  if (driveColon == std::string_view::npos) return std::string(keyText);
  // A colon at the very start has no drive letter before it; the text then starts at the colon.
  return std::string(keyText.substr(driveColon == 0 ? 0 : driveColon - 1));
}

void fixError(pugi::xml_document &undoStore, std::string_view errorType, std::string_view keyText,
              std::string_view guessPath) {
  pugi::xml_node record = appendUndoRecord(
      undoStore, {std::string(errorType), std::string(keyText), std::string(guessPath)});
  const RootKey root = RootOfKeyText(keyText);
  const std::string keyPath = KeyPathOfKeyText(keyText);
  const std::string lastName = LastNameOfKeyText(keyText);

  const std::string fullKeyPath = keyPath + "\\" + lastName;
  if (RegKeyExists(root, fullKeyPath)) {
    SnapshotToElement(record, root, fullKeyPath, {});
    DeleteRegKey(root, keyPath, lastName);
    return;
  }

  // The value name may itself hold backslashes, so the key is what is left in front of it.
  const std::string valueName = valueNameOfError(errorType, keyText);
  const std::string valueKeyPath =
      KeyPathOfKeyText(keyText.substr(0, keyText.size() - valueName.size()));
  SnapshotToElement(record, root, valueKeyPath, valueName);
  DeleteRegValue(root, valueKeyPath, valueName);
}

/// Takes the last record out of the undo store: the record of a row that was not erased.
static void removeLastRecord(pugi::xml_document &undoStore) {
  pugi::xml_node root = undoStore.document_element();
  for (pugi::xml_node child = root.last_child(); child; child = child.previous_sibling()) {
    if (child.type() != pugi::node_element) continue;
    root.remove_child(child);
    return;
  }
}

ActionResult fixSelectedErrors(lists::CheckableList &errors, DocumentFile undoStore,
                               std::vector<lists::Row> *fixedRows) {
  ActionResult result = ActionResult::ok();
  if (errors.checkedRows().empty()) return result;
  bool reloaded = false;
  const PrefixLock lock = beginRegistryAction(undoStore, result, reloaded);
  if (!lock) return result;

  // Kept so that rows whose erasure does not reach the disk can be listed again where they were.
  std::vector<lists::Row> rowsBefore;
  rowsBefore.reserve(static_cast<std::size_t>(errors.count()));
  for (int i = 0; i < errors.count(); ++i) rowsBefore.push_back(errors.row(i));

  UndoTransaction transaction(undoStore);
  // Positions (in rowsBefore) of the rows erased, in the order visited: record k of the
  // transaction belongs to the k-th of them.
  std::vector<int> erased;
  lists::BackwardRowRemover removal(errors);
  for (int i = errors.count() - 1; i >= 0; --i) {
    const lists::Row &row = errors.row(i);
    if (!row.checked) continue;
    const std::string keyText = row.subItem(scan::KeyNameSubItem);
    try {
      fixError(undoStore.document, row.caption, keyText, row.subItem(scan::GuessPathSubItem));
    } catch (const UnrecordableEntry &error) {
      // Nothing of it was erased, and its record could not give it back: the row stays.
      removeLastRecord(undoStore.document);
      result.fail(ActionResult::Status::NotRecordable,
                  row.caption + " " + visibleName(keyText) + " was not removed: " + error.what() + ".");
      continue;
    } catch (const ERegistryException &error) {
      removeLastRecord(undoStore.document);
      result.fail(ActionResult::Status::RegistryRefused, error.what());
      break;
    }
    erased.push_back(i);
    removal.remove(i);
  }
  removal.flush();

  const ActionResult committed = transaction.commit();
  if (!committed) result.fail(committed.status, committed.message);
  std::vector<bool> undone(erased.size(), false);
  for (std::size_t k : transaction.takenBack()) undone[k] = true;
  std::vector<bool> stays(rowsBefore.size(), true);
  std::vector<lists::Row> fixed;
  for (std::size_t k = 0; k < erased.size(); ++k) {
    if (undone[k]) continue;
    stays[static_cast<std::size_t>(erased[k])] = false;
    fixed.push_back(rowsBefore[static_cast<std::size_t>(erased[k])]);
  }
  if (!transaction.takenBack().empty()) {
    std::vector<lists::Row> remaining;
    for (std::size_t i = 0; i < rowsBefore.size(); ++i)
      if (stays[i]) remaining.push_back(std::move(rowsBefore[i]));
    errors.clear();
    errors.appendRows(std::move(remaining));
  }
  result.count = static_cast<int>(fixed.size());
  if (fixedRows) *fixedRows = std::move(fixed);
  return result;
}

} // namespace tw::repair
