#include "app/pages/StartupPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

StartupPage::StartupPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabStartup"));
  m_model.reset(new CheckableListModel(
      m_items, {QStringLiteral("Startup Items"), QStringLiteral("Command"), QStringLiteral("Location")}));
  lvStartup = makeReportList(this, QStringLiteral("lvStartup"), m_model.get(), {150, 210});

  btnRefresh = makeButton(this, QStringLiteral("btnRefresh"), QStringLiteral("&Refresh"));
  btnApply = makeButton(this, QStringLiteral("btnApply"), QStringLiteral("&Apply"));
  btnEnable = makeButton(this, QStringLiteral("btnEnable"), QStringLiteral("&Check All"));
  btnDisable = makeButton(this, QStringLiteral("btnDisable"), QStringLiteral("&UnCheck All"));
  GroupBox = makeControlPanel(this, QStringLiteral("GroupBox"),
                              {btnRefresh, btnApply, btnEnable, btnDisable});

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvStartup, 1);
  page->addWidget(GroupBox);
}

// The models go before the lists they observe.
StartupPage::~StartupPage() = default;

} // namespace tw::app
