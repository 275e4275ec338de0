#pragma once
// The splash window shown while the main window is built: one picture, no border, always on
// top, centred on the desktop and sized to the picture.

#include <QWidget>

class QLabel;

namespace tw::app {

class TSplashScreen : public QWidget {
  Q_OBJECT

public:
  explicit TSplashScreen(QWidget *parent = nullptr);

  /// Shows the window and paints it at once, before the caller goes on.
  void showAndPaint();

  QLabel *splashImage = nullptr;
};

} // namespace tw::app
