#pragma once

#include <QObject>

class SplashTest : public QObject {
  Q_OBJECT

private slots:
  void pictureIsOnTheScreenBeforeTheMainWindowIsBuilt();
};
