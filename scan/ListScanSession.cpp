#include "scan/ListScanSession.h"

#include "lists/CheckableList.h"
#include "scan/IgnoreIndex.h"
#include "scan/ScanLists.h"

namespace tw::scan {

ListScanSession::ListScanSession(lists::CheckableList &groups, lists::CheckableList &errors)
    : m_groups(groups), m_errors(errors) {}

void ListScanSession::setIgnoreList(std::shared_ptr<const IgnoreIndex> ignoreList) {
  m_ignoreList = std::move(ignoreList);
}

void ListScanSession::setStatusListener(std::function<void(const std::string &)> listener) {
  m_statusListener = std::move(listener);
}

bool ListScanSession::stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

bool ListScanSession::isGroupChecked(int groupIndex) const {
  return groupIndex >= 0 && groupIndex < m_groups.count() && m_groups.row(groupIndex).checked;
}

void ListScanSession::showStatus(const std::string &text) {
  m_status = text;
  if (m_statusListener) m_statusListener(m_status);
}

void ListScanSession::setGroupErrorCount(int groupIndex, const std::string &text) {
  if (groupIndex < 0 || groupIndex >= m_groups.count()) return;
  m_groups.setSubItem(groupIndex, GroupCountSubItem, text);
}

void ListScanSession::appendErrorRow(ErrorRow row) { m_errors.append(makeErrorListRow(std::move(row))); }

std::shared_ptr<const IgnoreIndex> ListScanSession::ignoreList() const { return m_ignoreList; }

} // namespace tw::scan
