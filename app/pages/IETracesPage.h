#pragma once
// The browser traces page (tabIE): the seven fixed actions, the files found, and the control
// panel with the last file found and the four buttons. The scan and the deletion of a cleanup
// run on the page's own worker, with the buttons disabled meanwhile, so that a huge folder
// never holds up the window; the label follows their progress.

#include "lists/CheckableList.h"
#include "tools/uIE.h"

#include <QWidget>

#include <memory>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;

namespace tw::worker {
class UiDispatcher;
class TBMDThread;
class TBMDExecuteThread;
} // namespace tw::worker

namespace tw::app {

class CheckableListModel;
class TraceScanFeed;

class IETracesPage : public QWidget {
  Q_OBJECT

public:
  /// A page whose worker reaches the UI thread through `dispatcher`, which must outlive it.
  explicit IETracesPage(worker::UiDispatcher &dispatcher, QWidget *parent = nullptr);
  ~IETracesPage() override;

  lists::CheckableList &actions() { return m_actions; }
  lists::CheckableList &deletedFiles() { return m_files; }
  CheckableListModel *deletedFilesModel() const { return m_filesModel.get(); }
  /// True while a scan or the deletion of a cleanup runs.
  bool isBusy() const;

  QTableView *lvIE = nullptr;
  QTableView *lvDeletedFiles = nullptr;
  QGroupBox *GroupBox = nullptr;
  QLabel *lblDeleting = nullptr;
  QPushButton *btnTempScan = nullptr;
  QPushButton *btnCleanIE = nullptr;
  QPushButton *btnCheckIE = nullptr;
  QPushButton *btnUncheckIE = nullptr;

signals:
  /// A scan has ended; `notices` says why checked sections listed nothing (empty when none did).
  void scanEnded(const QString &notices);
  /// A cleanup has ended: the registry actions' failure, or empty text, and the message that
  /// the cleaning up has been finished.
  void cleanupEnded(const QString &failure, const QString &finished);

private slots:
  void btnTempScanClick();
  void btnCleanIEClick();
  void btnCheckIEClick();
  void btnUncheckIEClick();

private:
  enum class Job { Scan, Delete };
  void startJob(Job job);
  void setButtonsEnabled(bool enabled);
  void TracesThreadExecute(worker::TBMDExecuteThread &Thread);
  void TracesThreadTerminate();

  lists::CheckableList m_actions;
  lists::CheckableList m_files;
  std::unique_ptr<CheckableListModel> m_actionsModel;
  std::unique_ptr<CheckableListModel> m_filesModel;
  std::unique_ptr<TraceScanFeed> m_feed;

  // What the running job works on and leaves behind; the worker touches them only while it runs.
  Job m_job = Job::Scan;
  std::vector<bool> m_checked;
  std::vector<lists::Row> m_rowsToDelete;
  tools::TraceScanResult m_scanResult;
  tools::TraceCleanupResult m_cleanup;

  // Goes first, waiting for a running worker while everything it uses still exists.
  std::unique_ptr<worker::TBMDThread> TracesThread;
};

} // namespace tw::app
