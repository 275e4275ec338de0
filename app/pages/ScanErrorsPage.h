#pragma once
// The scan page (tabScanErrors): the twelve scan groups, the sorted error list and the control
// panel that starts and stops a scan on the worker ScanErrorsThread, toggles the error rows'
// check marks, fixes and ignores them.

#include "lists/CheckableList.h"
#include "scan/ScanRun.h"

#include <QWidget>

#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tw::scan {
class IgnoreIndex;
}
namespace tw::worker {
class UiDispatcher;
class TBMDThread;
class TBMDExecuteThread;
} // namespace tw::worker

namespace tw::app {

class CheckableListModel;
class ScanUpdateQueue;

class ScanErrorsPage : public QWidget {
  Q_OBJECT

public:
  /// A page that runs its scans on `scanThread` (whose start, execute and end handlers it binds)
  /// and reaches the UI thread through `dispatcher`; both must outlive the page's scans.
  ScanErrorsPage(worker::UiDispatcher &dispatcher, worker::TBMDThread &scanThread,
                 QWidget *parent = nullptr);
  ~ScanErrorsPage() override;

  lists::CheckableList &scanGroups() { return m_groups; }
  lists::CheckableList &errors() { return m_errors; }
  CheckableListModel *scanGroupsModel() const { return m_groupsModel.get(); }
  CheckableListModel *errorsModel() const { return m_errorsModel.get(); }

  /// Empties the group list and lists the twelve groups again, checked, with count "0". The
  /// error list is not touched.
  void rebuildScanGroupList();
  /// The ignore list that scans from now on consult (nullptr ignores nothing).
  void setIgnoreList(std::shared_ptr<const scan::IgnoreIndex> ignoreList);
  /// How the last scan body ended; read it once the scan has ended.
  const scan::ScanRunResult &lastScanResult() const { return m_lastScan; }
  /// Rows a running scan has found that have not reached the error list yet.
  std::size_t pendingRowCount() const;

  QTableView *lvScanGroups = nullptr;
  QTableView *lvErrors = nullptr;
  QGroupBox *GroupBox1 = nullptr;
  QLabel *lblScanLabel = nullptr;
  QPushButton *btnStartScan = nullptr;
  QPushButton *btnFixSelected = nullptr;
  QPushButton *btnCheckAll = nullptr;
  QPushButton *btnAdd2Ignore = nullptr;

signals:
  /// A scan has ended (finished, stopped or failed); the window brings this page to the front.
  void scanEnded();

private slots:
  void btnStartScanClick();
  void btnCheckAllClick();

private:
  void ScanErrorsThreadStart(worker::TBMDThread &Sender, worker::TBMDExecuteThread &Thread,
                             void *&Data);
  void ScanErrorsThreadExecute(worker::TBMDThread &Sender, worker::TBMDExecuteThread &Thread,
                               void *&Data);
  void ScanErrorsThreadTerminate(worker::TBMDThread &Sender, worker::TBMDExecuteThread &Thread,
                                 void *&Data);

  worker::TBMDThread &ScanErrorsThread;
  lists::CheckableList m_groups{/*sorted=*/false};
  lists::CheckableList m_errors{/*sorted=*/true};
  std::unique_ptr<CheckableListModel> m_groupsModel;
  std::unique_ptr<CheckableListModel> m_errorsModel;
  std::unique_ptr<ScanUpdateQueue> m_updates;
  /// Written by the worker during a run, read on the UI thread after its end.
  scan::ScanRunResult m_lastScan;
};

} // namespace tw::app
