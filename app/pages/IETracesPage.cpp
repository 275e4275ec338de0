#include "app/pages/IETracesPage.h"

#include "app/CheckableListModel.h"
#include "app/ReportList.h"
#include "app/TraceScanFeed.h"
#include "app/worker/TBMDThread.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace tw::app {

namespace {
/// What the worker of a scan sees of the page: the feed, and its own stop flag.
class WorkerScanSink : public tools::TraceScanSink {
public:
  WorkerScanSink(TraceScanFeed &feed, const worker::TBMDExecuteThread &thread) : m_feed(feed), m_thread(thread) {}
  bool stopRequested() const override { return m_thread.Terminated(); }
  void fileFound(lists::Row row) override { m_feed.appendRow(std::move(row)); }

private:
  TraceScanFeed &m_feed;
  const worker::TBMDExecuteThread &m_thread;
};
} // namespace

IETracesPage::IETracesPage(worker::UiDispatcher &dispatcher, QWidget *parent) : QWidget(parent) {
  setObjectName(QStringLiteral("tabIE"));
  tools::fillTraceActions(m_actions);

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

  m_feed = std::make_unique<TraceScanFeed>(dispatcher, m_files, [this](const std::string &text) {
    lblDeleting->setText(QString::fromStdString(text));
  });
  connect(btnTempScan, &QPushButton::clicked, this, &IETracesPage::btnTempScanClick);
  connect(btnCleanIE, &QPushButton::clicked, this, &IETracesPage::btnCleanIEClick);
  connect(btnCheckIE, &QPushButton::clicked, this, &IETracesPage::btnCheckIEClick);
  connect(btnUncheckIE, &QPushButton::clicked, this, &IETracesPage::btnUncheckIEClick);

  TracesThread = std::make_unique<worker::TBMDThread>(dispatcher);
  TracesThread->OnExecute = [this](worker::TBMDThread &, worker::TBMDExecuteThread &t, void *&) {
    TracesThreadExecute(t);
  };
  TracesThread->OnTerminate = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) {
    TracesThreadTerminate();
  };
}

IETracesPage::~IETracesPage() { TracesThread.reset(); }

bool IETracesPage::isBusy() const { return TracesThread->IsRunning(); }

void IETracesPage::setButtonsEnabled(bool enabled) {
  for (QPushButton *button : {btnTempScan, btnCleanIE, btnCheckIE, btnUncheckIE}) button->setEnabled(enabled);
}

void IETracesPage::startJob(Job job) {
  m_job = job;
  setButtonsEnabled(false);
  TracesThread->Start();
}

void IETracesPage::btnTempScanClick() {
  if (isBusy()) return;
  m_files.clear();
  m_checked = tools::checkedTraceActions(m_actions);
  m_scanResult = {};
  startJob(Job::Scan);
}

void IETracesPage::btnCleanIEClick() {
  if (isBusy()) return;
  m_cleanup = {};
  // The two registry actions are quick; they run here, the deletion on the worker.
  m_cleanup.result = tools::runTraceRegistryActions(tools::checkedTraceActions(m_actions));
  // The rows leave the list here; what to delete is worked out from them on the worker.
  m_rowsToDelete = m_files.takeRows();
  startJob(Job::Delete);
}

void IETracesPage::btnCheckIEClick() { m_files.setAllChecked(true); }

void IETracesPage::btnUncheckIEClick() { m_files.setAllChecked(false); }

void IETracesPage::TracesThreadExecute(worker::TBMDExecuteThread &Thread) {
  if (m_job == Job::Scan) {
    WorkerScanSink sink(*m_feed, Thread);
    m_scanResult = tools::scanTraces(m_checked, sink);
    return;
  }
  const std::vector<tools::TraceFile> files = tools::checkedTraceFiles(std::exchange(m_rowsToDelete, {}));
  const std::size_t total = files.size();
  tools::deleteTraceFiles(
      files, m_cleanup,
      [this, total](int done, const std::string &path) {
        m_feed->showText("Deleted " + std::to_string(done) + " of " + std::to_string(total) + ": " + path);
      },
      [&Thread] { return Thread.Terminated(); });
}

void IETracesPage::TracesThreadTerminate() {
  // Whatever the worker found before its end is on the page before the buttons come back.
  m_feed->flush();
  setButtonsEnabled(true);
  if (m_job == Job::Scan) {
    QStringList notices;
    for (const std::string &notice : m_scanResult.notices) notices << QString::fromStdString(notice);
    emit scanEnded(notices.join(QLatin1Char('\n')));
    return;
  }
  emit cleanupEnded(QString::fromStdString(m_cleanup.result.message),
                    QString::fromUtf8(tools::CleanupFinishedMessage.data(),
                                      static_cast<qsizetype>(tools::CleanupFinishedMessage.size())));
}

} // namespace tw::app
