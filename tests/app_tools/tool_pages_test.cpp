// The startup and uninstall pages of the window, driven through the page buttons, their check
// boxes (clicked where the user clicks them) and their control panels.

#include "WindowTestSupport.h"

#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/pages/AddRemovePage.h"
#include "app/pages/StartupPage.h"
#include "lists/CheckableList.h"
#include "registry/RegistryAccess.h"
#include "tools/uStartup.h"

#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <memory>

using tw::app::QtUiDispatcher;
using tw::app::TfmMainForm;
using tw::test::RecordedMessages;
using tw::test::TestMachine;

namespace {

const std::string Run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string Records = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
const std::string Uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

const char *const Entries = R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="6.1"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"Agent"="C:\\agent.exe /quiet"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Mail"="C:\\mail.exe -min"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zed]
"DisplayName"="Zed Editor"
"UninstallString"="C:\\zed\\uninstall.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tool1]
"DisplayName"="Tool"
"UninstallString"="C:\\tool1\\uninstall.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tool2]
"DisplayName"="Tool"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Hidden]
"UninstallString"="C:\\hidden\\uninstall.exe"
)reg";

struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;

  explicit Window(const char *reg = Entries) {
    std::string error;
    if (!machine.importReg(reg, &error)) qFatal("test registry: %s", error.c_str());
  }
  void open() {
    form = std::make_unique<TfmMainForm>(dispatcher, messages);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  tw::app::StartupPage &startup() { return *form->startupPage(); }
  tw::app::AddRemovePage &addRemove() { return *form->addRemovePage(); }
  tw::lists::CheckableList &startupRows() { return startup().startupItems(); }
  tw::lists::CheckableList &entryRows() { return addRemove().entries(); }
};

/// Clicks the check box of a row where the user would.
void clickCheckBox(QTableView *view, int row) {
  const QModelIndex index = view->model()->index(row, 0);
  view->scrollTo(index);
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = view->visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
}

int rowNamed(const tw::lists::CheckableList &list, const std::string &caption) {
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).caption == caption) return i;
  return -1;
}

std::string readText(tw::RootKey root, const std::string &key, const std::string &name) {
  tw::TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKeyForRead(key)) return "(no key)";
  if (registry.ValueSize(name) < 0) return "(no value)";
  return registry.ReadText(name);
}

} // namespace

class ToolPagesTest : public QObject {
  Q_OBJECT

private slots:
  void startupPageListsOnceAndApplyMovesCheckedChanges();
  void applyButtonFollowsClicksInTheList();
  void unknownWindowsListsNothingButApplyStillTellsToRestart();
  void uninstallPageListsSortedAndDeletesOnlyWhatIsConfirmed();
  void checkAllTogglesAndUninstallWithoutWineTellsTheUser();
};

void ToolPagesTest::startupPageListsOnceAndApplyMovesCheckedChanges() {
  Window w;
  w.open();
  w.form->toolStartup->click();
  QCOMPARE(w.form->MainControl->currentWidget(), static_cast<QWidget *>(&w.startup()));
  QCOMPARE(w.startupRows().count(), 2);
  // A second visit does not read the registry again.
  QVERIFY(w.machine.importReg("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n\"Late\"=\"C:\\\\late.exe\"\n"));
  w.form->toolAddRemove->click();
  w.form->toolStartup->click();
  QCOMPARE(w.startupRows().count(), 2);
  w.startup().btnRefresh->click();
  QCOMPARE(w.startupRows().count(), 3);

  const int mail = rowNamed(w.startupRows(), "Mail");
  clickCheckBox(w.startup().lvStartup, mail);
  QVERIFY(!w.startupRows().row(mail).checked);
  w.startup().btnApply->click();
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  QCOMPARE(w.messages.notices, QStringList{QStringLiteral("You must restart the computer to apply the changes.")});
  QVERIFY(!w.startup().btnApply->isEnabled());
  QCOMPARE(readText(tw::HKEY_CURRENT_USER, Run, "Mail"), std::string("(no value)"));
  QCOMPARE(readText(tw::HKEY_LOCAL_MACHINE, Records + "\\Mail", "hkey"), std::string("HKCU"));
  // Read again: Mail is listed once, disabled, after the active entries.
  QCOMPARE(w.startupRows().count(), 3);
  QCOMPARE(w.startupRows().row(2).caption, std::string("Mail"));
  QVERIFY(!w.startupRows().row(2).checked);

  clickCheckBox(w.startup().lvStartup, 2);
  w.startup().btnApply->click();
  QCOMPARE(readText(tw::HKEY_CURRENT_USER, Run, "Mail"), std::string("C:\\mail.exe -min"));
  QCOMPARE(readText(tw::HKEY_LOCAL_MACHINE, Records + "\\Mail", "hkey"), std::string("(no key)"));
}

