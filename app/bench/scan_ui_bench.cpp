// How fast the error rows of a scan reach the sorted error list on the page, and how long the
// event loop is held up meanwhile. A worker reports N rows (100,000 by default) of eleven error
// types in random order, with a status text for each, through the same session and queue as a
// real scan; the list is shown in a view. Prints the rows per second from the start of the run
// until its end step finds every row in the list, and the longest gap between two ticks of a
// 1 ms timer on the UI thread.
//
//   QT_QPA_PLATFORM=offscreen scan_ui_bench [rows] [runs]

#include "app/CheckableListModel.h"
#include "app/QtUiDispatcher.h"
#include "app/ReportList.h"
#include "app/ScanUpdateQueue.h"
#include "app/worker/TBMDThread.h"
#include "lists/CheckableList.h"
#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace tw;

namespace {

struct RunFigures {
  double seconds = 0;
  double rowsPerSecond = 0;
  double longestStallMs = 0;
  double longestUiWorkMs = 0; ///< UI-thread CPU time between two ticks
  double uiCpuSeconds = 0;
  double workerCpuSeconds = 0;
  int rowsInList = 0;
};

/// CPU time the calling thread has used, in nanoseconds.
qint64 threadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

RunFigures runOnce(int rowCount, unsigned seed) {
  app::QtUiDispatcher dispatcher;
  lists::CheckableList groups(false);
  lists::CheckableList errors(true);
  scan::rebuildScanGroupList(groups);
  app::CheckableListModel model(errors, {"Error Type", "Key Name", "Key Value", "Guess Path"});
  QTableView *view = app::makeReportList(nullptr, "lvErrors", &model, {130, 150, 140});
  view->resize(540, 300);
  if (!getenv("NOVIEW")) view->show();
  QString label;
  app::ScanUpdateQueue queue(dispatcher, groups, errors,
                             [&](const std::string &text) { label = QString::fromStdString(text); });

  // The rows a worker reports, made before the clock starts.
  std::vector<scan::ErrorRow> rows;
  rows.reserve(static_cast<std::size_t>(rowCount));
  std::mt19937 random(seed);
  std::vector<std::string_view> types;
  for (const scan::ScanGroup &g : scan::ScanGroups)
    if (!g.errorType.empty()) types.push_back(g.errorType);
  for (int i = 0; i < rowCount; ++i) {
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" + std::to_string(random() % 500) +
                            "\\Product\\Entry" + std::to_string(i);
    rows.push_back({std::string(types[random() % types.size()]), key,
                    "C:\\Program Files\\Vendor\\missing" + std::to_string(i) + ".exe",
                    "c:\\program files\\vendor\\missing" + std::to_string(i) + ".exe"});
  }

  worker::TBMDThread thread(dispatcher);
  qint64 workerCpu = 0;
  thread.OnExecute = [&](worker::TBMDThread &, worker::TBMDExecuteThread &w, void *&) {
    const qint64 cpuStart = threadCpuNs();
    app::WindowScanSession session(queue, w);
    for (scan::ErrorRow &row : rows) {
      session.showStatus(row.keyName);
      session.appendErrorRow(std::move(row));
    }
    session.setGroupErrorCount(0, std::to_string(rowCount));
    workerCpu = threadCpuNs() - cpuStart;
  };

  QElapsedTimer clock;
  qint64 endNs = 0;
  int rowsAtEnd = 0;
  thread.OnTerminate = [&](worker::TBMDThread &, worker::TBMDExecuteThread &, void *&) {
    queue.flush();
    rowsAtEnd = errors.count();
    endNs = clock.nsecsElapsed();
  };

  // The event loop's pulse: a 1 ms timer; the longest gap between its ticks is the longest stall.
  QElapsedTimer pulseClock;
  qint64 lastTick = 0;
  qint64 longestGap = 0;
  qint64 lastTickCpu = 0;
  qint64 longestCpuGap = 0;
  QTimer pulse;
  pulse.setInterval(1);
  pulse.setTimerType(Qt::PreciseTimer);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const qint64 now = pulseClock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
    const qint64 cpu = threadCpuNs();
    longestCpuGap = std::max(longestCpuGap, cpu - lastTickCpu);
    lastTickCpu = cpu;
  });

  // Let the view settle before measuring.
  QApplication::processEvents();
  pulseClock.start();
  const qint64 uiCpuStart = threadCpuNs();
  lastTickCpu = uiCpuStart;
  pulse.start();
  clock.start();
  thread.Start();
  while (thread.IsRunning()) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  pulse.stop();
  // The gap that ends at the run's end counts too.
  longestGap = std::max(longestGap, pulseClock.nsecsElapsed() - lastTick);
  longestCpuGap = std::max(longestCpuGap, threadCpuNs() - lastTickCpu);
  const qint64 uiCpu = threadCpuNs() - uiCpuStart;
  delete view;

  RunFigures f;
  f.seconds = static_cast<double>(endNs) / 1e9;
  f.rowsPerSecond = rowCount / f.seconds;
  f.longestStallMs = static_cast<double>(longestGap) / 1e6;
  f.longestUiWorkMs = static_cast<double>(longestCpuGap) / 1e6;
  f.uiCpuSeconds = static_cast<double>(uiCpu) / 1e9;
  f.workerCpuSeconds = static_cast<double>(workerCpu) / 1e9;
  f.rowsInList = rowsAtEnd;
  return f;
}

} // namespace

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  const int rowCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::printf("scan_ui_bench: %d rows per run, %d runs\n", rowCount, runs);
  double worstRate = 1e300;
  double worstStall = 0;
  double worstUiWork = 0;
  bool complete = true;
  for (int run = 0; run < runs; ++run) {
    const RunFigures f = runOnce(rowCount, 1234u + static_cast<unsigned>(run));
    std::printf("run %d: %.3f s, %.0f rows/s, longest event-loop stall %.1f ms (UI CPU %.1f ms), "
                "CPU: UI %.3f s, worker %.3f s, %d rows in the list\n",
                run + 1, f.seconds, f.rowsPerSecond, f.longestStallMs, f.longestUiWorkMs,
                f.uiCpuSeconds, f.workerCpuSeconds, f.rowsInList);
    worstRate = std::min(worstRate, f.rowsPerSecond);
    worstStall = std::max(worstStall, f.longestStallMs);
    worstUiWork = std::max(worstUiWork, f.longestUiWorkMs);
    complete = complete && f.rowsInList == rowCount;
  }
  std::printf("worst: %.0f rows/s (target >= 200000), longest stall %.1f ms (target <= 50), "
              "longest UI work between ticks %.1f ms CPU%s\n",
              worstRate, worstStall, worstUiWork, complete ? "" : ", ROWS MISSING");
  return complete ? 0 : 1;
}
