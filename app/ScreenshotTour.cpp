#include "app/ScreenshotTour.h"

#include "app/TSplashScreen.h"
#include "app/TfmMainForm.h"
#include "app/pages/IETracesPage.h"
#include "app/pages/ScanErrorsPage.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QtDebug>

namespace tw::app {

static void settle(int milliseconds = 200) {
  QDeadlineTimer deadline(milliseconds);
  while (!deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

static bool save(QWidget &widget, const QString &folder, const QString &name) {
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  if (widget.grab().save(path)) return true;
  qWarning("cannot save %s", qPrintable(path));
  return false;
}

/// The whole screen, as the user sees it; nothing on a display without a screen (offscreen).
static bool saveScreen(const QString &folder, const QString &name) {
  QScreen *screen = QApplication::primaryScreen();
  if (!screen) return true;
  const QPixmap desktop = screen->grabWindow(0);
  return desktop.isNull() || desktop.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

bool takeScreenshots(TfmMainForm &form, TSplashScreen &splash, const QString &folder) {
  QDir().mkpath(folder);
  settle();
  bool ok = saveScreen(folder, QStringLiteral("00-screen-at-start"));
  ok = save(splash, folder, QStringLiteral("00-splash")) && ok;
  splash.hide(); // it would cover the window on the screen picture
  settle();

  const struct {
    QToolButton *button;
    const char *name;
  } pages[] = {
      {form.toolScanErrors, "01-scan-errors"}, {form.toolToolbar, "02-ie-plugins"},
      {form.toolE, "03-ie-traces"},            {form.toolStartup, "04-startup"},
      {form.toolAddRemove, "05-uninstall"},    {form.toolBackup, "06-backup"},
      {form.toolHistory, "07-history"},        {form.toolIgnore, "08-ignore-list"},
  };
  // Every page at the window's first size and at a large one.
  const QSize sizes[] = {form.size(), QSize(1280, 900)};
  for (const QSize &size : sizes) {
    form.resize(size);
    settle();
    const QString suffix = QStringLiteral("-%1x%2").arg(size.width()).arg(size.height());
    for (const auto &page : pages) {
      page.button->click();
      settle();
      ok = save(form, folder, QString::fromLatin1(page.name) + suffix) && ok;
    }
  }
  form.resize(sizes[0]);
  settle();

  // The scan page while a scan runs, then with the rows of the whole scan.
  ScanErrorsPage &scanPage = *form.scanErrorsPage();
  form.toolScanErrors->click();
  scanPage.btnStartScan->click();
  settle(30);
  ok = save(form, folder, QStringLiteral("09-scan-running")) && ok;
  QDeadlineTimer deadline(120000);
  while (scanPage.btnStartScan->text() != QStringLiteral("Start &Scan") && !deadline.hasExpired())
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  settle();
  ok = save(form, folder, QStringLiteral("10-scan-done")) && ok;

  // The traces page with the files its scan found.
  IETracesPage &traces = *form.ieTracesPage();
  form.toolE->click();
  traces.btnTempScan->click();
  QDeadlineTimer tracesDeadline(120000);
  while (traces.isBusy() && !tracesDeadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
  settle();
  ok = save(form, folder, QStringLiteral("12-ie-traces-scanned")) && ok;

  ok = saveScreen(folder, QStringLiteral("11-screen")) && ok;
  // The menu of the notification-area icon, as it pops up.
  form.PopupMenu1->adjustSize();
  return save(*form.PopupMenu1, folder, QStringLiteral("12-tray-menu")) && ok;
}

} // namespace tw::app
