#pragma once
// The restore history page: one row per record of the undo store (row i shows record i), and
// the actions that write checked records back, forget every record, and check or uncheck all.

#include "repair/ActionResult.h"

#include <string>
#include <string_view>
#include <vector>

namespace tw::lists {
class CheckableList;
struct Row;
} // namespace tw::lists

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
/// harmless) rather than entries lost. A record that cannot be written back exactly (a malformed
/// item, an unknown root or type, no item at all: RecordDamaged) is not written at all and stays,
/// the result naming it and why, and the others go on. A write the registry refuses stops the
/// restore there; that record stays, and what was written before it stays written. When the
/// registry cannot be written, its unwritten changes are taken back and the restored records
/// return. The action holds the machine's PrefixLock; when another program changed the undo
/// store, it is read again, listed anew, and nothing is restored (UndoStoreChanged). `count` is
/// the number of records restored. `restoredRows`, when given, receives the rows of the records
/// restored, in the order they were visited (from the last row up).
ActionResult restoreCheckedRecords(lists::CheckableList &history, DocumentFile undoStore,
                                   std::vector<lists::Row> *restoredRows = nullptr);

/// Removes every record from the undo store and every row from the list, and saves the undo
/// store; when it cannot be saved, the records come back and the list shows them again. Holds
/// the PrefixLock and stops as restoreCheckedRecords does when another program changed the store.
/// `count` is the number of records removed.
ActionResult clearHistory(lists::CheckableList &history, DocumentFile undoStore);

/// The check-all toggle: with rows in the list, the caption "Ch&eck All" checks every row and
/// any other caption unchecks every row. Returns the new caption; an empty list keeps the
/// caption and the rows as they are.
std::string toggleHistoryChecks(lists::CheckableList &history, std::string_view caption);

} // namespace tw::repair
