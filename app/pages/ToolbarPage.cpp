#include "app/pages/ToolbarPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

ToolbarPage::ToolbarPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabToolbar"));
  m_model.reset(new CheckableListModel(m_addons,
                                   {QStringLiteral("Name"), QStringLiteral("Type"),
                                    QStringLiteral("Registry Entries"), QStringLiteral("Path")}));
  lvBHO = makeReportList(this, QStringLiteral("lvBHO"), m_model.get(), {150, 80, 180});
  lvBHO->setSelectionMode(QAbstractItemView::ExtendedSelection);

  Display_Toolbar = new QGroupBox(QStringLiteral("Display"), this);
  Display_Toolbar->setObjectName(QStringLiteral("Display_Toolbar"));
  auto *boxes = new QVBoxLayout(Display_Toolbar);
  boxes->setContentsMargins(6, 2, 6, 4);
  boxes->setSpacing(0);
  auto addBox = [&](const char *name, const char *caption) {
    auto *box = new QCheckBox(QString::fromLatin1(caption), Display_Toolbar);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(true);
    boxes->addWidget(box);
    return box;
  };
  DisplayToolbar_CheckBox = addBox("DisplayToolbar_CheckBox", "Toolbar");
  DisplayBHO_CheckBox = addBox("DisplayBHO_CheckBox", "Browser Extensions");
  DisplayExpBar_CheckBox = addBox("DisplayExpBar_CheckBox", "Explorer Bars");
  DisplayMenuExt_CheckBox = addBox("DisplayMenuExt_CheckBox", "Menu Extensions");
  DisplayDownHandle_CheckBox = addBox("DisplayDownHandle_CheckBox", "Download Handler");

  ScanToolbar_BitBtn = makeButton(this, QStringLiteral("ScanToolbar_BitBtn"), QStringLiteral("Scan Now"));
  Del_SpeedButton = makeButton(this, QStringLiteral("Del_SpeedButton"), QStringLiteral("&Delete"));
  Controls_GroupBox = makeControlPanel(this, QStringLiteral("Controls_GroupBox"),
                                       {ScanToolbar_BitBtn, Del_SpeedButton});

  // A click changes what is listed at once; a box set by the program lists nothing by itself.
  for (QCheckBox *box : {DisplayToolbar_CheckBox, DisplayBHO_CheckBox, DisplayExpBar_CheckBox,
                         DisplayMenuExt_CheckBox, DisplayDownHandle_CheckBox})
    connect(box, &QCheckBox::clicked, this, &ToolbarPage::scanRequested);
  connect(ScanToolbar_BitBtn, &QPushButton::clicked, this, &ToolbarPage::scanRequested);
  connect(Del_SpeedButton, &QPushButton::clicked, this, &ToolbarPage::deleteRequested);

  auto *bottom = new QHBoxLayout;
  bottom->addWidget(Controls_GroupBox, 1, Qt::AlignBottom);
  bottom->addWidget(Display_Toolbar);
  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvBHO, 1);
  page->addLayout(bottom);
}

// The models go before the lists they observe.
ToolbarPage::~ToolbarPage() = default;

tools::AddonKinds ToolbarPage::displayedKinds() const {
  tools::AddonKinds kinds;
  kinds.toolbars = DisplayToolbar_CheckBox->isChecked();
  kinds.browserExtensions = DisplayBHO_CheckBox->isChecked();
  kinds.downloadHandler = DisplayDownHandle_CheckBox->isChecked();
  kinds.menuExtensions = DisplayMenuExt_CheckBox->isChecked();
  kinds.explorerBars = DisplayExpBar_CheckBox->isChecked();
  return kinds;
}

} // namespace tw::app
