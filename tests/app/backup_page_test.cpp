// The backup page as a user drives it: entering it, a backup and a restore through a stand-in
// registry editor that records its runs, the list refresh and the deletion of restore points.

#include "backup_page_test.h"

#include "WindowTestSupport.h"
#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/pages/BackupPage.h"
#include "app/worker/TBMDThread.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

using tw::app::BackupPage;
using tw::app::QtUiDispatcher;
using tw::app::TfmMainForm;
using tw::test::RecordedMessages;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {

const char *const Roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                             "HKEY_CURRENT_CONFIG"};

/// One window over a fresh test machine, whose registry editor is a script that records each
/// run (working folder and arguments) and writes the export file; FAKE_EDITOR_MODE=fail makes
/// it fail as a real editor can.
struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;
  QStringList statuses;
  fs::path editor = machine.prefix().parent_path() / "fake-regedit";
  fs::path log = machine.prefix().parent_path() / "runs.log";

  Window() {
    TestMachine::writeFile(editor, "#!/bin/sh\n"
                                   "echo \"$PWD|$*\" >> '" + log.string() + "'\n"
                                   "if [ \"$FAKE_EDITOR_MODE\" = fail ]; then echo 'cannot export: disk full' >&2; exit 1; fi\n"
                                   "if [ \"$1\" = /e ]; then printf 'export of %s' \"$3\" > \"$2\"; fi\n");
    fs::permissions(editor, fs::perms::owner_all);
    ::setenv("TIDEWELL_REGEDIT", editor.c_str(), 1);
    form = std::make_unique<TfmMainForm>(dispatcher, messages);
    form->setBackupPause(std::chrono::milliseconds(1));
    QObject::connect(page(), &BackupPage::statusChanged, page(), [this](const QString &text) { statuses << text; });
  }
  ~Window() {
    form.reset();
    ::unsetenv("TIDEWELL_REGEDIT");
    ::unsetenv("FAKE_EDITOR_MODE");
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(backupFolder(), ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }

  BackupPage *page() const { return form->backupPage(); }
  fs::path backupFolder() const { return machine.programFolder() / "Backup"; }
  QStringList rows() const {
    QStringList names;
    for (int i = 0; i < page()->ltbk->count(); ++i) names << page()->ltbk->item(i)->text();
    return names;
  }
  void makePoint(const std::string &name) {
    for (const char *root : Roots) TestMachine::writeFile(backupFolder() / name / (std::string(root) + ".reg"), "x");
  }
  void select(const QString &name) {
    const QList<QListWidgetItem *> found = page()->ltbk->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    page()->ltbk->setCurrentItem(found.front());
  }
  QStringList runs() const {
    QStringList lines = QString::fromStdString(TestMachine::readFile(log)).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
  }
  bool waitFor(tw::worker::TBMDThread &thread) {
    return QTest::qWaitFor([&] { return !thread.IsRunning(); }, 20000);
  }
};

} // namespace

void BackupPageTest::enteringThePageListsTheRestorePoints() {
  Window w;
  w.makePoint("12-07-2026 08_00_00");
  w.makePoint("01-01-2027 09_00_00");
  TestMachine::writeFile(w.backupFolder() / "stray.reg", "x");
  fs::create_directory(w.backupFolder() / ".hidden");
  w.form->toolBackup->click();
  QCOMPARE(w.form->MainControl->currentWidget(), static_cast<QWidget *>(w.page()));
  QCOMPARE(w.rows(), QStringList({"01-01-2027 09_00_00", "12-07-2026 08_00_00"}));
  QVERIFY(w.page()->lbStatus->text().isEmpty());
  QCOMPARE(w.page()->btnBackup->text(), QStringLiteral("Start &Backup"));
  QCOMPARE(w.page()->btnRestore1->text(), QStringLiteral("Start &Restore"));
  QCOMPARE(w.page()->btRefresh->text(), QStringLiteral("Resfresh List"));
  QCOMPARE(w.page()->btDel->text(), QStringLiteral("Delete Restore Point"));
  QCOMPARE(w.page()->GroupBox->title(), QStringLiteral("&Control Panel "));
  const QStringList memo = w.page()->mWarning->toPlainText().split(QLatin1Char('\n'));
  QCOMPARE(memo.size(), 9);
  QCOMPARE(memo.at(1), QStringLiteral("system using "));
  QVERIFY(memo.at(3).isEmpty() && memo.at(7).isEmpty());
  // A second entry re-reads the folder from scratch.
  fs::remove_all(w.backupFolder() / "12-07-2026 08_00_00");
  w.form->toolBackup->click();
  QCOMPARE(w.rows(), QStringList({"01-01-2027 09_00_00"}));
}

void BackupPageTest::backupShowsEachRootInTurnAndListsTheNewPointLast() {
  Window w;
  w.makePoint("12-31-2099 11_59_59 PM"); // sorts after any restore point made today
  w.form->toolBackup->click();
  w.page()->btnBackup->click();
  w.page()->btnBackup->click(); // a second press while the backup runs does nothing
  QVERIFY(w.waitFor(w.form->threadBackup()));
  QTRY_COMPARE(w.rows().size(), 2);

  QStringList expected;
  for (const char *root : Roots)
    expected << "Backup will be started in 1 second" << QStringLiteral("Backing up %1...").arg(root) << "Done !";
  QCOMPARE(w.statuses, expected);
  QCOMPARE(w.page()->lbStatus->text(), QStringLiteral("Done !"));
  const std::string target = w.form->backupTarget();
  const QString name = QString::fromStdString(target.substr(target.find_last_of('\\') + 1));
  QCOMPARE(w.rows().last(), name);
  QCOMPARE(std::distance(fs::directory_iterator(w.backupFolder() / name.toStdString()), fs::directory_iterator()), 5);
  QCOMPARE(w.runs().size(), 5);
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
}

