// The scan page in the window: the start/stop button, the scan's start and end, stopping a scan,
// the check-all toggle, the ignore list, and closing the window while a scan runs.

#include "scan_page_test.h"

#include "WindowTestSupport.h"
#include "app/CheckableListModel.h"
#include "app/QtUiDispatcher.h"
#include "app/ScanUpdateQueue.h"
#include "app/TfmMainForm.h"
#include "app/pages/ScanErrorsPage.h"
#include "app/worker/TBMDThread.h"
#include "lists/CheckableList.h"
#include "scan/ScanLists.h"

#include <QGroupBox>
#include <QLabel>
#include <QTableView>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <set>

using tw::app::QtUiDispatcher;
using tw::app::ScanErrorsPage;
using tw::app::TfmMainForm;
using tw::scan::ScanEndKind;
using tw::test::RecordedMessages;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

constexpr int ScanTimeout = 60000;
constexpr int UninstallGroup = 10;
constexpr int FileExtensionsGroup = 11;

// Broken entries of three groups, found in the order Application, Uninstall, File Extensions.
const char *const BrokenEntries = R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\gone.exe]
@="C:\\Gone\\gone.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\lost.exe]
@="C:\\Lost\\lost.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone]
"UninstallString"="C:\\Gone\\uninst.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.xyz\OpenWithList]
"a"="gone.exe"
)reg";

const char *const GoneAppKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gone.exe";

struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;

  explicit Window(const char *registry = BrokenEntries, const char *ignoreXml = nullptr) {
    std::string error;
    if (!machine.importReg(registry, &error)) qFatal("test registry: %s", error.c_str());
    if (ignoreXml) TestMachine::writeFile(machine.currentFolder() / "ignore.xml", ignoreXml);
    form = std::make_unique<TfmMainForm>(dispatcher, messages);
    form->show();
  }
  ScanErrorsPage &page() { return *form->scanErrorsPage(); }
  tw::lists::CheckableList &errors() { return page().errors(); }
  tw::lists::CheckableList &groups() { return page().scanGroups(); }
  QString count(int group) {
    return QString::fromStdString(groups().row(group).subItem(tw::scan::GroupCountSubItem));
  }
  std::vector<std::string> errorTypes() {
    std::vector<std::string> types;
    for (int i = 0; i < errors().count(); ++i) types.push_back(errors().row(i).caption);
    return types;
  }
  bool scanEnded() { return page().btnStartScan->text() == QStringLiteral("Start &Scan"); }
  void checkOnly(std::initializer_list<int> checked) {
    const std::set<int> wanted(checked);
    for (int i = 0; i < groups().count(); ++i)
      page().scanGroupsModel()->setData(page().scanGroupsModel()->index(i, 0),
                                        wanted.count(i) ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  }
};

/// A registry with more broken uninstall entries than a scan may queue ahead of the page, so that
/// a scan that nobody lets the event loop serve stays inside the Uninstall group.
std::string manyBrokenUninstallEntries(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App" +
            std::to_string(i) + "]\n\"UninstallString\"=\"C:\\\\Gone\\\\uninst" + std::to_string(i) +
            ".exe\"\n";
  // A broken file extension: found if the group after Uninstall ran.
  text += "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.xyz]\n";
  return text;
}

} // namespace

void ScanPageTest::layoutAndCaptions() {
  Window w;
  ScanErrorsPage &page = w.page();
  QCOMPARE(page.lvScanGroups->height(), 227);
  QCOMPARE(page.GroupBox1->title(), QStringLiteral("&Control Panel "));
  const QList<QPair<QPushButton *, QString>> buttons = {{page.btnStartScan, "Start &Scan"},
                                                         {page.btnFixSelected, "Fix S&elected"},
                                                         {page.btnCheckAll, "&Check All"},
                                                         {page.btnAdd2Ignore, "&Add to Ignore List"}};
  int previousRight = -1;
  for (const auto &[button, caption] : buttons) {
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->height(), 25);
    QCOMPARE(button->parentWidget(), page.GroupBox1);
    QVERIFY(page.GroupBox1->contentsRect().contains(button->geometry())); // whole, inside its box
    QVERIFY(button->x() > previousRight); // side by side from the left, in this order
    previousRight = button->geometry().right();
  }
  QCOMPARE(page.btnAdd2Ignore->width(), 117);
  QVERIFY(!page.btnFixSelected->isEnabled());
  QVERIFY(page.lblScanLabel->text().isEmpty());

  // Twelve groups in their order, checked, count "0"; the error list sorts by type.
  QCOMPARE(w.groups().count(), 12);
  QCOMPARE(w.groups().row(4).caption, std::string("Most Recently Used List (MRU)"));
  QCOMPARE(w.groups().checkedRows().size(), std::size_t{12});
  QVERIFY(w.errors().isSorted());
  QCOMPARE(page.errorsModel()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Guess Path"));
}

