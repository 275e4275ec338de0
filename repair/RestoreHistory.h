#pragma once
// The restore history page: one row per record of the undo store (row i shows record i), and
// the actions that write checked records back, forget every record, and check or uncheck all.

#include "repair/ActionResult.h"

#include <string>
#include <string_view>

namespace tw::lists {
class CheckableList;
}

namespace tw::repair {

/// The two captions of the history page's check-all toggle.
inline constexpr std::string_view CheckAllHistoryCaption = "Ch&eck All";
inline constexpr std::string_view UncheckAllHistoryCaption = "Unch&eck All";

/// Lists every record of the undo store anew, in document order, unchecked: caption NAME,
/// sub-items TYPE and PATH. A record lacking one of these attributes is listed with empty text
/// in its place, so that it can still be restored or cleared, and the result (RecordDamaged)
/// names the first such record.
ActionResult refreshHistory(lists::CheckableList &history, const pugi::xml_document &undoStore);

/// Writes the checked records back into the registry, from the last row to the first, each
/// record's items in the order they were recorded, and removes each restored record and row;
/// then lists the records anew. The registry's files are written before the undo store, so a
/// crash in between leaves records of entries already restored (restoring them again is
/// harmless) rather than entries lost. A record that fails (a malformed item, a refused write)
/// stops the restore there and stays; what was written before it stays written. When the
/// registry cannot be written, its unwritten changes are taken back and the restored records
/// return. `count` is the number of records restored.
ActionResult restoreCheckedRecords(lists::CheckableList &history, DocumentFile undoStore);

/// Removes every record from the undo store and every row from the list, and saves the undo
/// store; when it cannot be saved, the records come back and the list shows them again.
/// `count` is the number of records removed.
ActionResult clearHistory(lists::CheckableList &history, DocumentFile undoStore);

/// The check-all toggle: with rows in the list, the caption "Ch&eck All" checks every row and
/// any other caption unchecks every row. Returns the new caption; an empty list keeps the
/// caption and the rows as they are.
std::string toggleHistoryChecks(lists::CheckableList &history, std::string_view caption);

} // namespace tw::repair
