#include "app/pages/AddRemovePage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

AddRemovePage::AddRemovePage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabAddRemove"));
  m_model.reset(new CheckableListModel(m_entries, {QStringLiteral("Display Name"), QStringLiteral("Uninstall Path")}));
  lvAddRemove = makeReportList(this, QStringLiteral("lvAddRemove"), m_model.get(), {240});

  btnUninstall = makeButton(this, QStringLiteral("btnUninstall"), QStringLiteral("&Uninstall"));
  btnUninstall->setEnabled(false);
  btnDeleteEntry = makeButton(this, QStringLiteral("btnDeleteEntry"), QStringLiteral("&Delete entries"));
  btnDeleteEntry->setEnabled(false);
  btnRefresh1 = makeButton(this, QStringLiteral("btnRefresh1"), QStringLiteral("&Refresh"));
  btnCheckAlll2 = makeButton(this, QStringLiteral("btnCheckAlll2"), QStringLiteral("&Check All"));
  GroupBox = makeControlPanel(this, QStringLiteral("GroupBox"),
                              {btnUninstall, btnDeleteEntry, btnRefresh1, btnCheckAlll2});

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvAddRemove, 1);
  page->addWidget(GroupBox);
}

// The models go before the lists they observe.
AddRemovePage::~AddRemovePage() = default;

} // namespace tw::app
