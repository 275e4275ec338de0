#include "scan/ScanLists.h"

#include "scan/ScanGroups.h"

namespace tw::scan {

void rebuildScanGroupList(lists::CheckableList &groups) {
  groups.clear();
  std::vector<lists::Row> rows;
  rows.reserve(ScanGroups.size());
  for (const ScanGroup &group : ScanGroups)
    rows.push_back({std::string(group.caption), {"0"}, /*checked=*/true, ScanGroupImage});
  groups.appendRows(std::move(rows));
}

void resetScanGroupCounts(lists::CheckableList &groups) {
  for (int i = 0; i < groups.count(); ++i) groups.setSubItem(i, GroupCountSubItem, "0");
}

lists::Row makeErrorListRow(ErrorRow row) {
  return {std::move(row.errorType),
          {std::move(row.keyName), std::move(row.keyValue), std::move(row.guessPath)},
          /*checked=*/true,
          ErrorRowImage};
}

ErrorRow errorRowOf(const lists::Row &row) {
  return {row.caption, row.subItem(KeyNameSubItem), row.subItem(KeyValueSubItem),
          row.subItem(GuessPathSubItem)};
}

} // namespace tw::scan
