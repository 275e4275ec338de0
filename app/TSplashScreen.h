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

  /// Shows the window and paints it on the screen before the caller goes on: once it is
  /// exposed, or after MaxWaitForScreenMs when the window system never says so.
  void showAndPaint();

  static constexpr int MaxWaitForScreenMs = 2000;

  QLabel *splashImage = nullptr;
};

} // namespace tw::app
