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

ActionResult fixSelectedErrors(lists::CheckableList &errors, DocumentFile undoStore,
                               std::vector<lists::Row> *fixedRows) {
  ActionResult result = ActionResult::ok();
  if (errors.checkedRows().empty()) return result;

  // Kept so that a fix that cannot be recorded on disk leaves the list as it found it.
  std::vector<lists::Row> rowsBefore;
  rowsBefore.reserve(static_cast<std::size_t>(errors.count()));
  for (int i = 0; i < errors.count(); ++i) rowsBefore.push_back(errors.row(i));

  UndoTransaction transaction(undoStore);
  std::vector<lists::Row> fixed;
  for (int i = errors.count() - 1; i >= 0; --i) {
    const lists::Row &row = errors.row(i);
    if (!row.checked) continue;
    try {
      fixError(undoStore.document, row.caption, row.subItem(scan::KeyNameSubItem),
               row.subItem(scan::GuessPathSubItem));
    } catch (const ERegistryException &error) {
      result.fail(ActionResult::Status::RegistryRefused, error.what());
      break;
    }
    fixed.push_back(row);
    errors.remove(i);
  }

  const ActionResult committed = transaction.commit();
  if (!committed) result.fail(committed.status, committed.message);
  if (transaction.rolledBack()) {
    errors.clear();
    errors.appendRows(std::move(rowsBefore));
    return result;
  }
  result.count = static_cast<int>(fixed.size());
  if (fixedRows) *fixedRows = std::move(fixed);
  return result;
}

} // namespace tw::repair
