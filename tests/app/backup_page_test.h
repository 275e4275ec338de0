#pragma once

#include <QObject>

class BackupPageTest : public QObject {
  Q_OBJECT

private slots:
  void enteringThePageListsTheRestorePoints();
  void backupShowsEachRootInTurnAndListsTheNewPointLast();
  void failedExportsAreToldAtTheEnd();
  void refreshTwiceAddsNothing();
  void deleteNeedsASelection();
  void deleteErrorNamesTheFileAndTheRowGoes();
  void deleteErrorForAFolderWithoutWritePermission();
  void restoreWithoutASelectionSaysWhy();
  void restoreImportsTheSelectedPoint();
};
