#pragma once
// The restore history page (tabHistory): one row per record of the undo store, and the control
// panel with Restore, Clear, Refresh and the check-all toggle.

#include "lists/CheckableList.h"

#include <QWidget>

#include <memory>

#include <vector>

class QGroupBox;
class QPushButton;
class QTableView;

namespace tw {
struct UndoRecord;
}

namespace tw::app {

class CheckableListModel;

class HistoryPage : public QWidget {
  Q_OBJECT

public:
  explicit HistoryPage(QWidget *parent = nullptr);
  ~HistoryPage() override;

  lists::CheckableList &history() { return m_history; }
  /// Lists `records` anew, row i showing record i (NAME, TYPE, PATH), unchecked.
  void showRecords(const std::vector<UndoRecord> &records);

  QTableView *lvHistory = nullptr;
  QGroupBox *GroupBox = nullptr;
  QPushButton *btnRestore = nullptr;
  QPushButton *btnClearUndo = nullptr;
  QPushButton *btnRefresh2 = nullptr;
  QPushButton *btnCheckAll1 = nullptr;

private:
  lists::CheckableList m_history;
  std::unique_ptr<CheckableListModel> m_model;
};

} // namespace tw::app
