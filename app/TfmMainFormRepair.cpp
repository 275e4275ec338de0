// The main window's handlers of fixing, the restore history and the ignore list. Each is one or
// two calls into repair/, which records, erases, restores and saves; the window only hands over
// its lists, documents and typed texts, and shows a failed action's message.

#include "app/TfmMainForm.h"

#include "app/ListActionThread.h"
#include "app/UserMessages.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/IgnoreListPage.h"
#include "app/pages/ScanErrorsPage.h"
#include "repair/Fixing.h"
#include "repair/IgnoreList.h"
#include "registry/RegistryAccess.h"
#include "repair/RestoreHistory.h"
#include "scan/IgnoreIndex.h"

#include <QFrame>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

namespace tw::app {

void TfmMainForm::connectRepairHandlers() {
  connect(tabScanErrors->btnFixSelected, &QPushButton::clicked, this, &TfmMainForm::btnFixSelectedClick);
  connect(tabScanErrors->btnAdd2Ignore, &QPushButton::clicked, this, &TfmMainForm::btnAdd2IgnoreClick);
  connect(tabHistory->btnRestore, &QPushButton::clicked, this, &TfmMainForm::btnRestoreClick);
  connect(tabHistory->btnClearUndo, &QPushButton::clicked, this, &TfmMainForm::btnClearUndoClick);
  connect(tabHistory->btnCheckAll1, &QPushButton::clicked, this, &TfmMainForm::btnCheckAll1Click);
  connect(tabIgnoreList->btnAdd, &QPushButton::clicked, this, &TfmMainForm::btnAddClick);
  connect(tabIgnoreList->btnRemove, &QPushButton::clicked, this, &TfmMainForm::btnRemoveClick);
  connect(tabIgnoreList->btnCheckall2, &QPushButton::clicked, this, &TfmMainForm::btnCheckall2Click);
  connect(tabIgnoreList->btnUncheckall, &QPushButton::clicked, this, &TfmMainForm::btnUncheckallClick);
}

void TfmMainForm::showActionError(const repair::ActionResult &result) {
  if (!result) m_messages.showError(this, QString::fromStdString(result.message));
}

bool TfmMainForm::registryMayChange(const QString &refusedAction) {
  const std::string refusal = registryReadOnlyReason();
  if (refusal.empty()) return true;
  m_messages.showError(this, QStringLiteral("%1: %2").arg(refusedAction, QString::fromStdString(refusal)));
  return false;
}

void TfmMainForm::runListAction(lists::CheckableList &list, const QString &caption,
                                std::function<repair::ActionResult(lists::CheckableList &)> action) {
  const auto setBusy = [this](bool busy) {
    MainControl->setEnabled(!busy);
    pnlPageButtons->setEnabled(!busy);
    pbAction->setVisible(busy);
  };
  pbAction->setValue(0);
  pbAction->setFormat(caption + QStringLiteral(" %p%"));
  setBusy(true);
  const bool started = m_listAction->start(
      list, std::move(action), [this](int percent) { pbAction->setValue(percent); },
      [this, setBusy](const repair::ActionResult &result) {
        setBusy(false);
        showActionError(result);
        if (std::exchange(m_closeWhenActionEnds, false)) close();
      });
  if (!started) setBusy(false);
}

/// The ignore document as the repair routines change it: every change reaches the scan at once.
static repair::IgnoreListFile ignoreListFileOf(pugi::xml_document &document, const std::string &path,
                                               ScanErrorsPage *scanPage) {
  return {{document, path}, [scanPage](std::shared_ptr<const scan::IgnoreIndex> index) {
            scanPage->setIgnoreList(std::move(index));
          }};
}

void TfmMainForm::btnFixSelectedClick() {
  if (tabScanErrors->errors().checkedRows().empty()) return;
  if (!registryMayChange(QStringLiteral("Nothing was fixed"))) return;
  runListAction(tabScanErrors->errors(), QStringLiteral("Fixing the checked errors:"),
                [this](lists::CheckableList &errors) {
                  return repair::fixSelectedErrors(errors, undoStoreFile());
                });
}

void TfmMainForm::btnAdd2IgnoreClick() {
  showActionError(repair::addErrorsToIgnoreList(tabScanErrors->errors(), tabIgnoreList->entries(),
                                                ignoreListFileOf(IgnoreXML, m_ignoreListPath, tabScanErrors)));
}

void TfmMainForm::btnRefresh2Click() {
  // The history shows what another program saved meanwhile, too.
  std::string problem;
  repair::reloadChangedUndoStore(undoStoreFile(), problem);
  if (!problem.empty()) m_messages.showError(this, QString::fromStdString(problem));
  showActionError(repair::refreshHistory(tabHistory->history(), Restore_XMLDocument));
}

void TfmMainForm::btnRestoreClick() {
  if (tabHistory->history().checkedRows().empty()) {
    btnRefresh2Click(); // what a restore of nothing comes to
    return;
  }
  if (!registryMayChange(QStringLiteral("Nothing was restored"))) return;
  runListAction(tabHistory->history(), QStringLiteral("Restoring the checked records:"),
                [this](lists::CheckableList &history) {
                  return repair::restoreCheckedRecords(history, undoStoreFile());
                });
}

void TfmMainForm::btnClearUndoClick() {
  // The records are the only way back to what was fixed; they stay while the registry they
  // belong to may not be changed.
  if (!tabHistory->history().isEmpty() &&
      !registryMayChange(QStringLiteral("The restore history was not cleared")))
    return;
  showActionError(repair::clearHistory(tabHistory->history(), undoStoreFile()));
}

void TfmMainForm::btnCheckAll1Click() {
  const std::string caption = tabHistory->btnCheckAll1->text().toStdString();
  tabHistory->btnCheckAll1->setText(
      QString::fromStdString(repair::toggleHistoryChecks(tabHistory->history(), caption)));
}

void TfmMainForm::btnRefresh6Click() {
  showActionError(repair::refreshIgnoreList(tabIgnoreList->entries(), IgnoreXML));
}

void TfmMainForm::btnAddClick() {
  showActionError(repair::addTypedIgnoreEntry(
      tabIgnoreList->entries(), ignoreListFileOf(IgnoreXML, m_ignoreListPath, tabScanErrors),
      tabIgnoreList->edRoot->text().toStdString(), tabIgnoreList->edKeyName->text().toStdString(),
      tabIgnoreList->edValue->text().toStdString()));
}

void TfmMainForm::btnRemoveClick() {
  showActionError(repair::removeCheckedIgnoreEntries(
      tabIgnoreList->entries(), ignoreListFileOf(IgnoreXML, m_ignoreListPath, tabScanErrors)));
}

void TfmMainForm::btnCheckall2Click() { tabIgnoreList->entries().setAllChecked(true); }

void TfmMainForm::btnUncheckallClick() { tabIgnoreList->entries().setAllChecked(false); }

} // namespace tw::app