void ToolPagesTest::applyButtonFollowsClicksInTheList() {
  Window w;
  w.open();
  w.form->toolStartup->click();
  QVERIFY(w.startup().btnApply->isEnabled()); // enabled when the window is made
  QTableView *view = w.startup().lvStartup;
  clickCheckBox(view, 0);
  QVERIFY(w.startup().btnApply->isEnabled());
  clickCheckBox(view, 0); // back as listed: nothing pending
  QVERIFY(!w.startup().btnApply->isEnabled());
  // UnCheck All leaves the button as it is; a click in the list brings it up to date.
  w.startup().btnDisable->click();
  QVERIFY(w.startupRows().checkedRows().empty());
  QVERIFY(!w.startup().btnApply->isEnabled());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 1)).center());
  QVERIFY(w.startup().btnApply->isEnabled());
  w.startup().btnEnable->click();
  QCOMPARE(w.startupRows().checkedRows().size(), std::size_t{2});
  QVERIFY(w.startup().btnApply->isEnabled());
}

void ToolPagesTest::unknownWindowsListsNothingButApplyStillTellsToRestart() {
  Window w;
  QVERIFY(w.machine.importReg("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n\"CurrentVersion\"=\"5.3\"\n"));
  w.open();
  w.form->toolStartup->click();
  QCOMPARE(w.startupRows().count(), 0);
  w.startup().btnApply->click();
  QCOMPARE(w.messages.notices.size(), 1);
  QVERIFY(w.messages.errors.isEmpty());
}

void ToolPagesTest::uninstallPageListsSortedAndDeletesOnlyWhatIsConfirmed() {
  Window w;
  w.open();
  w.form->toolAddRemove->click();
  tw::app::AddRemovePage &page = w.addRemove();
  QCOMPARE(page.lvAddRemove->model()->columnCount(), 2);
  QCOMPARE(w.entryRows().count(), 3);
  QCOMPARE(w.entryRows().row(0).caption, std::string("Tool"));
  QCOMPARE(w.entryRows().row(1).caption, std::string("Tool"));
  QCOMPARE(w.entryRows().row(2).caption, std::string("Zed Editor"));
  QVERIFY(!page.btnUninstall->isEnabled());
  QVERIFY(!page.btnDeleteEntry->isEnabled());

  const int tool2 = w.entryRows().row(0).data.ends_with("Tool2") ? 0 : 1;
  clickCheckBox(page.lvAddRemove, tool2);
  QVERIFY(page.btnUninstall->isEnabled());
  QVERIFY(page.btnDeleteEntry->isEnabled());

  w.messages.confirmAnswer = false;
  page.btnDeleteEntry->click();
  QCOMPARE(w.messages.questions, QStringList{QStringLiteral("Are you sure to delete the key(s)?")});
  QVERIFY(tw::RegKeyExists(tw::HKEY_LOCAL_MACHINE, Uninstall + "\\Tool2"));
  QCOMPARE(w.entryRows().count(), 3);
  QVERIFY(w.entryRows().row(tool2).checked);

  w.messages.confirmAnswer = true;
  page.btnDeleteEntry->click();
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  QVERIFY(!tw::RegKeyExists(tw::HKEY_LOCAL_MACHINE, Uninstall + "\\Tool2"));
  QVERIFY(tw::RegKeyExists(tw::HKEY_LOCAL_MACHINE, Uninstall + "\\Tool1"));
  QVERIFY(tw::RegKeyExists(tw::HKEY_LOCAL_MACHINE, Uninstall + "\\Hidden"));
  QCOMPARE(w.entryRows().count(), 2);
  QVERIFY(w.entryRows().checkedRows().empty());
  // The buttons keep their state after the list is read again.
  QVERIFY(page.btnDeleteEntry->isEnabled());
}

void ToolPagesTest::checkAllTogglesAndUninstallWithoutWineTellsTheUser() {
  Window w;
  w.open();
  w.form->toolAddRemove->click();
  tw::app::AddRemovePage &page = w.addRemove();
  page.btnCheckAlll2->click();
  QCOMPARE(page.btnCheckAlll2->text(), QStringLiteral("&Uncheck All"));
  QCOMPARE(w.entryRows().checkedRows().size(), std::size_t{3});
  QVERIFY(page.btnUninstall->isEnabled());

  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray("/nonexistent"));
  page.btnUninstall->click();
  qputenv("PATH", path);
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors.at(0).startsWith(QStringLiteral("Starting uninstallers needs Wine")),
           qPrintable(w.messages.errors.at(0)));

  page.btnCheckAlll2->click();
  QCOMPARE(page.btnCheckAlll2->text(), QStringLiteral("&Check All"));
  QVERIFY(w.entryRows().checkedRows().empty());
  QVERIFY(!page.btnUninstall->isEnabled());
  QVERIFY(!page.btnDeleteEntry->isEnabled());
}

QTEST_MAIN(ToolPagesTest)
#include "tool_pages_test.moc"