void ScanPageTest::scanRunsToItsEndWithSortedRowsAndCounts() {
  Window w;
  ScanErrorsPage &page = w.page();
  w.form->toolToolbar->click(); // the scan's end brings the scan page back
  page.btnStartScan->click();
  // The start handler has run before the worker begins.
  QCOMPARE(page.btnStartScan->text(), QStringLiteral("Stop &Scan"));
  QCOMPARE(page.btnCheckAll->text(), QStringLiteral("&Uncheck All"));
  QVERIFY(!page.btnFixSelected->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);

  QCOMPARE(page.lblScanLabel->text(), QStringLiteral("Scan done !"));
  QVERIFY(page.btnFixSelected->isEnabled());
  QCOMPARE(w.form->MainControl->currentWidget(), &page);
  QCOMPARE(w.errorTypes(), (std::vector<std::string>{"Application", "Application", "File Extensions", "Uninstall"}));
  QCOMPARE(w.count(0), QStringLiteral("2"));
  QCOMPARE(w.count(UninstallGroup), QStringLiteral("1"));
  QCOMPARE(w.count(FileExtensionsGroup), QStringLiteral("1"));
  QCOMPARE(w.count(4), QStringLiteral("0"));
  QCOMPARE(page.lastScanResult().kind, ScanEndKind::Completed);
  for (int i = 0; i < w.errors().count(); ++i) QVERIFY(w.errors().row(i).checked);

  // The next scan starts from nothing: counts "0" and no rows, before its worker runs.
  page.btnStartScan->click();
  QVERIFY(w.errors().isEmpty());
  QCOMPARE(w.count(0), QStringLiteral("0"));
  QCOMPARE(w.count(UninstallGroup), QStringLiteral("0"));
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.errors().count(), 4);
}

void ScanPageTest::scanWithNothingToRunEndsAtOnce() {
  QFETCH(bool, mruChecked);
  Window w;
  if (mruChecked)
    w.checkOnly({4});
  else
    w.checkOnly({});
  w.page().btnStartScan->click();
  QCOMPARE(w.page().btnStartScan->text(), QStringLiteral("Stop &Scan"));
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.page().lblScanLabel->text(), QStringLiteral("Scan done !"));
  QVERIFY(w.errors().isEmpty());
  for (int i = 0; i < 12; ++i) QCOMPARE(w.count(i), QStringLiteral("0"));
}

void ScanPageTest::scanWithNothingToRunEndsAtOnce_data() {
  QTest::addColumn<bool>("mruChecked");
  QTest::newRow("only the MRU group") << true;
  QTest::newRow("no group") << false;
}

void ScanPageTest::uncheckedGroupIsSkipped() {
  Window w;
  w.checkOnly({0, FileExtensionsGroup});
  w.page().btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.errorTypes(), (std::vector<std::string>{"Application", "Application", "File Extensions"}));
}

void ScanPageTest::stopDuringUninstallKeepsRowsAndRunsNoLaterGroup() {
  Window w(manyBrokenUninstallEntries(9000).c_str());
  w.checkOnly({UninstallGroup, FileExtensionsGroup});
  ScanErrorsPage &page = w.page();
  page.btnStartScan->click();
  // While this thread serves no events the worker fills the queue and then waits inside the
  // Uninstall group; the stop comes there.
  QDeadlineTimer deadline(ScanTimeout);
  while (page.pendingRowCount() < tw::app::ScanUpdateQueue::MaxQueuedRows && !deadline.hasExpired())
    QThread::msleep(1);
  QCOMPARE(page.pendingRowCount(), tw::app::ScanUpdateQueue::MaxQueuedRows);
  page.btnStartScan->click();
  QCOMPARE(page.btnStartScan->text(), QStringLiteral("Stop &Scan")); // the scan's end changes it
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);

  QCOMPARE(page.lblScanLabel->text(), QStringLiteral("Scan done !"));
  QCOMPARE(page.lastScanResult().kind, ScanEndKind::Stopped);
  // The rows found before the stop stay; the scanner stopped after the entry it was on (the one
  // whose row waited for the queue, or the one before when the stop came in between).
  const int found = w.errors().count();
  const int queued = int(tw::app::ScanUpdateQueue::MaxQueuedRows);
  QVERIFY2(found == queued || found == queued + 1, qPrintable(QString::number(found)));
  for (const std::string &type : w.errorTypes()) QCOMPARE(type, std::string("Uninstall"));
  QCOMPARE(w.count(UninstallGroup), QStringLiteral("0"));
  QCOMPARE(w.count(FileExtensionsGroup), QStringLiteral("0"));
}

