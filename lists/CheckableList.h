#pragma once
// One list of the window as the program sees it: rows with a caption, sub-item texts, a check
// mark, a picture index and data of their own. Every list of the window (errors, scan groups,
// history, ignore list, startup items, uninstall entries, traces, add-ons, restore points) is
// one of these; the window shows it through one Qt adapter, and the routines that fill and act
// on the lists work on it directly, so they run the same without a window.
//
// A sorted list keeps its rows in ascending order of caption (platform::compareLocaleText); rows
// with equal captions keep the order they were added in. An unsorted list keeps adding order.
//
// Not thread-safe: the list belongs to the UI thread (a worker hands its rows over through the
// dispatcher).

#include <memory>
#include <string>
#include <vector>

namespace tw::lists {

struct Row {
  std::string caption;
  std::vector<std::string> subItems;
  bool checked = false;
  int imageIndex = -1;
  /// What the program keeps with the row beyond what it shows (the key an uninstall entry is
  /// stored in, the record a disabled startup item came from, a key's exact name, the folder a
  /// file was found in); never shown.
  std::string data = {};

  /// Sub-item `i`, or empty text when the row has fewer.
  const std::string &subItem(std::size_t i) const;
};

/// Told about every change, so that a view can follow. Each structural change is announced
/// before it happens and confirmed after; positions are those of the list at that moment.
class CheckableListObserver {
public:
  virtual ~CheckableListObserver() = default;
  virtual void rowsAboutToBeInserted(int first, int last) = 0;
  virtual void rowsInserted() = 0;
  virtual void rowsAboutToBeRemoved(int first, int last) = 0;
  virtual void rowsRemoved() = 0;
  virtual void rowsChanged(int first, int last) = 0;
  virtual void aboutToReset() = 0;
  virtual void reset() = 0;
};

class CheckableList {
public:
  explicit CheckableList(bool sorted = false) : m_sorted(sorted) {}

  bool isSorted() const { return m_sorted; }
  int count() const { return static_cast<int>(m_rows.size()); }
  bool isEmpty() const { return m_rows.empty(); }
  /// The row at `index`; asserts that it exists.
  const Row &row(int index) const;

  /// Adds one row and returns the position it landed at.
  int append(Row row);
  /// Adds many rows at once, with as few notifications as the order allows: one per run of equal
  /// captions in a sorted list, one in all in an unsorted one. The result is the same as
  /// appending them one by one.
  void appendRows(std::vector<Row> rows);
  void remove(int index);
  /// Removes the rows `first` to `last` (both included) with one announcement.
  void removeRange(int first, int last);
  void clear();
  /// A list of the same kind holding copies of these rows in this order, with no observer.
  CheckableList copy() const;
  /// Exchanges every row with `other`, which must be sorted or unsorted alike (so that each
  /// keeps its order); each list announces one reset.
  void swapRows(CheckableList &other);
  /// Empties the list as clear() does and hands its rows over, first to last.
  std::vector<Row> takeRows();

  void setChecked(int index, bool checked);
  void setAllChecked(bool checked);
  void setCaption(int index, std::string caption);
  void setSubItem(int index, std::size_t subItem, std::string text);

  /// Positions of the checked rows, first to last.
  std::vector<int> checkedRows() const;

  /// The observer (a view adapter) or nullptr. The list does not own it.
  void setObserver(CheckableListObserver *observer) { m_observer = observer; }

private:
  bool m_sorted;
  std::vector<std::unique_ptr<Row>> m_rows;
  CheckableListObserver *m_observer = nullptr;

  int insertPositionFor(const std::string &caption) const;
};

/// Removes rows of a list one at a time, from the last towards the first, as the actions that
/// walk a list backwards do. Neighbouring rows go together in one removeRange(), so removing
/// thousands of rows moves the rows behind them a few times instead of once per row; a run is
/// removed when the next row is not its neighbour, when it holds `runLimit` rows (so that
/// observers counting removals see steady progress), and at flush() or destruction. Rows in
/// front of the pending run keep their positions, so the action may go on reading them.
class BackwardRowRemover {
public:
  explicit BackwardRowRemover(CheckableList &list, int runLimit = 64) : m_list(list), m_runLimit(runLimit) {}
  ~BackwardRowRemover() { flush(); }
  BackwardRowRemover(const BackwardRowRemover &) = delete;
  BackwardRowRemover &operator=(const BackwardRowRemover &) = delete;

  /// Marks row `index` for removal; it must lie in front of every row marked before.
  void remove(int index);
  /// Removes the rows marked so far.
  void flush();

private:
  CheckableList &m_list;
  int m_runLimit;
  int m_first = -1;
  int m_last = -1;
};

} // namespace tw::lists
