#pragma once
// The browser traces page (tabIE): the seven fixed actions, the files found, and the control
// panel with the last file found and the four buttons.

#include "lists/CheckableList.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tw::app {

class CheckableListModel;

class IETracesPage : public QWidget {
  Q_OBJECT

public:
  explicit IETracesPage(QWidget *parent = nullptr);
  ~IETracesPage() override;

  lists::CheckableList &actions() { return m_actions; }
  lists::CheckableList &deletedFiles() { return m_files; }

  QTableView *lvIE = nullptr;
  QTableView *lvDeletedFiles = nullptr;
  QGroupBox *GroupBox = nullptr;
  QLabel *lblDeleting = nullptr;
  QPushButton *btnTempScan = nullptr;
  QPushButton *btnCleanIE = nullptr;
  QPushButton *btnCheckIE = nullptr;
  QPushButton *btnUncheckIE = nullptr;

private:
  lists::CheckableList m_actions;
  lists::CheckableList m_files;
  std::unique_ptr<CheckableListModel> m_actionsModel;
  std::unique_ptr<CheckableListModel> m_filesModel;
};

} // namespace tw::app
