#pragma once

#include <QObject>
#include <QProcess>

class AutorunTest : public QObject {
  Q_OBJECT

private slots:
  void autorunPathIsTheProgramSeenThroughItsDrive();
  void boxMirrorsTheRegistryAtStartUp();
  void boxMirrorsTheRegistryAtStartUp_data();
  void clickWritesTheExactPathAndTheSecondDeletesOnlyTheValue();
  void clickWritesTheExactPathAndTheSecondDeletesOnlyTheValue_data();
  void runKeyCreatedByCheckingStaysAfterUnchecking();
  void checkedBoxReachesTheRegistryFiles();
  void readOnlyRegistryRefusesWithTheReason();
};

class HelpTest : public QObject {
  Q_OBJECT

private slots:
  void helpFileBesideTheProgramComesFirst();
  void manualIsFoundBesideTheProgram();
  void buttonsOpenWithTheDesktopAndMissingFilesSayNothing();
};

class TrayTest : public QObject {
  Q_OBJECT

private slots:
  void iconHasItsHintPictureAndTwoItemMenu();
  void withoutATrayMinimiseMinimisesAsUsual();
  void doubleClickAndShowBringTheWindowBack();
  void doubleClickAndShowBringTheWindowBack_data();
  void comingBackFromTheTrayKeepsTheScanGroups();
  void exitStopsARunningScanAndWritesTheUndoStore();
  void exitFromTheTrayWritesTheUndoStore();
};

/// Under Xvfb (QT_QPA_PLATFORM=xcb), with trayer started half-way as the notification area.
class TrayHostTest : public QObject {
  Q_OBJECT

private slots:
  void cleanup();
  void iconDocksOnceATrayAppearsAndMinimiseHidesToIt();

private:
  QProcess m_trayHost;
};

/// Against Wine itself, on a prefix made by wineboot.
class WineAutorunTest : public QObject {
  Q_OBJECT

private slots:
  void wineStartsTheProgramTheBoxRegistered();
};
