#pragma once
// The two lists of the scan page as toolkit-free models: the group list (twelve checkable rows,
// caption and "Errors" count) and the error list (sorted by error type, one row per ErrorRow).

#include "lists/CheckableList.h"
#include "scan/ScanSession.h"

namespace tw::scan {

/// Column of the group list's count ("Errors"), as a sub-item index.
inline constexpr std::size_t GroupCountSubItem = 0;
/// Columns of the error list after the "Error Type" caption, as sub-item indexes.
inline constexpr std::size_t KeyNameSubItem = 0;
inline constexpr std::size_t KeyValueSubItem = 1;
inline constexpr std::size_t GuessPathSubItem = 2;

/// Empties `groups` and appends the twelve group rows in order, each checked, with count "0" and
/// the group picture. The error list is not touched.
void rebuildScanGroupList(lists::CheckableList &groups);

/// Sets the count of every group row, checked or not, to "0" (at the start of every scan).
void resetScanGroupCounts(lists::CheckableList &groups);

/// The error-list row that shows `row`: caption the error type, sub-items key name, key value and
/// guess path, the error picture, checked.
lists::Row makeErrorListRow(ErrorRow row);

/// The ErrorRow an error-list row shows.
ErrorRow errorRowOf(const lists::Row &row);

} // namespace tw::scan
