#include "app/TSplashScreen.h"

#include "app/Pictures.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

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
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace tw::app
