// The splash window on a real display: run under Xvfb with a window manager
// (with_window_manager.sh), where a window reaches the screen only once the manager has mapped
// it. What the screen shows where the splash stands is read back from the display server.

#include "splash_test.h"

#include "app/Pictures.h"
#include "app/TSplashScreen.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cstdlib>

/// Share of the pixels of `shown` that equal those of `picture` (each channel within 8).
static double shareOfMatchingPixels(const QImage &shown, const QImage &picture) {
  if (shown.size() != picture.size() || shown.isNull()) return 0;
  long matching = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb a = shown.pixel(x, y), b = picture.pixel(x, y);
      if (std::abs(qRed(a) - qRed(b)) <= 8 && std::abs(qGreen(a) - qGreen(b)) <= 8 &&
          std::abs(qBlue(a) - qBlue(b)) <= 8)
        ++matching;
    }
  return static_cast<double>(matching) / (picture.width() * picture.height());
}

void SplashTest::pictureIsOnTheScreenBeforeTheMainWindowIsBuilt() {
  const QImage picture = tw::app::programPicture(QStringLiteral("splash")).toImage();
  QVERIFY(!picture.isNull());
  tw::app::TSplashScreen splash;
  splash.showAndPaint();
  // What start-up does next is build the main window, without an event loop: whatever is on the
  // screen now stays there meanwhile. Nothing else may run before the screen is read.
  QScreen *screen = splash.screen();
  QVERIFY(screen);
  const QRect where(splash.mapToGlobal(QPoint(0, 0)), splash.size());
  const QImage shown =
      screen->grabWindow(0, where.x(), where.y(), where.width(), where.height()).toImage();
  const double share = shareOfMatchingPixels(shown, picture.convertToFormat(shown.format()));
  QVERIFY2(share > 0.95, qPrintable(QStringLiteral("%1 of the splash's pixels show its picture on %2")
                                        .arg(share)
                                        .arg(QGuiApplication::platformName())));
}
