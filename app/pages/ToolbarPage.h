#pragma once
// The add-on page (tabToolbar): the browser's add-ons, sorted by name, the Display box that
// chooses which kinds are listed, and the control panel with "Scan Now" and "&Delete".

#include "lists/CheckableList.h"
#include "tools/Toolbar_Unit.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QTableView;

namespace tw::app {

class CheckableListModel;

class ToolbarPage : public QWidget {
  Q_OBJECT

public:
  explicit ToolbarPage(QWidget *parent = nullptr);
  ~ToolbarPage() override;

  lists::CheckableList &addons() { return m_addons; }
  CheckableListModel *addonsModel() const { return m_model.get(); }
  /// The kinds the Display boxes choose.
  tools::AddonKinds displayedKinds() const;

  QTableView *lvBHO = nullptr;
  QGroupBox *Display_Toolbar = nullptr;
  QCheckBox *DisplayToolbar_CheckBox = nullptr;
  QCheckBox *DisplayBHO_CheckBox = nullptr;
  QCheckBox *DisplayExpBar_CheckBox = nullptr;
  QCheckBox *DisplayMenuExt_CheckBox = nullptr;
  QCheckBox *DisplayDownHandle_CheckBox = nullptr;
  QGroupBox *Controls_GroupBox = nullptr;
  QPushButton *ScanToolbar_BitBtn = nullptr;
  QPushButton *Del_SpeedButton = nullptr;

signals:
  /// "Scan Now", or a click on one of the Display boxes: the list is to be read again.
  void scanRequested();
  /// "&Delete": the checked add-ons are to be removed.
  void deleteRequested();

private:
  lists::CheckableList m_addons{/*sorted=*/true};
  std::unique_ptr<CheckableListModel> m_model;
};

} // namespace tw::app
