#pragma once
// The startup manager page (tabStartup): the programs started at logon, checked when active,
// and the control panel with Refresh, Apply, Check All and UnCheck All.

#include "lists/CheckableList.h"
#include "tools/uStartup.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QPushButton;
class QTableView;

namespace tw::app {

class CheckableListModel;

class StartupPage : public QWidget {
  Q_OBJECT

public:
  explicit StartupPage(QWidget *parent = nullptr);
  ~StartupPage() override;

  lists::CheckableList &startupItems() { return m_items; }
  /// The check state of each row when the list was last filled (what Apply compares with).
  tools::StartupStates &startupStates() { return m_states; }

  QTableView *lvStartup = nullptr;
  QGroupBox *GroupBox = nullptr;
  QPushButton *btnRefresh = nullptr;
  QPushButton *btnApply = nullptr;
  QPushButton *btnEnable = nullptr;
  QPushButton *btnDisable = nullptr;

private:
  lists::CheckableList m_items;
  tools::StartupStates m_states;
  std::unique_ptr<CheckableListModel> m_model;
};

} // namespace tw::app
