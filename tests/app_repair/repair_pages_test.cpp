// "Fix Selected", "Add to Ignore List", the restore history page and the ignore list page of the
// window, driven through their buttons, check boxes and edit fields.

#include "WindowTestSupport.h"

#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/IgnoreListPage.h"
#include "app/pages/ScanErrorsPage.h"
#include "lists/CheckableList.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"
#include "scan/ScanLists.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <memory>

using tw::app::QtUiDispatcher;
using tw::app::TfmMainForm;
using tw::test::RecordedMessages;
using tw::test::RunningWineServer;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

constexpr int ScanTimeout = 60000;

// Three broken entries: two App Paths keys and one per-user file extension.
const char *const BrokenEntries = R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\gone.exe]
@="C:\\Gone\\gone.exe"
"Path"="C:\\Gone"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\lost.exe]
@="C:\\Lost\\lost.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.xyz\OpenWithList]
"a"="gone.exe"
)reg";

const char *const AppPaths = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char *const XyzKeyText =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.xyz";

struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;

  explicit Window(TestMachine::RegistryKind kind = TestMachine::RegistryKind::Memory) : machine(kind) {
    std::string error;
    if (!machine.importReg(BrokenEntries, &error)) qFatal("test registry: %s", error.c_str());
  }
  void open() {
    form = std::make_unique<TfmMainForm>(dispatcher, messages);
    form->show();
  }
  tw::app::ScanErrorsPage &scanPage() { return *form->scanErrorsPage(); }
  tw::app::HistoryPage &historyPage() { return *form->historyPage(); }
  tw::app::IgnoreListPage &ignorePage() { return *form->ignoreListPage(); }
  tw::lists::CheckableList &errors() { return scanPage().errors(); }

  bool scan() {
    scanPage().btnStartScan->click();
    return QTest::qWaitFor([&] { return scanPage().btnStartScan->text() == QStringLiteral("Start &Scan"); },
                           ScanTimeout);
  }
  /// Clicks a button of a fix or restore and waits for the action to end.
  bool clickAndWait(QPushButton *button) {
    button->click();
    return QTest::qWaitFor([&] { return !form->isActionRunning(); }, ScanTimeout);
  }
  /// Sets a row's check box as a click on it would, through the view's model.
  static void setChecked(QTableView *view, int row, bool checked) {
    QAbstractItemModel *model = view->model();
    model->setData(model->index(row, 0), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  }
  int rowOf(const std::string &keyText) {
    for (int i = 0; i < errors().count(); ++i)
      if (errors().row(i).subItem(tw::scan::KeyNameSubItem) == keyText) return i;
    return -1;
  }
  fs::path undoStoreFile() const { return machine.programFolder() / "Backup.xml"; }
  std::vector<tw::UndoRecord> savedRecords() {
    pugi::xml_document saved;
    if (!tw::parseXmlDocument(saved, TestMachine::readFile(undoStoreFile()), "Backup.xml",
                              tw::UndoStoreRootName))
      return {};
    return tw::listUndoRecords(saved);
  }
  std::vector<tw::IgnoreEntry> savedIgnoreEntries() {
    pugi::xml_document saved;
    if (!tw::parseXmlDocument(saved, TestMachine::readFile(machine.currentFolder() / "ignore.xml"),
                              "ignore.xml", tw::IgnoreListRootName))
      return {};
    return tw::listIgnoreEntries(saved);
  }
};

bool appKeyExists(const char *name) {
  return tw::RegKeyExists(tw::HKEY_LOCAL_MACHINE, std::string(AppPaths) + "\\" + name);
}

} // namespace

class RepairPagesTest : public QObject {
  Q_OBJECT

private slots:
  void fixSelectedErasesCheckedRowsAfterSavingTheirRecords();
  void fixThatCannotBeRecordedChangesNothing();
  void historyRestoresCheckedRecordsAndClears();
  void ignorePageAddsRemovesAndChecks();
  void errorRowsMovedToTheIgnoreListAreNotReportedAgain();
  void anotherProgramsRecordsAreReadBeforeEachActionAndNeverSavedOver();
  void registryOwnedByWineRefusesEveryChange();
  void largeFixAndRestoreKeepThePagePaintedAndShowProgress();
};

