#pragma once
// The ignore list page (tabIgnoreList): one row per entry of the ignore document, the three
// fields to type an entry, and the buttons that add, remove, refresh and check the rows.

#include "lists/CheckableList.h"

#include <QWidget>

#include <memory>

#include <vector>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tw {
struct IgnoreEntry;
}

namespace tw::app {

class CheckableListModel;

class IgnoreListPage : public QWidget {
  Q_OBJECT

public:
  explicit IgnoreListPage(QWidget *parent = nullptr);
  ~IgnoreListPage() override;

  lists::CheckableList &entries() { return m_entries; }
  /// Lists `entries` anew, row i showing entry i (ROOT, KEY, VALUE), unchecked.
  void showEntries(const std::vector<IgnoreEntry> &entries);

  QTableView *lvIgnore = nullptr;
  QGroupBox *GroupBoxRoot = nullptr;
  QGroupBox *GroupBoxKeyName = nullptr;
  QGroupBox *GroupBoxValue = nullptr;
  QLineEdit *edRoot = nullptr;
  QLineEdit *edKeyName = nullptr;
  QLineEdit *edValue = nullptr;
  QPushButton *btnAdd = nullptr;
  QPushButton *btnRemove = nullptr;
  QPushButton *btnRefresh6 = nullptr;
  QPushButton *btnCheckall2 = nullptr;
  QPushButton *btnUncheckall = nullptr;

private:
  lists::CheckableList m_entries;
  std::unique_ptr<CheckableListModel> m_model;
};

} // namespace tw::app
