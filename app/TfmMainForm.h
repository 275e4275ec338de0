#pragma once
// The main window: a column of page buttons beside a page area whose pages show no tabs, the
// header picture, the autorun strip along the bottom, and the state the pages share for the
// whole run (the program folder, the undo store, the ignore document, the three workers).
//
// Start-up (FormCreate) sets up the program folder, the Backup folder and both documents on the
// installed machine and fills the ignore page; closing (FormClose) asks a running scan to stop
// and writes the undo store, staying open when that write fails. Destroying the window waits
// for running workers, handling events meanwhile.
//
// The window keeps an icon in the desktop's notification area while it runs: minimising hides
// the window to it (where the desktop has one), its double-click and "Show Main Window" bring the
// window back, and its "Exit" closes the window as the close box does (TfmMainFormTray.cpp).

#include "platform/FileIdentity.h"

#include <pugixml.hpp>

#include <QStringList>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolButton;

namespace tw::worker {
class UiDispatcher;
class TBMDThread;
class TBMDThreadGroup;
} // namespace tw::worker

namespace tw::repair {
struct ActionResult;
struct DocumentFile;
}
namespace tw::lists {
class CheckableList;
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
class ListActionThread;

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
  /// The undo store as the repair actions save it: its document, its file, and the version of
  /// the file it was last read from or saved to (so that another program's changes are read
  /// before an action and never saved over).
  repair::DocumentFile undoStoreFile();
  const std::string &ignoreListPath() const { return m_ignoreListPath; }
  /// Call after every change of the ignore document: scans from then on use the new list.
  void ignoreListChanged();
  /// A message shown once the window is on screen (e.g. that the registry is read-only).
  void addStartupNotice(const QString &text);

  /// True while a fix or a restore runs on its worker; the pages and their buttons are disabled
  /// meanwhile, and a close waits for its end.
  bool isActionRunning() const;
  /// The pause before each root's export (one second; tests shorten it).
  void setBackupPause(std::chrono::milliseconds pause) { m_backupPause = pause; }
  /// The restore point the running or last backup writes, and the one the running or last
  /// restore reads (Windows paths; empty before the first).
  const std::string &backupTarget() const { return m_backupTarget; }
  const std::string &restoreSource() const { return m_restoreSource; }

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
  QFrame *pnlPageButtons = nullptr;
  QFrame *pnlAutorun = nullptr;
  QCheckBox *cbAutoRun = nullptr;
  /// How far a running fix or restore has come; hidden when none runs.
  QProgressBar *pbAction = nullptr;
  // The notification-area icon and its menu ("Show Main Window", "Exit").
  QSystemTrayIcon *trayIcon = nullptr;
  QMenu *PopupMenu1 = nullptr;
  QAction *Show1 = nullptr;
  QAction *Exit1 = nullptr;

  /// True from the first minimise that hid the window to the notification area on.
  bool minimizeToTray() const { return MinimizeToTray; }
  /// True when the desktop has a notification area for the icon.
  static bool trayAvailable();

signals:
  /// The startup, uninstall and backup pages have work of their own when they are opened; the
  /// backup page's happens before it comes to the front.
  void startupPageOpened();
  void addRemovePageOpened();
  void backupPageOpening();

protected:
  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void changeEvent(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

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
  // The notification-area icon, autorun and help (TfmMainFormTray.cpp).
  void cbAutoRunClick();
  void Show1Click();
  void Exit1Click();
  void SpeedButton2Click();
  void Image2Click();
  // The backup page (TfmMainFormBackup.cpp).
  void enterBackupPage();
  void btnBackupClick();
  void btnRestore1Click();
  void btRefreshClick();
  void btDelClick();
  // The startup and uninstall managers (TfmMainFormTools.cpp).
  void btnRefreshClick();
  void btnApplyClick();
  void btnEnableClick();
  void btnDisableClick();
  void lvStartupClick();
  void btnUninstallClick();
  void btnDeleteEntryClick();
  void btnRefresh1Click();
  void btnCheckAlll2Click();
  void lvAddRemoveClick();
  // The add-on page and the traces page (TfmMainFormBrowser.cpp).
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
  void buildTrayIcon();
  void ShowMainWindow();
  void HideMainWindow();
  void comeBackWhenTheTrayGoes();
  /// The last step of start-up: the autorun box mirrors the registry.
  void setAutorunBoxFromRegistry();
  void connectBackupHandlers();
  void ThreadBackupStart();
  void ThreadBackupExecute();
  void ThreadRestoreStart();
  void ThreadRestoreExecute();
  /// Sets the backup page's status label from a worker, in order with its other updates.
  void postBackupStatus(const std::string &text);
  void connectToolHandlers();
  void fillStartupPage();
  void fillAddRemovePage();
  void connectBrowserHandlers();
  /// Shows the message of an action that failed in the error message box.
  void showActionError(const repair::ActionResult &result);
  /// True when the registry may be changed; otherwise shows `refusedAction` and the reason in
  /// the error message box. Every action that changes the registry asks first.
  bool registryMayChange(const QString &refusedAction);
  /// Runs `action` over `list` on the list-action worker, showing `caption` and its progress,
  /// with the pages disabled until it ends; then shows a failure's message.
  void runListAction(lists::CheckableList &list, const QString &caption,
                     std::function<repair::ActionResult(lists::CheckableList &)> action);

  worker::UiDispatcher &m_dispatcher;
  UserMessages &m_messages;

  std::string m_programFolder;
  std::string m_backupFolder;
  std::string m_undoStorePath;
  platform::FileIdentity m_undoStoreVersion;
  std::string m_ignoreListPath;
  pugi::xml_document Restore_XMLDocument;
  pugi::xml_document IgnoreXML;
  QStringList m_startupNotices;
  bool m_shownBefore = false;
  bool m_closeWhenActionEnds = false;
  /// The page buttons, each with the index of its page; the one of the page in front is checked.
  QButtonGroup *m_pageButtons = nullptr;
  bool MinimizeToTray = false;
  /// Runs while the window is hidden to the notification area.
  QTimer *m_trayWatch = nullptr;
  std::string m_backupTarget;
  std::string m_restoreSource;
  std::chrono::milliseconds m_backupPause{1000};

  // Destroyed first (in the destructor), while the pages their handlers use still exist.
  std::unique_ptr<worker::TBMDThreadGroup> BMDThreadGroup1;
  std::unique_ptr<worker::TBMDThread> ScanErrorsThread;
  std::unique_ptr<worker::TBMDThread> ThreadBackup;
  std::unique_ptr<worker::TBMDThread> ThreadRestore;
  std::unique_ptr<ListActionThread> m_listAction;

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