void RepairPagesTest::anotherProgramsRecordsAreReadBeforeEachActionAndNeverSavedOver() {
  Window w;
  w.open();
  QVERIFY(w.scan());
  QCOMPARE(w.errors().count(), 3);
  // Another program (a tidewell-cli) records a fix of its own while the window is open.
  const auto otherProgramSaves = [&w](int records) {
    pugi::xml_document theirs;
    tw::resetXmlDocument(theirs, tw::UndoStoreRootName);
    for (int i = 0; i < records; ++i)
      tw::appendUndoRecord(theirs, {"Theirs", "their key " + std::to_string(i), "theirs"});
    return static_cast<bool>(tw::saveXmlDocument(theirs, w.undoStoreFile().string()));
  };
  QVERIFY(otherProgramSaves(1));
  Window::setChecked(w.scanPage().lvErrors, w.rowOf(XyzKeyText), false);
  QVERIFY(w.clickAndWait(w.scanPage().btnFixSelected));
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  std::vector<tw::UndoRecord> records = w.savedRecords();
  QCOMPARE(records.size(), std::size_t{3});
  QCOMPARE(records[0].name, std::string("Theirs"));

  // The history shows the file as it is now; a restore of rows that may stand for other records
  // than the user saw does nothing but show them again.
  w.form->toolHistory->click();
  QCOMPARE(w.historyPage().history().count(), 3);
  QVERIFY(otherProgramSaves(4));
  Window::setChecked(w.historyPage().lvHistory, 0, true);
  QVERIFY(w.clickAndWait(w.historyPage().btnRestore));
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors[0].contains(QStringLiteral("Another program changed the undo store")),
           qPrintable(w.messages.errors[0]));
  QCOMPARE(w.historyPage().history().count(), 4);
  QCOMPARE(w.savedRecords().size(), std::size_t{4});

  // Closing the window does not write its copy over a newer file.
  QVERIFY(otherProgramSaves(5));
  QVERIFY(w.form->close());
  QCOMPARE(w.savedRecords().size(), std::size_t{5});
}

void RepairPagesTest::fixSelectedErasesCheckedRowsAfterSavingTheirRecords() {
  Window w;
  w.open();
  QVERIFY(w.scan());
  QCOMPARE(w.errors().count(), 3);
  const int xyz = w.rowOf(XyzKeyText);
  QVERIFY(xyz >= 0);
  Window::setChecked(w.scanPage().lvErrors, xyz, false);

  QVERIFY(w.clickAndWait(w.scanPage().btnFixSelected));
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  QCOMPARE(w.errors().count(), 1);
  QCOMPARE(w.errors().row(0).subItem(tw::scan::KeyNameSubItem), std::string(XyzKeyText));
  QVERIFY(!appKeyExists("gone.exe"));
  QVERIFY(!appKeyExists("lost.exe"));
  // The records are on disk already, before the window closes.
  const std::vector<tw::UndoRecord> records = w.savedRecords();
  QCOMPARE(records.size(), std::size_t{2});
  QCOMPARE(records[0].name, std::string("Application"));
  QVERIFY(records[0].type.ends_with("lost.exe"));
  QVERIFY(records[1].type.ends_with("gone.exe"));
  QVERIFY(w.scanPage().btnFixSelected->isEnabled());
}

void RepairPagesTest::fixThatCannotBeRecordedChangesNothing() {
  Window w;
  // A folder where Backup.xml should be: the undo store cannot be saved.
  fs::create_directories(w.undoStoreFile());
  w.open();
  w.messages.notices.clear();
  QVERIFY(w.scan());
  QCOMPARE(w.errors().count(), 3);
  QVERIFY(w.clickAndWait(w.scanPage().btnFixSelected));
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors[0].contains(QStringLiteral("Nothing was removed")),
           qPrintable(w.messages.errors[0]));
  QCOMPARE(w.errors().count(), 3);
  QVERIFY(appKeyExists("gone.exe"));
  QVERIFY(appKeyExists("lost.exe"));
  w.form->toolHistory->click();
  QCOMPARE(w.historyPage().history().count(), 0);
}

