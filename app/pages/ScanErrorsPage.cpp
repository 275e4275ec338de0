#include "app/pages/ScanErrorsPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"
#include "app/ScanUpdateQueue.h"
#include "app/worker/TBMDThread.h"
#include "scan/ScanLists.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tw::app {

namespace {
const QString StartScanCaption = QStringLiteral("Start &Scan");
const QString StopScanCaption = QStringLiteral("Stop &Scan");
const QString CheckAllCaption = QStringLiteral("&Check All");
const QString UncheckAllCaption = QStringLiteral("&Uncheck All");
} // namespace

ScanErrorsPage::ScanErrorsPage(worker::UiDispatcher &dispatcher, worker::TBMDThread &scanThread,
                               QWidget *parent)
    : QWidget(parent), ScanErrorsThread(scanThread) {
  setObjectName(QStringLiteral("tabScanErrors"));

  m_groupsModel.reset(new CheckableListModel(m_groups, {QStringLiteral("Scan Groups"), QStringLiteral("Errors")}));
  m_groupsModel->setImages(scanListImages());
  lvScanGroups = makeReportList(this, QStringLiteral("lvScanGroups"), m_groupsModel.get(), {300});
  lvScanGroups->setFixedHeight(227);

  m_errorsModel.reset(new CheckableListModel(
      m_errors,
      {QStringLiteral("Error Type"), QStringLiteral("Key Name"), QStringLiteral("Key Value"),
       QStringLiteral("Guess Path")}));
  m_errorsModel->setImages(scanListImages());
  lvErrors = makeReportList(this, QStringLiteral("lvErrors"), m_errorsModel.get(), {130, 150, 140});

  lblScanLabel = new QLabel(this);
  lblScanLabel->setObjectName(QStringLiteral("lblScanLabel"));
  // The label follows the scan key by key; a long key must not widen the window.
  lblScanLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  btnStartScan = makeButton(this, QStringLiteral("btnStartScan"), StartScanCaption);
  btnFixSelected = makeButton(this, QStringLiteral("btnFixSelected"), QStringLiteral("Fix S&elected"));
  btnFixSelected->setEnabled(false);
  btnCheckAll = makeButton(this, QStringLiteral("btnCheckAll"), CheckAllCaption);
  btnAdd2Ignore = makeButton(this, QStringLiteral("btnAdd2Ignore"), QStringLiteral("&Add to Ignore List"), 117);
  GroupBox1 = makeControlPanel(this, QStringLiteral("GroupBox1"),
                               {btnStartScan, btnFixSelected, btnCheckAll, btnAdd2Ignore}, lblScanLabel);

  auto *page = new QVBoxLayout(this);
  page->setContentsMargins(4, 4, 4, 4);
  page->setSpacing(4);
  page->addWidget(lvScanGroups);
  page->addWidget(lvErrors, /*stretch=*/1);
  page->addWidget(GroupBox1);

  m_updates = std::make_unique<ScanUpdateQueue>(
      dispatcher, m_groups, m_errors,
      [this](const std::string &text) { lblScanLabel->setText(QString::fromStdString(text)); });
  // The worker reads the groups' check marks when it reaches each group.
  auto mirror = [this] { m_updates->mirrorGroupChecks(); };
  connect(m_groupsModel.get(), &QAbstractItemModel::dataChanged, this, mirror);
  connect(m_groupsModel.get(), &QAbstractItemModel::modelReset, this, mirror);
  connect(m_groupsModel.get(), &QAbstractItemModel::rowsInserted, this, mirror);
  connect(m_groupsModel.get(), &QAbstractItemModel::rowsRemoved, this, mirror);

  connect(btnStartScan, &QPushButton::clicked, this, &ScanErrorsPage::btnStartScanClick);
  connect(btnCheckAll, &QPushButton::clicked, this, &ScanErrorsPage::btnCheckAllClick);

  ScanErrorsThread.OnStart = [this](worker::TBMDThread &s, worker::TBMDExecuteThread &t, void *&d) {
    ScanErrorsThreadStart(s, t, d);
  };
  ScanErrorsThread.OnExecute = [this](worker::TBMDThread &s, worker::TBMDExecuteThread &t, void *&d) {
    ScanErrorsThreadExecute(s, t, d);
  };
  ScanErrorsThread.OnTerminate = [this](worker::TBMDThread &s, worker::TBMDExecuteThread &t, void *&d) {
    ScanErrorsThreadTerminate(s, t, d);
  };

  rebuildScanGroupList();
}

ScanErrorsPage::~ScanErrorsPage() = default;

void ScanErrorsPage::rebuildScanGroupList() { scan::rebuildScanGroupList(m_groups); }

void ScanErrorsPage::setIgnoreList(std::shared_ptr<const scan::IgnoreIndex> ignoreList) {
  m_updates->setIgnoreList(std::move(ignoreList));
}

std::size_t ScanErrorsPage::pendingRowCount() const { return m_updates->queuedRowCount(); }

void ScanErrorsPage::btnStartScanClick() {
  if (btnStartScan->text() != StartScanCaption) {
    // The scan's end sets the caption back.
    ScanErrorsThread.Stop();
    return;
  }
  btnCheckAll->setText(UncheckAllCaption); // the rows of the coming scan start checked
  ScanErrorsThread.Start();
}

void ScanErrorsPage::btnCheckAllClick() {
  const bool check = btnCheckAll->text() == CheckAllCaption;
  btnCheckAll->setText(check ? UncheckAllCaption : CheckAllCaption);
  m_errors.setAllChecked(check);
}

void ScanErrorsPage::ScanErrorsThreadStart(worker::TBMDThread &, worker::TBMDExecuteThread &,
                                           void *&) {
  btnStartScan->setText(StopScanCaption);
  btnFixSelected->setEnabled(false);
  scan::resetScanGroupCounts(m_groups);
  m_errors.clear();
}

void ScanErrorsPage::ScanErrorsThreadExecute(worker::TBMDThread &,
                                             worker::TBMDExecuteThread &Thread, void *&) {
  WindowScanSession session(*m_updates, Thread);
  m_lastScan = scan::runScanBody(session);
}

void ScanErrorsPage::ScanErrorsThreadTerminate(worker::TBMDThread &, worker::TBMDExecuteThread &,
                                               void *&) {
  // Whatever the worker reported before its end is on the page before "Scan done !".
  m_updates->flush();
  btnStartScan->setText(StartScanCaption);
  emit scanEnded();
  btnFixSelected->setEnabled(true);
  lblScanLabel->setText(QStringLiteral("Scan done !"));
}

} // namespace tw::app