void ScanPageTest::checkAllTogglesTheErrorRowsOnly() {
  Window w;
  ScanErrorsPage &page = w.page();
  page.btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(page.btnCheckAll->text(), QStringLiteral("&Uncheck All"));

  page.btnCheckAll->click();
  QCOMPARE(page.btnCheckAll->text(), QStringLiteral("&Check All"));
  QVERIFY(w.errors().checkedRows().empty());
  QCOMPARE(w.groups().checkedRows().size(), std::size_t{12});

  page.btnCheckAll->click();
  QCOMPARE(page.btnCheckAll->text(), QStringLiteral("&Uncheck All"));
  QCOMPARE(w.errors().checkedRows().size(), std::size_t(w.errors().count()));
}

void ScanPageTest::ignoreEntryHidesExactlyItsKeyText() {
  QFETCH(QString, ignoreXml);
  QFETCH(int, applicationRows);
  Window w(BrokenEntries, ignoreXml.toUtf8().constData());
  w.checkOnly({0});
  w.page().btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.errors().count(), applicationRows);
  // The count leaves out what the ignore list hid.
  QCOMPARE(w.count(0), QString::number(applicationRows));
}

void ScanPageTest::ignoreEntryHidesExactlyItsKeyText_data() {
  QTest::addColumn<QString>("ignoreXml");
  QTest::addColumn<int>("applicationRows");
  const QString entry = QStringLiteral(
      R"(<IgnoreList><%1 ROOT="HKEY_LOCAL_MACHINE" KEY="SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths" VALUE="%2"/></IgnoreList>)");
  QTest::newRow("exact") << entry.arg("ERROR", "gone.exe") << 1;
  QTest::newRow("other letter case") << entry.arg("ERROR", "GONE.EXE") << 2;
  QTest::newRow("element not named ERROR") << entry.arg("KEEP", "gone.exe") << 1;
  QTest::newRow("no entries") << QStringLiteral("<IgnoreList/>") << 2;
}

void ScanPageTest::ignoreListChangedDuringTheRunIsUsedFromThenOn() {
  Window w;
  w.checkOnly({0});
  pugi::xml_node entry = w.form->ignoreDocument().document_element().append_child("ERROR");
  entry.append_attribute("ROOT") = "HKEY_LOCAL_MACHINE";
  entry.append_attribute("KEY") = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
  entry.append_attribute("VALUE") = "gone.exe";
  w.page().btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.errors().count(), 2); // the document changed, but nobody said so

  w.form->ignoreListChanged();
  w.page().btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  QCOMPARE(w.errors().count(), 1);
  QVERIFY(w.errors().row(0).subItem(tw::scan::KeyNameSubItem) != GoneAppKey);
}

void ScanPageTest::openingTheScanPageKeepsRowsOrResetsGroups() {
  Window w;
  ScanErrorsPage &page = w.page();
  page.btnStartScan->click();
  QTRY_VERIFY_WITH_TIMEOUT(w.scanEnded(), ScanTimeout);
  w.checkOnly({0});
  w.form->toolHistory->click();
  w.form->toolScanErrors->click();
  // Rows there: the groups keep their counts and check marks.
  QCOMPARE(w.count(0), QStringLiteral("2"));
  QCOMPARE(w.groups().checkedRows(), std::vector<int>{0});

  w.errors().clear();
  w.form->toolScanErrors->click();
  QCOMPARE(w.count(0), QStringLiteral("0"));
  QCOMPARE(w.groups().checkedRows().size(), std::size_t{12});
}

void ScanPageTest::closingDuringAScanStopsItAndExitWaits() {
  auto w = std::make_unique<Window>(manyBrokenUninstallEntries(9000).c_str());
  w->checkOnly({UninstallGroup});
  w->page().btnStartScan->click();
  // The worker waits for the page to take its rows: only the event loop can let it go on.
  QDeadlineTimer deadline(ScanTimeout);
  while (w->page().pendingRowCount() < tw::app::ScanUpdateQueue::MaxQueuedRows && !deadline.hasExpired())
    QThread::msleep(1);
  tw::worker::TBMDThread &thread = w->form->scanErrorsThread();
  QVERIFY(thread.IsRunning());
  QVERIFY(w->form->close()); // asks the scan to stop and writes the undo store
  QVERIFY(fs::exists(w->machine.programFolder() / "Backup.xml"));
  QVERIFY(thread.Worker()->Terminated());
  // Destroying the window waits for the worker, serving its events meanwhile.
  w->form.reset();
  QVERIFY(w->messages.errors.isEmpty());
}