void RepairPagesTest::historyRestoresCheckedRecordsAndClears() {
  Window w;
  w.open();
  QVERIFY(w.scan());
  QVERIFY(w.clickAndWait(w.scanPage().btnFixSelected));
  QCOMPARE(w.errors().count(), 0);

  tw::app::HistoryPage &page = w.historyPage();
  w.form->toolHistory->click();
  QCOMPARE(w.form->MainControl->currentWidget(), &page);
  QCOMPARE(page.history().count(), 3);
  QCOMPARE(page.lvHistory->model()->rowCount(), 3);

  // Restore the record of gone.exe alone: its key comes back with both values.
  int gone = -1;
  for (int i = 0; i < page.history().count(); ++i)
    if (page.history().row(i).subItem(0).ends_with("gone.exe")) gone = i;
  QVERIFY(gone >= 0);
  Window::setChecked(page.lvHistory, gone, true);
  QVERIFY(w.clickAndWait(page.btnRestore));
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  QCOMPARE(page.history().count(), 2);
  QVERIFY(appKeyExists("gone.exe"));
  QVERIFY(!appKeyExists("lost.exe"));
  QCOMPARE(w.savedRecords().size(), std::size_t{2});

  // The toggle checks and unchecks every row, and says what it will do next.
  QCOMPARE(page.btnCheckAll1->text(), QStringLiteral("Ch&eck All"));
  page.btnCheckAll1->click();
  QCOMPARE(page.btnCheckAll1->text(), QStringLiteral("Unch&eck All"));
  QCOMPARE(page.history().checkedRows().size(), std::size_t{2});
  page.btnCheckAll1->click();
  QCOMPARE(page.btnCheckAll1->text(), QStringLiteral("Ch&eck All"));
  QVERIFY(page.history().checkedRows().empty());

  page.btnClearUndo->click();
  QCOMPARE(page.history().count(), 0);
  QVERIFY(w.savedRecords().empty());
  QVERIFY(TestMachine::readFile(w.undoStoreFile()).find("TidewellRegistryCleaner") != std::string::npos);
  // With no rows the toggle does nothing at all.
  page.btnCheckAll1->click();
  QCOMPARE(page.btnCheckAll1->text(), QStringLiteral("Ch&eck All"));
  QVERIFY(!appKeyExists("lost.exe"));
}

void RepairPagesTest::ignorePageAddsRemovesAndChecks() {
  Window w;
  w.open();
  tw::app::IgnoreListPage &page = w.ignorePage();
  w.form->toolIgnore->click();
  for (const char *value : {"one", "two", "three"}) {
    page.edRoot->setText(QStringLiteral("HKEY_CURRENT_USER"));
    page.edKeyName->setText(QStringLiteral("Software\\Test"));
    page.edValue->setText(QString::fromLatin1(value));
    page.btnAdd->click();
  }
  QCOMPARE(page.entries().count(), 3);
  QCOMPARE(page.entries().row(2).subItem(1), std::string("three"));
  QCOMPARE(w.savedIgnoreEntries().size(), std::size_t{3});
  // The fields keep their text; an empty one adds nothing.
  QCOMPARE(page.edValue->text(), QStringLiteral("three"));
  page.edValue->clear();
  page.btnAdd->click();
  QCOMPARE(page.entries().count(), 3);

  page.btnCheckall2->click();
  QCOMPARE(page.entries().checkedRows().size(), std::size_t{3});
  page.btnUncheckall->click();
  QVERIFY(page.entries().checkedRows().empty());

  Window::setChecked(page.lvIgnore, 1, true);
  page.btnRemove->click();
  QVERIFY(w.messages.errors.isEmpty());
  QCOMPARE(page.entries().count(), 2);
  const std::vector<tw::IgnoreEntry> saved = w.savedIgnoreEntries();
  QCOMPARE(saved.size(), std::size_t{2});
  QCOMPARE(saved[0].value, std::string("one"));
  QCOMPARE(saved[1].value, std::string("three"));
}

