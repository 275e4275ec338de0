#pragma once
// The uninstall manager page (tabAddRemove): installed programs sorted by display name, and the
// control panel with Uninstall, Delete entries, Refresh and the check-all toggle. Each row keeps
// the key its entry is stored in as its data.

#include "lists/CheckableList.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QPushButton;
class QTableView;

namespace tw::app {

class CheckableListModel;

class AddRemovePage : public QWidget {
  Q_OBJECT

public:
  explicit AddRemovePage(QWidget *parent = nullptr);
  ~AddRemovePage() override;

  lists::CheckableList &entries() { return m_entries; }

  QTableView *lvAddRemove = nullptr;
  QGroupBox *GroupBox = nullptr;
  QPushButton *btnUninstall = nullptr;
  QPushButton *btnDeleteEntry = nullptr;
  QPushButton *btnRefresh1 = nullptr;
  QPushButton *btnCheckAlll2 = nullptr;

private:
  lists::CheckableList m_entries{/*sorted=*/true};
  std::unique_ptr<CheckableListModel> m_model;
};

} // namespace tw::app
