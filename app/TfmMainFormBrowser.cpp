// The main window's handlers of the add-on page and the traces page. The add-on routines live in
// tools/; the window hands over its list and the undo store and shows what they report. The
// traces page runs its own work and tells the window what to show.

#include "app/TfmMainForm.h"

#include "app/UserMessages.h"
#include "app/pages/IETracesPage.h"
#include "app/pages/ToolbarPage.h"
#include "repair/ActionResult.h"
#include "tools/Toolbar_Unit.h"

namespace tw::app {

void TfmMainForm::connectBrowserHandlers() {
  connect(tabToolbar, &ToolbarPage::scanRequested, this, &TfmMainForm::ScanToolbar_BitBtnClick);
  connect(tabToolbar, &ToolbarPage::deleteRequested, this, &TfmMainForm::Del_SpeedButtonClick);
  connect(tabIE, &IETracesPage::scanEnded, this, [this](const QString &notices) {
    if (!notices.isEmpty()) m_messages.showInformation(this, notices);
  });
  connect(tabIE, &IETracesPage::cleanupEnded, this, [this](const QString &failure, const QString &finished) {
    if (!failure.isEmpty()) m_messages.showError(this, failure);
    m_messages.showInformation(this, finished);
  });
}

void TfmMainForm::ScanToolbar_BitBtnClick() {
  showActionError(tools::ScanAddons(tabToolbar->addons(), tabToolbar->displayedKinds()));
}

void TfmMainForm::Del_SpeedButtonClick() {
  if (tabToolbar->addons().checkedRows().empty()) return;
  if (!registryMayChange(QStringLiteral("Nothing was removed"))) return;
  const tools::AddonRemovalResult removal = tools::RemoveCheckedAddons(undoStoreFile(), tabToolbar->addons());
  for (const std::string &refusal : removal.refusals)
    m_messages.showInformation(this, QString::fromStdString(refusal));
  showActionError(removal.result);
  // A value that could not be read ends the pass without a new scan, as the list then shows
  // what the user chose from; otherwise the list shows what the registry still holds.
  if (removal.result.status == repair::ActionResult::Status::RegistryRefused) return;
  ScanToolbar_BitBtnClick();
}

} // namespace tw::app
