// The notification-area icon: its hint, picture and menu, minimising with and without a
// notification area, bringing the window back, and "Exit" as the close box's path.

#include "shell_tests.h"

#include "ShellWindow.h"
#include "app/CheckableListModel.h"
#include "app/ScanUpdateQueue.h"
#include "app/TfmMainForm.h"
#include "app/pages/ScanErrorsPage.h"
#include "app/worker/TBMDThread.h"
#include "lists/CheckableList.h"
#include "scan/ScanLists.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <filesystem>
#include <memory>

using tw::app::TfmMainForm;
namespace fs = std::filesystem;

namespace {

constexpr int Timeout = 60000;

/// The window, shown.
struct Window : tw::test::ShellWindow {
  explicit Window(const std::string &registry = {}) : ShellWindow(registry) { open(/*show=*/true); }
};

/// Broken uninstall entries enough that a scan waits for the window to take its rows.
std::string manyBrokenUninstallEntries(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App" +
            std::to_string(i) + "]\n\"UninstallString\"=\"C:\\\\Gone\\\\uninst" + std::to_string(i) + ".exe\"\n";
  return text;
}

/// Starts a scan and returns once it waits for the window inside the Uninstall group.
bool startLongScan(Window &w) {
  tw::app::ScanErrorsPage &page = *w.form->scanErrorsPage();
  page.btnStartScan->click();
  QDeadlineTimer deadline(Timeout);
  while (page.pendingRowCount() < tw::app::ScanUpdateQueue::MaxQueuedRows && !deadline.hasExpired())
    QThread::msleep(1);
  return w.form->scanErrorsThread().IsRunning();
}

} // namespace

void TrayTest::iconHasItsHintPictureAndTwoItemMenu() {
  Window w;
  QSystemTrayIcon &icon = *w.form->trayIcon;
  QVERIFY(icon.isVisible());
  QCOMPARE(icon.toolTip(), QStringLiteral("Tidewell Registry Cleaner 2006"));
  QVERIFY(icon.icon().availableSizes().contains(QSize(16, 16)));
  QCOMPARE(icon.icon().pixmap(16, 16).size(), QSize(16, 16));
  QCOMPARE(icon.contextMenu(), w.form->PopupMenu1);
  QStringList items;
  for (QAction *action : w.form->PopupMenu1->actions()) items << action->text();
  QCOMPARE(items, (QStringList{"Show Main Window", "Exit"}));
  QVERIFY(!w.form->minimizeToTray());
}

void TrayTest::withoutATrayMinimiseMinimisesAsUsual() {
  if (TfmMainForm::trayAvailable()) QSKIP("this desktop has a notification area");
  Window w;
  w.form->setWindowState(Qt::WindowMinimized);
  QTest::qWait(50);
  // A hidden window without an icon to bring it back would be lost.
  QVERIFY(w.form->isVisible());
  QVERIFY(w.form->isMinimized());
  QVERIFY(!w.form->minimizeToTray());
  QVERIFY(w.form->trayIcon->isVisible());
}

void TrayTest::doubleClickAndShowBringTheWindowBack_data() {
  QTest::addColumn<bool>("byMenu");
  QTest::newRow("double-click") << false;
  QTest::newRow("Show Main Window") << true;
}

void TrayTest::doubleClickAndShowBringTheWindowBack() {
  QFETCH(bool, byMenu);
  Window w;
  w.form->setWindowState(Qt::WindowMinimized);
  w.form->hide();
  if (byMenu)
    w.form->Show1->trigger();
  else
    emit w.form->trayIcon->activated(QSystemTrayIcon::DoubleClick);
  QVERIFY(w.form->isVisible());
  QVERIFY(!w.form->isMinimized());
  // Other clicks on the icon leave the window alone.
  w.form->hide();
  emit w.form->trayIcon->activated(QSystemTrayIcon::Trigger);
  emit w.form->trayIcon->activated(QSystemTrayIcon::Context);
  QVERIFY(w.form->isHidden());
}

