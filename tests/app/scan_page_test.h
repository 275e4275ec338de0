#pragma once

#include <QObject>

class ScanPageTest : public QObject {
  Q_OBJECT

private slots:
  void layoutAndCaptions();
  void scanRunsToItsEndWithSortedRowsAndCounts();
  void scanWithNothingToRunEndsAtOnce();
  void scanWithNothingToRunEndsAtOnce_data();
  void uncheckedGroupIsSkipped();
  void stopDuringUninstallKeepsRowsAndRunsNoLaterGroup();
  void checkAllTogglesTheErrorRowsOnly();
  void ignoreEntryHidesExactlyItsKeyText();
  void ignoreEntryHidesExactlyItsKeyText_data();
  void ignoreListChangedDuringTheRunIsUsedFromThenOn();
  void openingTheScanPageKeepsRowsOrResetsGroups();
  void closingDuringAScanStopsItAndExitWaits();
};
