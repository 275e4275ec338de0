// The add-on page and the traces page of the window, driven through their buttons, check boxes
// and lists.

#include "WindowTestSupport.h"

#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/IETracesPage.h"
#include "app/pages/ToolbarPage.h"
#include "lists/CheckableList.h"
#include "registry/RegistryAccess.h"
#include "tools/Toolbar_Unit.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <memory>

using tw::app::QtUiDispatcher;
using tw::app::TfmMainForm;
using tw::test::RecordedMessages;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

constexpr int WorkTimeout = 60000;

const char *const Addons = R"reg(
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser]
"{00000000-0000-0000-0000-0000000000b1}"=hex:01
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b1}]
@="&Links"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-0000000000a1}"=""
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000a1}]
@="Foo"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer]
"DownloadUI"="{00000000-0000-0000-0000-0000000000e1}"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}]
@="Fetcher"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}\InprocServer32]
@="C:\\Fetcher\\fetch.dll"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\&Send to Foo]
@="C:\\foo.htm"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Cache"="C:\\users\\me\\Cache"
"History"="C:\\users\\me\\History"
"Favorites"="Z:\\tmp"
[HKEY_CURRENT_USER\Environment]
"TEMP"="C:\\users\\me\\Temp"
)reg";

struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;

  Window() {
    std::string error;
    if (!machine.importReg(Addons, &error)) qFatal("test registry: %s", error.c_str());
    form = std::make_unique<TfmMainForm>(dispatcher, messages);
    form->show();
  }
  tw::app::ToolbarPage &addonPage() { return *form->toolbarPage(); }
  tw::app::IETracesPage &tracesPage() { return *form->ieTracesPage(); }
  tw::lists::CheckableList &addons() { return addonPage().addons(); }

  QStringList addonNames() {
    QStringList names;
    for (int i = 0; i < addons().count(); ++i) names << QString::fromStdString(addons().row(i).caption);
    return names;
  }
  /// Sets a row's check box as a click on it would, through the view's model.
  static void setChecked(QTableView *view, int row, bool checked) {
    QAbstractItemModel *model = view->model();
    model->setData(model->index(row, 0), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  }
  void checkAddon(const QString &name) {
    const int row = static_cast<int>(addonNames().indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    setChecked(addonPage().lvBHO, row, true);
  }
  fs::path hostOf(const std::string &below) { return machine.prefix() / "drive_c" / below; }
  void makeFile(const std::string &below) { TestMachine::writeFile(hostOf(below), "data"); }
  bool waitForTraces() {
    return QTest::qWaitFor([&] { return !tracesPage().isBusy() && tracesPage().btnTempScan->isEnabled(); },
                           WorkTimeout);
  }
};

} // namespace

class BrowserPagesTest : public QObject {
  Q_OBJECT

private slots:
  void addonPageListsOnEveryVisitAndFollowsTheDisplayBoxes();
  void deleteRecordsRefusesAndScansAgain();
  void tracesScanRunsOnTheWorkerAndCleanupDeletesCheckedFiles();
  void tracesScanSaysWhyAFolderIsSkipped();
};

void BrowserPagesTest::addonPageListsOnEveryVisitAndFollowsTheDisplayBoxes() {
  Window w;
  w.form->toolToolbar->click();
  QCOMPARE(w.form->MainControl->currentWidget(), &w.addonPage());
  QCOMPARE(w.addonNames(), (QStringList{"Fetcher", "Foo Toolbar", "Links Toolbar", "Send to Foo"}));
  QVERIFY(w.form->MainControl->currentWidget()->isVisible());

  w.addonPage().DisplayToolbar_CheckBox->click();
  QCOMPARE(w.addonNames(), (QStringList{"Fetcher", "Send to Foo"}));
  w.addonPage().DisplayMenuExt_CheckBox->click();
  QCOMPARE(w.addonNames(), QStringList{"Fetcher"});
  w.addonPage().DisplayToolbar_CheckBox->click();
  w.addonPage().DisplayMenuExt_CheckBox->click();
  QCOMPARE(w.addons().count(), 4);
  QVERIFY(w.addons().checkedRows().empty());

  // Check marks do not survive a visit: the list is read again.
  Window::setChecked(w.addonPage().lvBHO, 0, true);
  w.form->toolE->click();
  w.form->toolToolbar->click();
  QVERIFY(w.addons().checkedRows().empty());
}

