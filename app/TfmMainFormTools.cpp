// The main window's handlers of the startup manager and the uninstall manager. Each is one or
// two calls into tools/, which reads and changes the registry; the window hands over the page's
// list and shows what the user must know.

#include "app/TfmMainForm.h"

#include "app/UserMessages.h"
#include "app/pages/AddRemovePage.h"
#include "app/pages/StartupPage.h"
#include "tools/uAddRemove.h"
#include "tools/uStartup.h"

#include <QPushButton>
#include <QTableView>

namespace tw::app {

static const QString CheckAllCaption = QStringLiteral("&Check All");
static const QString UncheckAllCaption = QStringLiteral("&Uncheck All");

void TfmMainForm::connectToolHandlers() {
  connect(tabStartup->btnRefresh, &QPushButton::clicked, this, &TfmMainForm::btnRefreshClick);
  connect(tabStartup->btnApply, &QPushButton::clicked, this, &TfmMainForm::btnApplyClick);
  connect(tabStartup->btnEnable, &QPushButton::clicked, this, &TfmMainForm::btnEnableClick);
  connect(tabStartup->btnDisable, &QPushButton::clicked, this, &TfmMainForm::btnDisableClick);
  connect(tabStartup->lvStartup, &QTableView::clicked, this, &TfmMainForm::lvStartupClick);
  connect(tabAddRemove->btnUninstall, &QPushButton::clicked, this, &TfmMainForm::btnUninstallClick);
  connect(tabAddRemove->btnDeleteEntry, &QPushButton::clicked, this, &TfmMainForm::btnDeleteEntryClick);
  connect(tabAddRemove->btnRefresh1, &QPushButton::clicked, this, &TfmMainForm::btnRefresh1Click);
  connect(tabAddRemove->btnCheckAlll2, &QPushButton::clicked, this, &TfmMainForm::btnCheckAlll2Click);
  connect(tabAddRemove->lvAddRemove, &QTableView::clicked, this, &TfmMainForm::lvAddRemoveClick);
}

// --- Startup Programs --------------------------------------------------------------------

void TfmMainForm::fillStartupPage() {
  showActionError(tools::fillStartupList(tabStartup->startupItems(), tabStartup->startupStates(),
                                         tools::startupWindowsKind()));
}

void TfmMainForm::btnRefreshClick() { fillStartupPage(); }

void TfmMainForm::btnApplyClick() {
  showActionError(tools::applyStartupChanges(tabStartup->startupItems(), tabStartup->startupStates(),
                                             tools::startupWindowsKind()));
  tabStartup->btnApply->setEnabled(false);
  m_messages.showInformation(this, QString::fromLatin1(tools::RestartMessage.data(),
                                                       static_cast<qsizetype>(tools::RestartMessage.size())));
  btnRefreshClick();
}

void TfmMainForm::btnEnableClick() { tabStartup->startupItems().setAllChecked(true); }

void TfmMainForm::btnDisableClick() { tabStartup->startupItems().setAllChecked(false); }

void TfmMainForm::lvStartupClick() {
  // Enabled at the first pending change; disabled again only when nothing is pending.
  if (tools::startupChangesPending(tabStartup->startupItems(), tabStartup->startupStates()))
    tabStartup->btnApply->setEnabled(true);
  else if (tabStartup->btnApply->isEnabled())
    tabStartup->btnApply->setEnabled(false);
}

// --- Uninstall Manager -------------------------------------------------------------------

void TfmMainForm::fillAddRemovePage() { showActionError(tools::ListUninstallEntries(tabAddRemove->entries())); }

void TfmMainForm::btnRefresh1Click() { fillAddRemovePage(); }

void TfmMainForm::btnUninstallClick() { showActionError(tools::startCheckedUninstallers(tabAddRemove->entries())); }

void TfmMainForm::btnDeleteEntryClick() {
  const QString question = QString::fromLatin1(tools::DeleteEntriesQuestion.data(),
                                               static_cast<qsizetype>(tools::DeleteEntriesQuestion.size()));
  if (!m_messages.confirm(this, question)) return;
  showActionError(tools::DeleteCheckedUninstallEntries(tabAddRemove->entries()));
  fillAddRemovePage();
}

void TfmMainForm::btnCheckAlll2Click() {
  const bool checkAll = tabAddRemove->btnCheckAlll2->text() == CheckAllCaption;
  tabAddRemove->btnCheckAlll2->setText(checkAll ? UncheckAllCaption : CheckAllCaption);
  tabAddRemove->entries().setAllChecked(checkAll);
  tabAddRemove->btnUninstall->setEnabled(checkAll);
  tabAddRemove->btnDeleteEntry->setEnabled(checkAll);
}

void TfmMainForm::lvAddRemoveClick() {
  const bool anyChecked = !tabAddRemove->entries().checkedRows().empty();
  tabAddRemove->btnUninstall->setEnabled(anyChecked);
  tabAddRemove->btnDeleteEntry->setEnabled(anyChecked);
}

} // namespace tw::app