void BackupPageTest::failedExportsAreToldAtTheEnd() {
  Window w;
  ::setenv("FAKE_EDITOR_MODE", "fail", 1);
  w.form->toolBackup->click();
  w.page()->btnBackup->click();
  QVERIFY(w.waitFor(w.form->threadBackup()));
  QTRY_COMPARE(w.messages.errors.size(), 1);
  // The sequence stays as it is; the message at the end tells the truth.
  QCOMPARE(w.statuses.size(), 15);
  QCOMPARE(w.statuses.last(), QStringLiteral("Done !"));
  const QString message = w.messages.errors.front();
  QVERIFY2(message.contains("failed for 5 of 5 roots"), qPrintable(message));
  QVERIFY2(message.contains("HKEY_USERS: the registry editor ended with exit status 1: cannot export: disk full"),
           qPrintable(message));
}

void BackupPageTest::refreshTwiceAddsNothing() {
  Window w;
  w.makePoint("b");
  w.form->toolBackup->click();
  w.makePoint("a");
  w.page()->btRefresh->click();
  QCOMPARE(w.rows(), QStringList({"b", "a"}));
  w.page()->btRefresh->click();
  QCOMPARE(w.rows(), QStringList({"b", "a"}));
  // A point deleted behind the program's back stays listed until the page is entered again.
  fs::remove_all(w.backupFolder() / "b");
  w.page()->btRefresh->click();
  QCOMPARE(w.rows(), QStringList({"b", "a"}));
}

void BackupPageTest::deleteNeedsASelection() {
  Window w;
  w.makePoint("one");
  w.makePoint("two");
  w.form->toolBackup->click();
  w.page()->ltbk->clearSelection();
  w.page()->btDel->click();
  QCOMPARE(w.rows(), QStringList({"one", "two"}));
  QVERIFY(fs::exists(w.backupFolder() / "one") && fs::exists(w.backupFolder() / "two"));

  w.select("two");
  w.page()->btDel->click();
  QCOMPARE(w.rows(), QStringList({"one"}));
  QVERIFY(!fs::exists(w.backupFolder() / "two"));
  QVERIFY(fs::exists(w.backupFolder() / "one" / "HKEY_USERS.reg"));
  QVERIFY(w.messages.errors.isEmpty());
}

void BackupPageTest::deleteErrorNamesTheFileAndTheRowGoes() {
  Window w;
  w.makePoint("locked");
  fs::permissions(w.backupFolder() / "locked" / "HKEY_LOCAL_MACHINE.reg",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  w.form->toolBackup->click();
  w.select("locked");
  w.page()->btDel->click();
  QCOMPARE(w.messages.errors, QStringList({" Delete error: HKEY_LOCAL_MACHINE.reg"}));
  QVERIFY(w.rows().isEmpty());
  QVERIFY(fs::exists(w.backupFolder() / "locked" / "HKEY_LOCAL_MACHINE.reg"));
}

void BackupPageTest::deleteErrorForAFolderWithoutWritePermission() {
  if (::geteuid() == 0) QSKIP("root ignores folder permissions");
  Window w;
  w.makePoint("unwritable");
  fs::permissions(w.backupFolder() / "unwritable",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  w.form->toolBackup->click();
  w.select("unwritable");
  w.page()->btDel->click();
  QCOMPARE(w.messages.errors.size(), 5);
  QCOMPARE(w.messages.errors.front(), QStringLiteral(" Delete error: HKEY_CLASSES_ROOT.reg"));
  QVERIFY(w.rows().isEmpty());
  QVERIFY(fs::exists(w.backupFolder() / "unwritable" / "HKEY_USERS.reg"));
}

void BackupPageTest::restoreWithoutASelectionSaysWhy() {
  Window w;
  w.makePoint("one");
  w.form->toolBackup->click();
  w.page()->ltbk->clearSelection();
  w.page()->btnRestore1->click();
  QVERIFY(!w.form->threadRestore().IsRunning());
  QCOMPARE(w.messages.notices.size(), 1);
  QVERIFY2(w.messages.notices.front().contains("no restore point is selected"), qPrintable(w.messages.notices.front()));
  QVERIFY(w.statuses.isEmpty());
  QVERIFY(w.runs().isEmpty());
}

void BackupPageTest::restoreImportsTheSelectedPoint() {
  Window w;
  w.makePoint("first");
  w.makePoint("second");
  w.form->toolBackup->click();
  w.select("second");
  w.page()->btnRestore1->click();
  QVERIFY(w.waitFor(w.form->threadRestore()));
  QTRY_COMPARE(w.statuses.size(), 10);
  QStringList expected, expectedRuns;
  const QString folder = QString::fromStdString(fs::canonical(w.backupFolder() / "second").string());
  for (const char *root : Roots) {
    expected << QStringLiteral("Restoring %1").arg(root) << "Done !";
    expectedRuns << QStringLiteral("%1|/s /i %2.reg").arg(folder, root);
  }
  QCOMPARE(w.statuses, expected);
  QCOMPARE(w.runs(), expectedRuns);
  QVERIFY(w.form->restoreSource().ends_with("\\Backup\\second"));
  QVERIFY2(w.messages.errors.isEmpty(), qPrintable(w.messages.errors.join('\n')));
}
