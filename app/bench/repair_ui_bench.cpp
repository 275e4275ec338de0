// How long "Fix Selected" and "Restore" take in the window for 30,000 rows, and how long the
// event loop is held up meanwhile. A prefix with about 34,000 broken entries is generated in the
// temporary folder (a fix changes it for good, so it is never reused) and scanned (not timed);
// the first 30,000 rows of the error list are checked on the scan page of a real window. Then
// "Fix Selected" is clicked and timed until the window is idle again, the history page opened,
// every record checked and "&Restore" clicked and timed likewise. A 1 ms timer on the UI thread
// measures the longest gap between two of its ticks during each action.
//
//   QT_QPA_PLATFORM=offscreen repair_ui_bench [rows]
//
// The exit status is 1 when an action takes longer than a second, holds up the event loop for
// more than 100 ms, or leaves other rows than row-by-row fixing would.

#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/UserMessages.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/ScanErrorsPage.h"
#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tw;

namespace {

constexpr double LimitSeconds = 1.0;
constexpr double LimitStallMs = 100.0;

/// Removes the generated prefix however the benchmark ends.
struct TemporaryFolder {
  fs::path path;
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(), ignored);
    fs::remove_all(path, ignored);
  }
};

struct ActionFigures {
  double seconds = 0;
  double longestStallMs = 0;
};

/// Clicks `button` and lets the event loop run until the window's action has ended.
ActionFigures timeClick(app::TfmMainForm &form, QAbstractButton &button) {
  QElapsedTimer clock;
  qint64 lastTick = 0;
  qint64 longestGap = 0;
  QTimer pulse;
  pulse.setInterval(1);
  pulse.setTimerType(Qt::PreciseTimer);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
  });
  QApplication::processEvents();
  clock.start();
  pulse.start();
  button.click();
  while (form.isActionRunning()) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  const qint64 end = clock.nsecsElapsed();
  pulse.stop();
  // The gap that ends at the action's end counts too.
  longestGap = std::max(longestGap, end - lastTick);
  return {static_cast<double>(end) / 1e9, static_cast<double>(longestGap) / 1e6};
}

} // namespace

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  const int rowsToFix = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30000;
  const TemporaryFolder folder{fs::temp_directory_path() / ("tw-repair-ui-bench-" + std::to_string(getpid()))};
  const fs::path prefixDir = folder.path / "prefix";
  fs::create_directories(folder.path);

  // About 34,000 broken entries of the kinds that make most rows. SharedDlls stays at a size a
  // real machine has: the registry looks a value up by walking its key's values, so one key of
  // tens of thousands of values would measure that walk rather than the window.
  generator::GeneratorOptions options;
  options.seed = 2006;
  options.brokenShare = 0.4;
  options.classes = 30000;
  options.appPaths = 10000;
  options.uninstall = 10000;
  options.fileExts = 30000;
  options.sharedDlls = 2000;
  const generator::GenerateResult made = generator::generatePrefix(prefixDir.string(), options);
  if (!made) {
    std::fprintf(stderr, "repair_ui_bench: %s\n", made.description().c_str());
    return 1;
  }
  platform::PrefixOpenResult opened;
  auto machine = platform::openMachine(prefixDir.string(), opened);
  if (!machine || opened.readOnly()) {
    std::fprintf(stderr, "repair_ui_bench: %s\n", opened.description().c_str());
    return 1;
  }
  platform::installMachine(std::move(machine));
  // The window looks for ignore.xml in the current folder.
  fs::create_directories(folder.path / "current");
  fs::current_path(folder.path / "current");

  lists::CheckableList groups;
  lists::CheckableList scanned(/*sorted=*/true);
  scan::rebuildScanGroupList(groups);
  scan::ListScanSession session(groups, scanned);
  const scan::ScanRunResult scanEnd = scan::runScanBody(session);
  if (scanEnd.kind != scan::ScanEndKind::Completed || scanned.count() < rowsToFix) {
    std::fprintf(stderr, "repair_ui_bench: the scan found %d rows (%s), fewer than %d\n",
                 scanned.count(), scanEnd.error.c_str(), rowsToFix);
    return 1;
  }
  const int rowsFound = scanned.count();
  for (int i = rowsToFix; i < rowsFound; ++i) scanned.setChecked(i, false);

  app::QtUiDispatcher dispatcher;
  app::PrintedMessages messages;
  app::TfmMainForm form(dispatcher, messages);
  form.show();
  app::ScanErrorsPage &scanPage = *form.scanErrorsPage();
  scanPage.errors().swapRows(scanned);
  scanPage.btnFixSelected->setEnabled(true);

  const ActionFigures fix = timeClick(form, *scanPage.btnFixSelected);
  const int rowsLeft = scanPage.errors().count();

  QElapsedTimer clock;
  clock.start();
  form.toolHistory->click();
  const double historySeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  app::HistoryPage &historyPage = *form.historyPage();
  const int records = historyPage.history().count();
  historyPage.btnCheckAll1->click();
  const ActionFigures restore = timeClick(form, *historyPage.btnRestore);
  const int recordsLeft = historyPage.history().count();
  form.close();

  std::printf("prefix: %zu keys, %d error rows found, %d of them checked\n", made.keysWritten,
              rowsFound, rowsToFix);
  std::printf("fix %d rows in the window:      %.3f s, longest event-loop stall %.1f ms, %d rows left\n",
              rowsToFix, fix.seconds, fix.longestStallMs, rowsLeft);
  std::printf("history page opened with %d records: %.3f s\n", records, historySeconds);
  std::printf("restore %d records in the window: %.3f s, longest event-loop stall %.1f ms, %d records left\n",
              records, restore.seconds, restore.longestStallMs, recordsLeft);
  const bool exact = rowsLeft == rowsFound - rowsToFix && records == rowsToFix && recordsLeft == 0;
  const bool fast = fix.seconds <= LimitSeconds && restore.seconds <= LimitSeconds &&
                    fix.longestStallMs <= LimitStallMs && restore.longestStallMs <= LimitStallMs;
  std::printf("limits: %.1f s per action, %.0f ms stall: %s%s\n", LimitSeconds, LimitStallMs,
              fast ? "kept" : "EXCEEDED", exact ? "" : "; ROWS OR RECORDS DIFFER");
  return fast && exact ? 0 : 1;
}