void BrowserPagesTest::deleteRecordsRefusesAndScansAgain() {
  Window w;
  w.form->toolToolbar->click();
  w.checkAddon("Links Toolbar");
  w.checkAddon("Fetcher");
  w.checkAddon("Send to Foo");
  w.addonPage().Del_SpeedButton->click();
  QCOMPARE(w.messages.notices, QStringList{QString::fromUtf8(tw::tools::BuiltInToolbarRefusal.data())});
  QVERIFY(w.messages.errors.isEmpty());
  // Scanned again: the removed ones are gone, the refused one is listed, nothing is checked.
  QCOMPARE(w.addonNames(), (QStringList{"Foo Toolbar", "Links Toolbar"}));
  QVERIFY(w.addons().checkedRows().empty());
  QVERIFY(!tw::RegKeyExists(tw::HKEY_CLASSES_ROOT, "\\CLSID\\{00000000-0000-0000-0000-0000000000e1}"));
  QCOMPARE(tw::tools::ReadValueText(tw::HKEY_CURRENT_USER, tw::tools::BrowserKey, "DownloadUI"), std::string());
  const std::string saved = TestMachine::readFile(w.machine.programFolder() / "Backup.xml");
  QVERIFY2(saved.find("Fetcher") != std::string::npos, "the records are on disk before the window closes");

  // The restore history gives the download handler and the menu extension back.
  w.form->toolHistory->click();
  QCOMPARE(w.form->historyPage()->history().count(), 3);
  w.form->historyPage()->btnCheckAll1->click();
  w.form->historyPage()->btnRestore->click();
  // The restore runs on the list-action worker; the pages come back when it has ended.
  QVERIFY(QTest::qWaitFor([&] { return !w.form->isActionRunning(); }, 60000));
  // The refused toolbar's record holds nothing to write back: it stays, and the user is told.
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors[0].contains(QStringLiteral("\"Links Toolbar\"")) &&
               w.messages.errors[0].contains(QStringLiteral("holds no ITEM")),
           qPrintable(w.messages.errors[0]));
  QCOMPARE(w.form->historyPage()->history().count(), 1);
  w.form->toolToolbar->click();
  QCOMPARE(w.addonNames(), (QStringList{"Fetcher", "Foo Toolbar", "Links Toolbar", "Send to Foo"}));
  QCOMPARE(tw::tools::ReadValueText(tw::HKEY_CURRENT_USER, tw::tools::BrowserKey, "DownloadUI"),
           std::string("{00000000-0000-0000-0000-0000000000e1}"));
}

void BrowserPagesTest::tracesScanRunsOnTheWorkerAndCleanupDeletesCheckedFiles() {
  Window w;
  for (int i = 0; i < 3000; ++i) w.makeFile("users/me/Cache/Content.IE5/f" + std::to_string(i) + ".htm");
  w.makeFile("users/me/Cache/desktop.ini");
  w.makeFile("users/me/History/History.IE5/index.dat");
  w.makeFile("users/me/Temp/~a.tmp");
  w.form->toolE->click();
  w.tracesPage().btnTempScan->click();
  // The worker's end reaches the page only through the event loop: until then it is busy.
  QVERIFY(w.tracesPage().isBusy());
  for (QPushButton *b : {w.tracesPage().btnTempScan, w.tracesPage().btnCleanIE, w.tracesPage().btnCheckIE,
                         w.tracesPage().btnUncheckIE})
    QVERIFY(!b->isEnabled());
  QVERIFY(w.waitForTraces());
  tw::lists::CheckableList &files = w.tracesPage().deletedFiles();
  QCOMPARE(files.count(), 3002);
  QCOMPARE(QString::fromStdString(files.row(0).caption), QStringLiteral("Cache files"));
  QCOMPARE(QString::fromStdString(files.row(files.count() - 1).caption), QStringLiteral("History files"));
  QCOMPARE(w.tracesPage().lblDeleting->text(),
           QStringLiteral("C:\\users\\me\\History\\History.IE5\\index.dat"));
  QVERIFY(w.tracesPage().btnCleanIE->isEnabled());

  // Pressing "&Start Scan" again lists every file once.
  w.tracesPage().btnTempScan->click();
  QVERIFY(w.waitForTraces());
  QCOMPARE(files.count(), 3002);

  w.tracesPage().btnUncheckIE->click();
  QVERIFY(files.checkedRows().empty());
  w.tracesPage().btnCheckIE->click();
  QCOMPARE(static_cast<int>(files.checkedRows().size()), 3002);
  Window::setChecked(w.tracesPage().lvDeletedFiles, files.count() - 1, false); // index.dat stays
  w.tracesPage().btnCleanIE->click();
  QVERIFY(files.isEmpty());
  QVERIFY(w.waitForTraces());
  QCOMPARE(w.messages.notices, QStringList{QStringLiteral("The cleaning up has been finished.")});
  QVERIFY(!fs::exists(w.hostOf("users/me/Cache/Content.IE5/f0.htm")));
  QVERIFY(!fs::exists(w.hostOf("users/me/Temp/~a.tmp")));
  QVERIFY(fs::exists(w.hostOf("users/me/History/History.IE5/index.dat")));
  QVERIFY(fs::exists(w.hostOf("users/me/Cache/desktop.ini")));
  QVERIFY(w.tracesPage().lblDeleting->text().startsWith(QStringLiteral("Deleted 3001 of 3001: ")));
}

void BrowserPagesTest::tracesScanSaysWhyAFolderIsSkipped() {
  Window w;
  w.form->toolE->click();
  Window::setChecked(w.tracesPage().lvIE, 5, true); // "Favorites list", which is on Z:
  w.tracesPage().btnTempScan->click();
  QVERIFY(w.waitForTraces());
  QCOMPARE(w.messages.notices.size(), 1);
  QVERIFY(w.messages.notices[0].contains(QStringLiteral("Z:\\tmp\\ is not on drive C:")));
  for (int i = 0; i < w.tracesPage().deletedFiles().count(); ++i)
    QVERIFY(w.tracesPage().deletedFiles().row(i).caption != "Favorite files");
}

QTEST_MAIN(BrowserPagesTest)
#include "browser_pages_test.moc"
