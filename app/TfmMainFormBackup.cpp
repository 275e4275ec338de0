// The main window's handlers of the backup page. The restore points, the registry-editor runs
// and what a run reports live in backup/; the window binds them to the page and to the two
// workers, whose status texts reach the page through the UI thread in the order they were
// written.

#include "app/TfmMainForm.h"

#include "app/ProgramFiles.h"
#include "app/UserMessages.h"
#include "app/pages/BackupPage.h"
#include "app/worker/TBMDThread.h"
#include "app/worker/UiDispatcher.h"
#include "backup/BackupRun.h"
#include "backup/FolderEmptying.h"
#include "backup/RestorePoints.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"

#include <QPointer>

#include <thread>

namespace tw::app {

void TfmMainForm::connectBackupHandlers() {
  connect(this, &TfmMainForm::backupPageOpening, this, &TfmMainForm::enterBackupPage);
  connect(tabBackup, &BackupPage::backupRequested, this, &TfmMainForm::btnBackupClick);
  connect(tabBackup, &BackupPage::restoreRequested, this, &TfmMainForm::btnRestore1Click);
  connect(tabBackup, &BackupPage::refreshRequested, this, &TfmMainForm::btRefreshClick);
  connect(tabBackup, &BackupPage::deleteRequested, this, &TfmMainForm::btDelClick);
  ThreadBackup->OnStart = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) { ThreadBackupStart(); };
  ThreadBackup->OnExecute = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) { ThreadBackupExecute(); };
  ThreadRestore->OnStart = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) { ThreadRestoreStart(); };
  ThreadRestore->OnExecute = [this](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) { ThreadRestoreExecute(); };
}

void TfmMainForm::enterBackupPage() {
  // The folders are worked out afresh, and the Backup folder made again if it went away. The
  // process's current folder is left alone: the editor runs get their folders directly.
  const ProgramFiles files = setUpProgramFiles(platform::machine());
  m_programFolder = files.programFolder;
  m_backupFolder = files.backupFolder;
  tabBackup->showRestorePoints(backup::listRestorePoints(platform::machine().files(), m_backupFolder));
}

void TfmMainForm::btRefreshClick() {
  tabBackup->appendRestorePoints(backup::newRestorePoints(
      tabBackup->restorePoints(), backup::listRestorePoints(platform::machine().files(), m_backupFolder)));
}

void TfmMainForm::btDelClick() {
  const std::string name = tabBackup->selectedRestorePoint();
  if (name.empty()) return;
  backup::deleteRestorePoint(platform::machine().files(), m_backupFolder, name,
                             [this](const std::string &message) {
                               m_messages.showError(this, QString::fromStdString(message));
                             });
  tabBackup->removeRestorePoint(name);
}

void TfmMainForm::btnBackupClick() { ThreadBackup->Start(); }

void TfmMainForm::btnRestore1Click() {
  // Importing from a folder the user did not pick, or into a registry that belongs to a
  // running wineserver, would only pretend: say why instead.
  if (ThreadRestore->IsRunning()) return;
  const std::string name = tabBackup->selectedRestorePoint();
  const std::string source = name.empty() ? std::string() : withTrailingBackslash(m_backupFolder) + name;
  if (const std::string reason = backup::whyRestoreCannotRun(platform::machine(), source); !reason.empty()) {
    m_messages.showInformation(this, QStringLiteral("Nothing was restored: %1.").arg(QString::fromStdString(reason)));
    return;
  }
  ThreadRestore->Start();
}

void TfmMainForm::ThreadBackupStart() {
  const std::string name = backup::restorePointNameNow();
  m_backupTarget = backup::createRestorePoint(platform::machine(), m_backupFolder, name);
  if (m_backupTarget.empty()) m_backupTarget = withTrailingBackslash(m_backupFolder) + name;
}

void TfmMainForm::postBackupStatus(const std::string &text) {
  QPointer<BackupPage> page = tabBackup;
  m_dispatcher.post([page, text] {
    if (page) page->setStatus(text);
  });
}

void TfmMainForm::ThreadBackupExecute() {
  platform::Machine &machine = platform::machine();
  const std::string target = m_backupTarget;
  const std::string folder = machine.files().directoryExists(target) ? target : std::string();
  const std::chrono::milliseconds pause = m_backupPause;
  const backup::RunReport report = backup::runBackup(
      machine, folder, [this](const std::string &text) { postBackupStatus(text); },
      [pause] { std::this_thread::sleep_for(pause); });
  QPointer<TfmMainForm> self = this;
  m_dispatcher.post([self, report, target] {
    if (!self) return;
    self->btRefreshClick();
    backup::RunReport shown = report;
    shown.restorePoint = target;
    if (const std::string text = shown.description(); !text.empty())
      self->m_messages.showError(self, QString::fromStdString(text));
  });
}

void TfmMainForm::ThreadRestoreStart() {
  m_restoreSource = withTrailingBackslash(m_backupFolder) + tabBackup->selectedRestorePoint();
}

void TfmMainForm::ThreadRestoreExecute() {
  const backup::RunReport report = backup::runRestore(
      platform::machine(), m_restoreSource, [this](const std::string &text) { postBackupStatus(text); });
  QPointer<TfmMainForm> self = this;
  m_dispatcher.post([self, report] {
    if (!self) return;
    if (const std::string text = report.description(); !text.empty())
      self->m_messages.showError(self, QString::fromStdString(text));
  });
}

} // namespace tw::app
