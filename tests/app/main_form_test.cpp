// The main window: start-up with its data files, the page buttons, and closing with and without
// a writable program folder.

#include "main_form_test.h"

#include "WindowTestSupport.h"
#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/pages/IgnoreListPage.h"
#include "app/pages/ScanErrorsPage.h"
#include "lists/CheckableList.h"
#include "scan/ScanLists.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <pugixml.hpp>

#include <filesystem>
#include <memory>

using tw::app::QtUiDispatcher;
using tw::app::TfmMainForm;
using tw::test::RecordedMessages;
using tw::test::TestMachine;
namespace fs = std::filesystem;

namespace {
/// One window over a fresh test machine.
struct Window {
  TestMachine machine;
  RecordedMessages messages;
  QtUiDispatcher dispatcher;
  std::unique_ptr<TfmMainForm> form;

  void open() { form = std::make_unique<TfmMainForm>(dispatcher, messages); }
  tw::lists::CheckableList &ignoreRows() { return form->ignoreListPage()->entries(); }
};

const char *const ThreeChildren = R"(<?xml version="1.0"?>
<IgnoreList>
  <ERROR ROOT="HKEY_LOCAL_MACHINE" KEY="SOFTWARE\Classes" VALUE=".abc"/>
  <OTHER ROOT="HKEY_CURRENT_USER" KEY="Software" VALUE="x"/>
  <ERROR ROOT="HKEY_USERS" KEY=".DEFAULT\Software" VALUE="y"/>
</IgnoreList>
)";
} // namespace

void MainFormTest::layoutFollowsTheWindowDescription() {
  Window w;
  w.open();
  TfmMainForm &form = *w.form;
  QCOMPARE(form.windowTitle(), QStringLiteral("Tidewell Registry Cleaner 2006"));
  QCOMPARE(form.size(), QSize(754, 606));
  QCOMPARE(form.minimumSize(), QSize(200, 50));
  QCOMPARE(form.Image1->pixmap().size(), QSize(281, 81));

  // The page buttons, top to bottom, with the blanks that pad their captions.
  const QList<QPair<QToolButton *, QString>> buttons = {
      {form.toolScanErrors, "Scan and Fix Errors "}, {form.toolToolbar, "IE Plugins                  "},
      {form.toolE, "IE Traces Cleaning  "},          {form.toolStartup, "Startup Programs     "},
      {form.toolAddRemove, "Uninstall Manager    "}, {form.toolBackup, "Backup and Restore"},
      {form.toolHistory, "Restore History         "}, {form.toolIgnore, "Ignore List                 "},
      {form.SpeedButton2, "Help and Manual      "}};
  form.show();
  int previousBottom = -1;
  for (const auto &[button, caption] : buttons) {
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->size(), QSize(201, 39));
    QVERIFY(button->font().bold());
    QVERIFY2(button->geometry().top() > previousBottom, qPrintable(button->objectName()));
    previousBottom = button->geometry().bottom();
  }
  QCOMPARE(form.cbAutoRun->text(), QStringLiteral("Autorun when Windows starts"));
  QCOMPARE(form.cbAutoRun->parentWidget(), form.pnlAutorun);

  // Pages change only through the buttons: no tab shows.
  QCOMPARE(form.MainControl->count(), 8);
  QVERIFY(!form.MainControl->tabBar()->isVisibleTo(&form));
  QCOMPARE(form.MainControl->currentWidget()->objectName(), QStringLiteral("tabScanErrors"));

  // The page area grows with the window.
  const QSize before = form.MainControl->size();
  form.resize(954, 706);
  QTRY_COMPARE(form.MainControl->size(), before + QSize(200, 100));
}

