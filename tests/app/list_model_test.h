#pragma once

#include <QObject>

class ListModelTest : public QObject {
  Q_OBJECT

private slots:
  void followsEveryChangeUnderTheModelTester();
  void followsEveryChangeUnderTheModelTester_data();
  void mapsColumnsRolesAndCheckMarks();
};
