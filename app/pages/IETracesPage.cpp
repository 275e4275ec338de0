#include "app/pages/IETracesPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

namespace {
struct TraceAction {
  const char *action;
  const char *restartBrowser;
  const char *description;
  bool checked;
};

// The seven actions are part of the page; nothing ever adds or removes one.
constexpr TraceAction TraceActions[] = {
    {"Clear the Internet Explorer Typed Address History", "Yes",
     "Internet Explorer caches any URLs that are typed into the address bar. This may become a "
     "privacy issue on a shared computer, or a nuisance if there is a particular URL you want to "
     "remove without clearing the whole history.",
     false},
    {"Reverse Auto Complete Mode", "Yes",
     "This setting controls whether the automatic text completion (AutoComplete) feature of "
     "Windows Explorer appends the suggested text to the words as you are typing as well as "
     "showing a drop-down list of available values.",
     false},
    {"Cache", "No", "Cleanup cache file on your system", true},
    {"Cookies", "No", "Manage cookies on your system", false},
    {"Downloaded files", "No", "Cleanup downloaded files when you use the Internet Explorer", true},
    {"Favorites list", "Yes", "Favourites list", false},
    {"History of visited URLs", "Yes", "History of Visited URLs", true},
};
} // namespace

IETracesPage::IETracesPage(QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabIE"));
  for (const TraceAction &a : TraceActions)
    m_actions.append({a.action, {a.restartBrowser, a.description}, a.checked, -1});

  m_actionsModel.reset(new CheckableListModel(
      m_actions,
      {QStringLiteral("Action"), QStringLiteral("Restart IE"), QStringLiteral("Description")}));
  m_actionsModel->setColumnAlignment(1, Qt::AlignCenter);
  lvIE = makeReportList(this, QStringLiteral("lvIE"), m_actionsModel.get(), {230, 70});
  lvIE->setFixedHeight(lvIE->verticalHeader()->defaultSectionSize() * 7 +
                       lvIE->horizontalHeader()->sizeHint().height() + 4);

  m_filesModel.reset(new CheckableListModel(
      m_files,
      {QStringLiteral("Section"), QStringLiteral("File Name"), QStringLiteral("Full Path")}));
  lvDeletedFiles = makeReportList(this, QStringLiteral("lvDeletedFiles"), m_filesModel.get(), {120, 150});

  lblDeleting = new QLabel(this);
  lblDeleting->setObjectName(QStringLiteral("lblDeleting"));
  lblDeleting->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  btnTempScan = makeButton(this, QStringLiteral("btnTempScan"), QStringLiteral("&Start Scan"));
  btnCleanIE = makeButton(this, QStringLiteral("btnCleanIE"), QStringLiteral("&Cleanup"));
  btnCheckIE = makeButton(this, QStringLiteral("btnCheckIE"), QStringLiteral("&Check All"));
  btnUncheckIE = makeButton(this, QStringLiteral("btnUncheckIE"), QStringLiteral("&Uncheck All"));
  GroupBox = makeControlPanel(this, QStringLiteral("GroupBox"),
                              {btnTempScan, btnCleanIE, btnCheckIE, btnUncheckIE}, lblDeleting);

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvIE);
  page->addWidget(lvDeletedFiles, 1);
  page->addWidget(GroupBox);
}

// The models go before the lists they observe.
IETracesPage::~IETracesPage() = default;

} // namespace tw::app