void MainFormTest::startUpWithoutDataFilesAndCloseWritesEmptyUndoStore() {
  Window w;
  w.open();
  TfmMainForm &form = *w.form;
  const fs::path programFolder = w.machine.programFolder();
  QCOMPARE(QString::fromStdString(form.programFolder()),
           QStringLiteral("C:\\ProgramData\\Tidewell Registry Cleaner 2006\\"));
  QCOMPARE(QString::fromStdString(form.backupFolder()),
           QStringLiteral("C:\\ProgramData\\Tidewell Registry Cleaner 2006\\Backup"));
  QVERIFY(fs::is_directory(programFolder / "Backup"));
  // Nothing is written before the window closes.
  QVERIFY(!fs::exists(programFolder / "Backup.xml"));
  QVERIFY(!fs::exists(w.machine.currentFolder() / "ignore.xml"));
  QCOMPARE(QString(form.undoStore().document_element().name()), QStringLiteral("TidewellRegistryCleaner"));
  QCOMPARE(QString(form.ignoreDocument().document_element().name()), QStringLiteral("IgnoreList"));
  QVERIFY(w.ignoreRows().isEmpty());

  form.show();
  QVERIFY(form.close());
  QVERIFY(w.messages.errors.isEmpty());
  pugi::xml_document saved;
  QVERIFY(saved.load_file((programFolder / "Backup.xml").c_str()));
  QCOMPARE(QString(saved.document_element().name()), QStringLiteral("TidewellRegistryCleaner"));
  QVERIFY(!saved.document_element().first_child());
}

void MainFormTest::ignoreListComesFromTheCurrentFolderOnly() {
  QFETCH(bool, inCurrentFolder);
  QFETCH(int, rows);
  Window w;
  const fs::path where = inCurrentFolder ? w.machine.currentFolder() : w.machine.programFolder();
  TestMachine::writeFile(where / "ignore.xml", ThreeChildren);
  w.open();
  QCOMPARE(w.ignoreRows().count(), rows);
  if (rows == 0) return;
  // Every child, whatever its element name, in document order.
  QCOMPARE(QString::fromStdString(w.ignoreRows().row(1).caption), QStringLiteral("HKEY_CURRENT_USER"));
  QCOMPARE(QString::fromStdString(w.ignoreRows().row(2).subItem(0)), QStringLiteral(".DEFAULT\\Software"));
  QCOMPARE(QString::fromStdString(w.ignoreRows().row(2).subItem(1)), QStringLiteral("y"));
  QVERIFY(!w.ignoreRows().row(0).checked);
}

void MainFormTest::ignoreListComesFromTheCurrentFolderOnly_data() {
  QTest::addColumn<bool>("inCurrentFolder");
  QTest::addColumn<int>("rows");
  QTest::newRow("current folder") << true << 3;
  QTest::newRow("beside the program data only") << false << 0;
}

void MainFormTest::damagedDataFilesAreKeptAsideAndTheUserIsTold() {
  Window w;
  const fs::path undoStore = w.machine.programFolder() / "Backup.xml";
  const std::string damaged = "<TidewellRegistryCleaner><ELEMENT NAME=\"a\"></TidewellRegistryCleaner>";
  TestMachine::writeFile(undoStore, damaged);
  TestMachine::writeFile(w.machine.currentFolder() / "ignore.xml", ThreeChildren);
  w.open();
  // The steps after the damaged file still ran: the ignore list is there.
  QCOMPARE(w.ignoreRows().count(), 3);
  QVERIFY(!w.form->undoStore().document_element().first_child());

  w.form->show();
  QTRY_COMPARE(w.messages.notices.size(), 1);
  const QString notice = w.messages.notices.first();
  QVERIFY2(notice.contains(QStringLiteral("Backup.xml is not well-formed XML at line 1")), qPrintable(notice));
  // The user's file sits where the message says, unchanged.
  fs::path keptAside;
  for (const auto &entry : fs::directory_iterator(w.machine.programFolder()))
    if (entry.path().filename().string().starts_with("Backup.xml.damaged")) keptAside = entry.path();
  QVERIFY(!keptAside.empty());
  QVERIFY2(notice.contains(QStringLiteral("moved to ")) &&
               notice.contains(QString::fromStdString(keptAside.filename().string())),
           qPrintable(notice));
  QCOMPARE(TestMachine::readFile(keptAside), damaged);

  QVERIFY(w.form->close());
  QCOMPARE(TestMachine::readFile(keptAside), damaged);
  QVERIFY(fs::exists(undoStore));
}

