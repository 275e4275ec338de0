#pragma once
// The main window: a column of page buttons beside a page area whose pages show no tabs, the
// header picture, the autorun strip along the bottom, and the state the pages share for the
// whole run (the program folder, the undo store, the ignore document, the three workers).
//
// Start-up (FormCreate) sets up the program folder, the Backup folder and both documents on the
// installed machine and fills the ignore page; closing (FormClose) asks a running scan to stop
// and writes the undo store, staying open when that write fails. Destroying the window waits
// for running workers, handling events meanwhile.

#include <pugixml.hpp>

#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QTabWidget;
class QToolButton;

namespace tw::worker {
class UiDispatcher;
class TBMDThread;
class TBMDThreadGroup;
} // namespace tw::worker

namespace tw::repair {
struct ActionResult;
}

namespace tw::app {

class UserMessages;
class ScanErrorsPage;
class ToolbarPage;
class IETracesPage;
class StartupPage;
class AddRemovePage;
class BackupPage;
class HistoryPage;
class IgnoreListPage;

class TfmMainForm : public QWidget {
  Q_OBJECT

public:
  /// The window over the installed machine (platform::machine()). Workers reach the UI thread
  /// through `dispatcher`; messages go to `messages`. Both must outlive the window.
  TfmMainForm(worker::UiDispatcher &dispatcher, UserMessages &messages, QWidget *parent = nullptr);
  ~TfmMainForm() override;

  /// The program folder (Windows path, trailing backslash) and the Backup folder below it.
  const std::string &programFolder() const { return m_programFolder; }
  const std::string &backupFolder() const { return m_backupFolder; }
  /// The undo store (Backup.xml) and the ignore document (ignore.xml), live for the whole run.
  pugi::xml_document &undoStore() { return Restore_XMLDocument; }
  pugi::xml_document &ignoreDocument() { return IgnoreXML; }
  /// Host paths of the two files, empty when their folder cannot be reached.
  const std::string &undoStorePath() const { return m_undoStorePath; }
  const std::string &ignoreListPath() const { return m_ignoreListPath; }
  /// Call after every change of the ignore document: scans from then on use the new list.
  void ignoreListChanged();
  /// A message shown once the window is on screen (e.g. that the registry is read-only).
  void addStartupNotice(const QString &text);

  worker::TBMDThread &scanErrorsThread() { return *ScanErrorsThread; }
  worker::TBMDThread &threadBackup() { return *ThreadBackup; }
  worker::TBMDThread &threadRestore() { return *ThreadRestore; }

  ScanErrorsPage *scanErrorsPage() const { return tabScanErrors; }
  ToolbarPage *toolbarPage() const { return tabToolbar; }
  IETracesPage *ieTracesPage() const { return tabIE; }
  StartupPage *startupPage() const { return tabStartup; }
  AddRemovePage *addRemovePage() const { return tabAddRemove; }
  BackupPage *backupPage() const { return tabBackup; }
  HistoryPage *historyPage() const { return tabHistory; }
  IgnoreListPage *ignoreListPage() const { return tabIgnoreList; }

  QLabel *Image1 = nullptr;
  QLabel *Image2 = nullptr;
  QToolButton *toolScanErrors = nullptr;
  QToolButton *toolToolbar = nullptr;
  QToolButton *toolE = nullptr;
  QToolButton *toolStartup = nullptr;
  QToolButton *toolAddRemove = nullptr;
  QToolButton *toolBackup = nullptr;
  QToolButton *toolHistory = nullptr;
  QToolButton *toolIgnore = nullptr;
  QToolButton *SpeedButton2 = nullptr;
  QTabWidget *MainControl = nullptr;
  QFrame *pnlAutorun = nullptr;
  QCheckBox *cbAutoRun = nullptr;

signals:
  /// The startup, uninstall and backup pages have work of their own when they are opened; the
  /// backup page's happens before it comes to the front.
  void startupPageOpened();
  void addRemovePageOpened();
  void backupPageOpening();

protected:
  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private slots:
  void toolScanErrorsClick();
  void toolToolbarClick();
  void toolEClick();
  void toolStartupClick();
  void toolAddRemoveClick();
  void toolBackupClick();
  void toolHistoryClick();
  void toolIgnoreClick();
  void btnRefresh2Click();
  void btnRefresh6Click();
  // Fixing, the restore history and the ignore list (TfmMainFormRepair.cpp).
  void btnFixSelectedClick();
  void btnAdd2IgnoreClick();
  void btnRestoreClick();
  void btnClearUndoClick();
  void btnCheckAll1Click();
  void btnAddClick();
  void btnRemoveClick();
  void btnCheckall2Click();
  void btnUncheckallClick();
  // The add-on page and the traces page (TfmMainFormTools.cpp).
  void ScanToolbar_BitBtnClick();
  void Del_SpeedButtonClick();

private:
  void buildWindow();
  QToolButton *makePageButton(const char *name, const QString &caption, int icon);
  void FormCreate();
  void FormShow();
  /// Returns false when the window must stay open.
  bool FormClose();
  void showStartupNotices();
  void connectRepairHandlers();
  void connectToolHandlers();
  /// Shows the message of an action that failed in the error message box.
  void showActionError(const repair::ActionResult &result);

  worker::UiDispatcher &m_dispatcher;
  UserMessages &m_messages;

  std::string m_programFolder;
  std::string m_backupFolder;
  std::string m_undoStorePath;
  std::string m_ignoreListPath;
  pugi::xml_document Restore_XMLDocument;
  pugi::xml_document IgnoreXML;
  QStringList m_startupNotices;
  bool m_shownBefore = false;

  // Destroyed first (in the destructor), while the pages their handlers use still exist.
  std::unique_ptr<worker::TBMDThreadGroup> BMDThreadGroup1;
  std::unique_ptr<worker::TBMDThread> ScanErrorsThread;
  std::unique_ptr<worker::TBMDThread> ThreadBackup;
  std::unique_ptr<worker::TBMDThread> ThreadRestore;

  ScanErrorsPage *tabScanErrors = nullptr;
  ToolbarPage *tabToolbar = nullptr;
  IETracesPage *tabIE = nullptr;
  StartupPage *tabStartup = nullptr;
  AddRemovePage *tabAddRemove = nullptr;
  BackupPage *tabBackup = nullptr;
  HistoryPage *tabHistory = nullptr;
  IgnoreListPage *tabIgnoreList = nullptr;
};

} // namespace tw::app
