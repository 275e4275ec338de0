#include "app/TSplashScreen.h"

#include "app/Pictures.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

namespace tw::app {

TSplashScreen::TSplashScreen(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("SplashScreen"));
  splashImage = new QLabel(this);
  splashImage->setObjectName(QStringLiteral("splashImage"));
  const QPixmap picture = programPicture(QStringLiteral("splash"));
  splashImage->setPixmap(picture);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splashImage);
  setFixedSize(picture.isNull() ? QSize(448, 291) : picture.size());
}

void TSplashScreen::showAndPaint() {
  if (QScreen *screen = QApplication::primaryScreen()) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - rect().center());
  }
  show();
  raise();
  // Under a window manager the window is mapped some time after show(), and what is painted
  // before that never reaches the screen; the main window is built next, with no event loop to
  // paint the splash once it appears. So wait (a little while at most) until it is on screen.
  QWindow *window = windowHandle();
  const QDeadlineTimer deadline(MaxWaitForScreenMs);
  while (window && !window->isExposed() && !deadline.hasExpired()) {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    if (!window->isExposed()) QThread::msleep(5);
  }
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace tw::app