void MainFormTest::dataFilesAreNamedByTheirHostPaths() {
  Window w;
  TestMachine::writeFile(w.machine.programFolder() / "Backup.xml", "<TidewellRegistryCleaner>");
  TestMachine::writeFile(w.machine.currentFolder() / "ignore.xml", "<IgnoreList><ERROR");
  w.open();
  const QString undoStore = QString::fromStdString((fs::canonical(w.machine.programFolder()) / "Backup.xml").string());
  const QString ignoreList = QString::fromStdString((fs::canonical(w.machine.currentFolder()) / "ignore.xml").string());
  QCOMPARE(QString::fromStdString(w.form->undoStorePath()), undoStore);
  QCOMPARE(QString::fromStdString(w.form->ignoreListPath()), ignoreList);
  w.form->show();
  QTRY_COMPARE(w.messages.notices.size(), 2);
  // Each message names the file as the host knows it, never through the prefix's drive links.
  QVERIFY2(w.messages.notices[0].startsWith(undoStore + QLatin1Char(' ')), qPrintable(w.messages.notices[0]));
  QVERIFY2(w.messages.notices[1].startsWith(ignoreList + QLatin1Char(' ')), qPrintable(w.messages.notices[1]));
  for (const QString &notice : w.messages.notices)
    QVERIFY2(!notice.contains(QStringLiteral("dosdevices")), qPrintable(notice));
}

void MainFormTest::incompleteIgnoreEntryIsNamed() {
  Window w;
  TestMachine::writeFile(w.machine.currentFolder() / "ignore.xml",
                         "<IgnoreList><ERROR ROOT=\"HKEY_USERS\" VALUE=\"v\"/></IgnoreList>");
  w.open();
  QCOMPARE(w.ignoreRows().count(), 1);
  w.form->show();
  QTRY_COMPARE(w.messages.notices.size(), 1);
  QVERIFY2(w.messages.notices.first().contains(QStringLiteral("entry 1 lacks KEY")),
           qPrintable(w.messages.notices.first()));
}

void MainFormTest::closeStaysOpenWhenTheUndoStoreCannotBeWritten() {
  Window w;
  w.open();
  w.form->show();
  const fs::path undoStore = w.machine.programFolder() / "Backup.xml";
  // A folder in the file's place: the save cannot replace it.
  fs::create_directories(undoStore / "in the way");
  QVERIFY(!w.form->close());
  QVERIFY(w.form->isVisible());
  QCOMPARE(w.messages.errors.size(), 1);
  QVERIFY2(w.messages.errors.first().contains(QStringLiteral("Tidewell Registry Cleaner 2006/Backup.xml")),
           qPrintable(w.messages.errors.first()));

  // The user may close again once the way is clear.
  fs::remove_all(undoStore);
  QVERIFY(w.form->close());
  QVERIFY(fs::is_regular_file(undoStore));
}

void MainFormTest::pageButtonsBringTheirPagesToTheFront() {
  QFETCH(QString, button);
  QFETCH(QString, page);
  Window w;
  w.open();
  w.form->show();
  w.form->toolIgnore->click(); // start from a page that is not the first
  auto *b = w.form->findChild<QToolButton *>(button);
  QVERIFY(b);
  b->click();
  QCOMPARE(w.form->MainControl->currentWidget()->objectName(), page);
  // The button of the page in front, and only it, shows pressed.
  QStringList pressed;
  for (QToolButton *t : w.form->findChildren<QToolButton *>())
    if (t->isChecked()) pressed << t->objectName();
  const QString frontButton = button == QStringLiteral("SpeedButton2") ? QStringLiteral("toolIgnore") : button;
  QCOMPARE(pressed, QStringList{frontButton});
  b->click(); // a second click keeps it pressed
  QVERIFY(w.form->findChild<QToolButton *>(frontButton)->isChecked());
}

