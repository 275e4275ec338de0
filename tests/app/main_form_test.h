#pragma once

#include <QObject>

class MainFormTest : public QObject {
  Q_OBJECT

private slots:
  void layoutFollowsTheWindowDescription();
  void startUpWithoutDataFilesAndCloseWritesEmptyUndoStore();
  void ignoreListComesFromTheCurrentFolderOnly();
  void ignoreListComesFromTheCurrentFolderOnly_data();
  void damagedDataFilesAreKeptAsideAndTheUserIsTold();
  void incompleteIgnoreEntryIsNamed();
  void dataFilesAreNamedByTheirHostPaths();
  void closeStaysOpenWhenTheUndoStoreCannotBeWritten();
  void pageButtonsBringTheirPagesToTheFront();
  void pageButtonsBringTheirPagesToTheFront_data();
  void ignorePageRefreshesOnlyWhenEmpty();
  void everyPageShowsItsControlsWhole();
  void everyPageShowsItsControlsWhole_data();
};