void RepairPagesTest::errorRowsMovedToTheIgnoreListAreNotReportedAgain() {
  Window w;
  w.open();
  QVERIFY(w.scan());
  for (int i = 0; i < w.errors().count(); ++i)
    Window::setChecked(w.scanPage().lvErrors, i, w.errors().row(i).subItem(0) == XyzKeyText);
  w.scanPage().btnAdd2Ignore->click();
  QCOMPARE(w.errors().count(), 2);
  QCOMPARE(w.rowOf(XyzKeyText), -1);
  QCOMPARE(w.ignorePage().entries().count(), 1);
  const std::vector<tw::IgnoreEntry> saved = w.savedIgnoreEntries();
  QCOMPARE(saved.size(), std::size_t{1});
  QCOMPARE(saved[0].root, std::string("HKEY_CURRENT_USER"));
  QCOMPARE(saved[0].key, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"));
  QCOMPARE(saved[0].value, std::string(".xyz"));

  QVERIFY(w.scan());
  QCOMPARE(w.errors().count(), 2);
  QCOMPARE(w.rowOf(XyzKeyText), -1);
}

void RepairPagesTest::registryOwnedByWineRefusesEveryChange() {
  auto w = std::make_unique<Window>(TestMachine::RegistryKind::WineFiles);
  TestMachine &machine = w->machine;
  // Two records in the undo store, made while the registry could still be changed.
  w->open();
  QVERIFY(w->scan());
  QCOMPARE(w->errors().count(), 3);
  Window::setChecked(w->scanPage().lvErrors, w->rowOf(XyzKeyText), false);
  QVERIFY(w->clickAndWait(w->scanPage().btnFixSelected));
  QCOMPARE(w->errors().count(), 1);
  w->form.reset();

  RunningWineServer server(machine.prefix());
  if (!server.started()) QSKIP("wineserver could not be started");
  std::string readOnly;
  QVERIFY(QTest::qWaitFor([&] { return !(readOnly = machine.reopenPrefix()).empty(); }, 10000));
  QVERIFY2(readOnly.starts_with("Wine is running"), readOnly.c_str());
  const std::string undoStoreBefore = TestMachine::readFile(w->undoStoreFile());
  QCOMPARE(w->savedRecords().size(), std::size_t{2});

  w->open();
  QVERIFY(w->scan());
  QCOMPARE(w->errors().count(), 1);
  QVERIFY(w->clickAndWait(w->scanPage().btnFixSelected));
  QCOMPARE(w->messages.errors.size(), 1);
  QVERIFY2(w->messages.errors[0].startsWith(QStringLiteral("Nothing was fixed: Wine is running")),
           qPrintable(w->messages.errors[0]));
  QCOMPARE(w->errors().count(), 1);
  QCOMPARE(w->errors().row(0).subItem(tw::scan::KeyNameSubItem), std::string(XyzKeyText));

  tw::app::HistoryPage &page = w->historyPage();
  w->form->toolHistory->click();
  QCOMPARE(page.history().count(), 2);
  page.btnCheckAll1->click();
  QVERIFY(w->clickAndWait(page.btnRestore));
  QCOMPARE(w->messages.errors.size(), 2);
  QVERIFY2(w->messages.errors[1].startsWith(QStringLiteral("Nothing was restored: Wine is running")),
           qPrintable(w->messages.errors[1]));
  QCOMPARE(page.history().count(), 2);
  QCOMPARE(page.history().checkedRows().size(), std::size_t{2});
  QVERIFY(!appKeyExists("gone.exe"));

  page.btnClearUndo->click();
  QCOMPARE(w->messages.errors.size(), 3);
  QVERIFY2(w->messages.errors[2].startsWith(QStringLiteral("The restore history was not cleared: ")),
           qPrintable(w->messages.errors[2]));
  QCOMPARE(page.history().count(), 2);
  QCOMPARE(TestMachine::readFile(w->undoStoreFile()), undoStoreBefore);

  // Closing writes the undo store as it is: still the two records and nothing else.
  QVERIFY(w->form->close());
  QCOMPARE(w->savedRecords().size(), std::size_t{2});
}

void RepairPagesTest::largeFixAndRestoreKeepThePagePaintedAndShowProgress() {
  constexpr int Keys = 3000;
  Window w;
  std::string reg;
  std::vector<tw::lists::Row> rows;
  for (int i = 0; i < Keys; ++i) {
    const std::string name = "big" + std::to_string(i) + ".exe";
    reg += "[HKEY_LOCAL_MACHINE" + std::string(AppPaths) + "\\" + name + "]\n@=\"C:\\\\Gone\\\\" + name + "\"\n";
    // Every third row stays unchecked.
    rows.push_back({"Application", {"HKEY_LOCAL_MACHINE" + std::string(AppPaths) + "\\" + name, "", "C:\\Gone\\" + name},
                    i % 3 != 0, 1});
  }
  std::string error;
  QVERIFY2(w.machine.importReg(reg, &error), error.c_str());
  w.open();
  // The rows a scan would have found; its end enables the button.
  w.errors().appendRows(rows);
  w.scanPage().btnFixSelected->setEnabled(true);
  const std::vector<int> checked = w.errors().checkedRows();
  std::vector<std::string> uncheckedBefore;
  for (int i = 0; i < w.errors().count(); ++i)
    if (!w.errors().row(i).checked) uncheckedBefore.push_back(w.errors().row(i).subItem(0));
  std::vector<std::string> checkedKeysBottomFirst;
  for (auto it = checked.rbegin(); it != checked.rend(); ++it)
    checkedKeysBottomFirst.push_back(w.errors().row(*it).subItem(0));

  // The event loop's pulse while the action runs.
  int ticks = 0;
  QTimer pulse;
  pulse.setInterval(1);
  QObject::connect(&pulse, &QTimer::timeout, [&] { ++ticks; });
  auto *progress = w.form->findChild<QProgressBar *>(QStringLiteral("pbAction"));
  QVERIFY(progress);

  pulse.start();
  w.scanPage().btnFixSelected->click();
  // The click returns at once: the page shows its rows and the progress until the fix ends.
  QCOMPARE(w.errors().count(), Keys);
  QVERIFY(w.form->isActionRunning());
  QVERIFY(progress->isVisible());
  QVERIFY(!w.form->MainControl->isEnabled());
  const int ticksAtClick = ticks;
  QVERIFY(QTest::qWaitFor([&] { return !w.form->isActionRunning(); }, ScanTimeout));
  pulse.stop();
  QVERIFY2(ticks > ticksAtClick, "the event loop did not run during the fix");
  QVERIFY(!progress->isVisible());
  QVERIFY(w.form->MainControl->isEnabled());
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));

  // Exactly what fixing row by row leaves: the unchecked rows in their order, one record per
  // checked row from the bottom up, the keys gone.
  QCOMPARE(w.errors().count(), static_cast<int>(uncheckedBefore.size()));
  for (int i = 0; i < w.errors().count(); ++i) QCOMPARE(w.errors().row(i).subItem(0), uncheckedBefore[i]);
  const std::vector<tw::UndoRecord> records = w.savedRecords();
  QCOMPARE(records.size(), checkedKeysBottomFirst.size());
  for (std::size_t i = 0; i < records.size(); ++i) QCOMPARE(records[i].type, checkedKeysBottomFirst[i]);
  QVERIFY(!appKeyExists("big1.exe"));
  QVERIFY(appKeyExists("big0.exe"));

  w.form->toolHistory->click();
  tw::app::HistoryPage &page = w.historyPage();
  QCOMPARE(page.history().count(), static_cast<int>(records.size()));
  page.btnCheckAll1->click();
  ticks = 0;
  pulse.start();
  page.btnRestore->click();
  QCOMPARE(page.history().count(), static_cast<int>(records.size()));
  QVERIFY(progress->isVisible());
  // Closing meanwhile waits for the restore, whose records the undo store is losing.
  QVERIFY(!w.form->close());
  QVERIFY(w.form->isVisible());
  QVERIFY(QTest::qWaitFor([&] { return !w.form->isActionRunning(); }, ScanTimeout));
  QTRY_VERIFY(!w.form->isVisible());
  pulse.stop();
  QVERIFY(ticks > 0);
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
  QCOMPARE(page.history().count(), 0);
  QVERIFY(w.savedRecords().empty());
  QVERIFY(appKeyExists("big1.exe"));
  QVERIFY(appKeyExists("big2999.exe"));
}

QTEST_MAIN(RepairPagesTest)
#include "repair_pages_test.moc"