/// True when the group box's caption stands on the top line of its frame.
static bool captionOnFrame(QGroupBox *box) {
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.lineWidth = 1;
  option.textAlignment = box->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect frame = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);
  const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
  return label.top() < frame.top() && frame.top() < label.bottom();
}

void MainFormTest::everyPageShowsItsControlsWhole() {
  QFETCH(QSize, size);
  Window w;
  w.open();
  w.form->resize(size);
  w.form->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
  for (QToolButton *button : {w.form->toolScanErrors, w.form->toolToolbar, w.form->toolE, w.form->toolStartup,
                              w.form->toolAddRemove, w.form->toolBackup, w.form->toolHistory, w.form->toolIgnore}) {
    button->click();
    QApplication::processEvents();
    QWidget *page = w.form->MainControl->currentWidget();
    const QString where = page->objectName() + QStringLiteral(" at %1x%2: ").arg(size.width()).arg(size.height());
    // Nothing is cut off by the box, the page or the window around it.
    for (QWidget *control : page->findChildren<QWidget *>()) {
      if (!control->isVisible() || (!qobject_cast<QAbstractButton *>(control) && !qobject_cast<QLineEdit *>(control) &&
                                    !qobject_cast<QGroupBox *>(control)))
        continue;
      QVERIFY2(control->visibleRegion() == QRegion(control->rect()),
               qPrintable(where + control->objectName() + QStringLiteral(" is cut off")));
    }
    for (QGroupBox *box : page->findChildren<QGroupBox *>())
      QVERIFY2(captionOnFrame(box), qPrintable(where + box->objectName() + QStringLiteral("'s caption is off its frame")));
  }

  // The Root field of the ignore page shows the longest root name whole.
  w.form->toolIgnore->click();
  QLineEdit *root = w.form->ignoreListPage()->edRoot;
  root->setText(QStringLiteral("HKEY_LOCAL_MACHINE"));
  root->end(false);
  QApplication::processEvents();
  QCOMPARE(root->cursorPositionAt(QPoint(root->contentsRect().left() + 4, root->height() / 2)), 0);
}

void MainFormTest::everyPageShowsItsControlsWhole_data() {
  QTest::addColumn<QSize>("size");
  QTest::newRow("first size") << QSize(754, 606);
  QTest::newRow("large") << QSize(1280, 900);
}

void MainFormTest::pageButtonsBringTheirPagesToTheFront_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("page");
  QTest::newRow("scan") << "toolScanErrors" << "tabScanErrors";
  QTest::newRow("add-ons") << "toolToolbar" << "tabToolbar";
  QTest::newRow("traces") << "toolE" << "tabIE";
  QTest::newRow("startup") << "toolStartup" << "tabStartup";
  QTest::newRow("uninstall") << "toolAddRemove" << "tabAddRemove";
  QTest::newRow("backup") << "toolBackup" << "tabBackup";
  QTest::newRow("history") << "toolHistory" << "tabHistory";
  QTest::newRow("ignore") << "toolIgnore" << "tabIgnoreList";
  QTest::newRow("help keeps the page") << "SpeedButton2" << "tabIgnoreList";
}

void MainFormTest::ignorePageRefreshesOnlyWhenEmpty() {
  Window w;
  TestMachine::writeFile(w.machine.currentFolder() / "ignore.xml", ThreeChildren);
  w.open();
  w.form->show();
  // A list that has rows is left as it is when the page is opened again.
  pugi::xml_node root = w.form->ignoreDocument().document_element();
  root.remove_child(root.first_child());
  w.form->toolIgnore->click();
  QCOMPARE(w.ignoreRows().count(), 3);
  w.ignoreRows().clear();
  w.form->toolIgnore->click();
  QCOMPARE(w.ignoreRows().count(), 2);
}