void TrayTest::comingBackFromTheTrayKeepsTheScanGroups() {
  constexpr int UninstallGroup = 10;
  Window w(manyBrokenUninstallEntries(9000));
  tw::app::ScanErrorsPage &page = *w.form->scanErrorsPage();
  for (int i = 0; i < page.scanGroups().count(); ++i)
    page.scanGroupsModel()->setData(page.scanGroupsModel()->index(i, 0),
                                    i == UninstallGroup ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
  QVERIFY(startLongScan(w));
  // Hidden to the notification area and back while the scan runs: the groups it runs stay as
  // the user checked them.
  w.form->hide();
  w.form->Show1->trigger();
  QCOMPARE(page.scanGroups().checkedRows().size(), std::size_t{1});
  QTRY_VERIFY_WITH_TIMEOUT(page.btnStartScan->text() == QStringLiteral("Start &Scan"), Timeout);
  const std::string count = page.scanGroups().row(UninstallGroup).subItem(tw::scan::GroupCountSubItem);
  QCOMPARE(count, std::string("9000"));
  // And after the scan, its counts stay beside its rows.
  w.form->hide();
  emit w.form->trayIcon->activated(QSystemTrayIcon::DoubleClick);
  QCOMPARE(page.scanGroups().row(UninstallGroup).subItem(tw::scan::GroupCountSubItem), count);
  QCOMPARE(page.errors().count(), 9000);
}

void TrayTest::exitStopsARunningScanAndWritesTheUndoStore() {
  Window w(manyBrokenUninstallEntries(9000));
  QVERIFY(startLongScan(w));
  QVERIFY(!fs::exists(w.undoStore()));
  w.form->Exit1->trigger();
  QVERIFY(w.form->isHidden());
  QVERIFY(fs::exists(w.undoStore()));
  QVERIFY(w.form->scanErrorsThread().Worker()->Terminated());
  // Program exit waits for the worker, serving its events meanwhile.
  w.form.reset();
  QVERIFY(w.messages.errors.isEmpty());
}

void TrayTest::exitFromTheTrayWritesTheUndoStore() {
  Window w;
  w.form->hide(); // as minimising to the notification area leaves it
  w.form->Exit1->trigger();
  QVERIFY(fs::exists(w.undoStore()));
  QVERIFY(w.messages.errors.isEmpty());

  // An undo store that cannot be written keeps the window open and shows it.
  Window blocked;
  fs::remove_all(blocked.undoStore());
  fs::create_directories(blocked.undoStore() / "in-the-way");
  blocked.form->hide();
  blocked.form->Exit1->trigger();
  QCOMPARE(blocked.messages.errors.size(), 1);
  QVERIFY(blocked.form->isVisible());
}

// --- Under Xvfb with a real notification area ---------------------------------------------

void TrayHostTest::cleanup() {
  if (m_trayHost.state() == QProcess::NotRunning) return;
  m_trayHost.terminate();
  m_trayHost.waitForFinished(5000);
}

/// Starts trayer as the desktop's notification area, at the bottom right of the screen.
static bool startTrayHost(QProcess &host) {
  const QString trayer = qEnvironmentVariable("TIDEWELL_TRAYER", QStringLiteral("trayer"));
  host.start(trayer, {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "24",
                      "--SetDockType", "false", "--transparent", "false"});
  return host.waitForStarted(5000);
}

/// Pixels of the icon's artwork (its dark blue and its white letter) inside `area` of the screen.
static bool screenShowsTheIcon(const QImage &screen, const QRect &area) {
  int dark = 0, white = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = screen.pixelColor(x, y);
      if (c.blue() > 60 && c.red() < 40 && c.green() < 80) ++dark;
      if (c.red() > 230 && c.green() > 230 && c.blue() > 230) ++white;
    }
  return dark >= 10 && white >= 5;
}

void TrayHostTest::iconDocksOnceATrayAppearsAndMinimiseHidesToIt() {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) QSKIP("needs an X display (run under xvfb-run)");
  QVERIFY2(!TfmMainForm::trayAvailable(), "a notification area is there already");

  Window w;
  QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
  QVERIFY(w.form->trayIcon->isVisible());
  QVERIFY(!w.form->trayIcon->geometry().isValid());
  // No notification area yet: minimising minimises.
  w.form->setWindowState(Qt::WindowMinimized);
  QTest::qWait(100);
  QVERIFY(w.form->isVisible());
  QVERIFY(!w.form->minimizeToTray());
  w.form->setWindowState(Qt::WindowNoState);

  // A notification area appears: the icon docks there and shows its picture.
  QVERIFY2(startTrayHost(m_trayHost), qPrintable(m_trayHost.errorString()));
  QTRY_VERIFY_WITH_TIMEOUT(TfmMainForm::trayAvailable(), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(w.form->trayIcon->geometry().width() >= 16, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(
      screenShowsTheIcon(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), w.form->trayIcon->geometry()), 5000);

  // Minimising hides the window and its taskbar entry (the X window is withdrawn); the icon stays.
  w.form->setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY_WITH_TIMEOUT(w.form->isHidden(), 5000);
  QVERIFY(w.form->minimizeToTray());
  QVERIFY(!w.form->windowHandle() || !w.form->windowHandle()->isVisible());
  QVERIFY(w.form->trayIcon->isVisible());
  QTest::qWait(300);
  const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
  QVERIFY(screenShowsTheIcon(screen.toImage(), w.form->trayIcon->geometry()));
  // The picture of the screen, for the eye: nothing but the icon in the notification area.
  screen.save(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tray-host-screen.png")));

  // A double-click brings the window back at normal size, in the foreground.
  emit w.form->trayIcon->activated(QSystemTrayIcon::DoubleClick);
  QTRY_VERIFY_WITH_TIMEOUT(w.form->isVisible(), 5000);
  QVERIFY(!w.form->isMinimized());
  QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
  QTRY_VERIFY_WITH_TIMEOUT(w.form->isActiveWindow(), 5000);

  // The notification area starts anew (the desktop's panel restarted): the icon is there again.
  m_trayHost.terminate();
  QVERIFY(m_trayHost.waitForFinished(5000));
  QTRY_VERIFY_WITH_TIMEOUT(!TfmMainForm::trayAvailable(), 10000);
  QVERIFY(startTrayHost(m_trayHost));
  QTRY_VERIFY_WITH_TIMEOUT(TfmMainForm::trayAvailable(), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(
      screenShowsTheIcon(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), w.form->trayIcon->geometry()), 10000);

  // Hidden to the area, the area goes away: the window comes back, or it never could.
  w.form->setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY_WITH_TIMEOUT(w.form->isHidden(), 5000);
  m_trayHost.terminate();
  QVERIFY(m_trayHost.waitForFinished(5000));
  QTRY_VERIFY_WITH_TIMEOUT(w.form->isVisible(), 10000);
  QVERIFY(w.messages.errors.isEmpty());
}
