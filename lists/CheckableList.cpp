#include "lists/CheckableList.h"

#include "platform/TextCompare.h"

#include <algorithm>
#include <cassert>

namespace tw::lists {

const std::string &Row::subItem(std::size_t i) const {
  static const std::string empty;
  return i < subItems.size() ? subItems[i] : empty;
}

const Row &CheckableList::row(int index) const {
  assert(index >= 0 && index < count() && "row index out of range");
  return *m_rows[static_cast<std::size_t>(index)];
}

// After the last row whose caption sorts before or equal to `caption`, so that rows with equal
// captions keep their adding order.
int CheckableList::insertPositionFor(const std::string &caption) const {
  if (!m_sorted) return count();
  auto it = std::upper_bound(m_rows.begin(), m_rows.end(), caption,
                             [](const std::string &c, const std::unique_ptr<Row> &r) {
                               return platform::compareLocaleText(c, r->caption) < 0;
                             });
  return static_cast<int>(it - m_rows.begin());
}

int CheckableList::append(Row row) {
  int at = insertPositionFor(row.caption);
  if (m_observer) m_observer->rowsAboutToBeInserted(at, at);
  m_rows.insert(m_rows.begin() + at, std::make_unique<Row>(std::move(row)));
  if (m_observer) m_observer->rowsInserted();
  return at;
}

void CheckableList::appendRows(std::vector<Row> rows) {
  if (rows.empty()) return;
  if (m_sorted) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
      return platform::compareLocaleText(a.caption, b.caption) < 0;
    });
  }
  std::size_t runStart = 0;
  while (runStart < rows.size()) {
    std::size_t runEnd = runStart + 1;
    if (m_sorted) {
      while (runEnd < rows.size() &&
             platform::compareLocaleText(rows[runEnd].caption, rows[runStart].caption) == 0)
        ++runEnd;
    } else {
      runEnd = rows.size();
    }
    int at = insertPositionFor(rows[runStart].caption);
    int n = static_cast<int>(runEnd - runStart);
    if (m_observer) m_observer->rowsAboutToBeInserted(at, at + n - 1);
    std::vector<std::unique_ptr<Row>> run;
    run.reserve(static_cast<std::size_t>(n));
    for (std::size_t i = runStart; i < runEnd; ++i) run.push_back(std::make_unique<Row>(std::move(rows[i])));
    m_rows.insert(m_rows.begin() + at, std::make_move_iterator(run.begin()),
                  std::make_move_iterator(run.end()));
    if (m_observer) m_observer->rowsInserted();
    runStart = runEnd;
  }
}

void CheckableList::remove(int index) {
  assert(index >= 0 && index < count() && "row index out of range");
  if (m_observer) m_observer->rowsAboutToBeRemoved(index, index);
  m_rows.erase(m_rows.begin() + index);
  if (m_observer) m_observer->rowsRemoved();
}

void CheckableList::removeRange(int first, int last) {
  assert(first >= 0 && first <= last && last < count() && "row range out of range");
  if (m_observer) m_observer->rowsAboutToBeRemoved(first, last);
  m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
  if (m_observer) m_observer->rowsRemoved();
}

void BackwardRowRemover::remove(int index) {
  assert(index >= 0 && (m_first < 0 || index < m_first) && "rows are removed from the last to the first");
  if (m_first >= 0 && (index + 1 != m_first || m_last - m_first + 1 >= m_runLimit)) flush();
  if (m_first < 0) m_last = index;
  m_first = index;
}

void BackwardRowRemover::flush() {
  if (m_first < 0) return;
  m_list.removeRange(m_first, m_last);
  m_first = m_last = -1;
}

void CheckableList::clear() {
  if (m_observer) m_observer->aboutToReset();
  m_rows.clear();
  if (m_observer) m_observer->reset();
}

CheckableList CheckableList::copy() const {
  CheckableList result(m_sorted);
  result.m_rows.reserve(m_rows.size());
  for (const auto &r : m_rows) result.m_rows.push_back(std::make_unique<Row>(*r));
  return result;
}

void CheckableList::swapRows(CheckableList &other) {
  assert(m_sorted == other.m_sorted && "rows move only between lists of one kind");
  if (m_observer) m_observer->aboutToReset();
  if (other.m_observer) other.m_observer->aboutToReset();
  m_rows.swap(other.m_rows);
  if (other.m_observer) other.m_observer->reset();
  if (m_observer) m_observer->reset();
}

std::vector<Row> CheckableList::takeRows() {
  if (m_observer) m_observer->aboutToReset();
  std::vector<Row> rows;
  rows.reserve(m_rows.size());
  for (auto &r : m_rows) rows.push_back(std::move(*r));
  m_rows.clear();
  if (m_observer) m_observer->reset();
  return rows;
}

void CheckableList::setChecked(int index, bool checked) {
  assert(index >= 0 && index < count() && "row index out of range");
  m_rows[static_cast<std::size_t>(index)]->checked = checked;
  if (m_observer) m_observer->rowsChanged(index, index);
}

void CheckableList::setAllChecked(bool checked) {
  for (auto &r : m_rows) r->checked = checked;
  if (m_observer && !m_rows.empty()) m_observer->rowsChanged(0, count() - 1);
}

void CheckableList::setCaption(int index, std::string caption) {
  assert(index >= 0 && index < count() && "row index out of range");
  // The caption is the sort key; a sorted list places the row anew.
  if (m_sorted) {
    Row moved = *m_rows[static_cast<std::size_t>(index)];
    moved.caption = std::move(caption);
    remove(index);
    append(std::move(moved));
    return;
  }
  m_rows[static_cast<std::size_t>(index)]->caption = std::move(caption);
  if (m_observer) m_observer->rowsChanged(index, index);
}

void CheckableList::setSubItem(int index, std::size_t subItem, std::string text) {
  assert(index >= 0 && index < count() && "row index out of range");
  auto &items = m_rows[static_cast<std::size_t>(index)]->subItems;
  if (items.size() <= subItem) items.resize(subItem + 1);
  items[subItem] = std::move(text);
  if (m_observer) m_observer->rowsChanged(index, index);
}

std::vector<int> CheckableList::checkedRows() const {
  std::vector<int> result;
  for (int i = 0; i < count(); ++i)
    if (m_rows[static_cast<std::size_t>(i)]->checked) result.push_back(i);
  return result;
}

} // namespace tw::lists
