// The traces page scanning a cache of 100,000 files and cleaning them up, in a window: how long
// each takes until the page is ready again (at most 2 s and 5 s) and the longest stall of the
// event loop meanwhile (at most 50 ms), measured as the longest gap between two ticks of a 1 ms
// timer, with the UI thread's CPU time in that gap beside it.
//
//   QT_QPA_PLATFORM=offscreen traces_ui_bench [files]
//
// A prefix is generated in the temporary folder (TMPDIR) and its cache filled with `files` files
// (100,000 by default) in sub-folders of 1,000; only the "Cache" action is checked.

#include "app/QtUiDispatcher.h"
#include "app/pages/IETracesPage.h"
#include "bench/BrowserCache.h"
#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "tools/uIE.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tw;

namespace {

qint64 threadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Figures {
  double seconds = 0;
  double longestStallMs = 0;
  double longestUiWorkMs = 0;
};

/// Presses `button` and runs the event loop until the page is no longer busy.
Figures measure(app::IETracesPage &page, QPushButton *button) {
  QElapsedTimer clock;
  qint64 lastTick = 0, longestGap = 0, lastCpu = 0, longestCpu = 0;
  QTimer pulse;
  pulse.setInterval(1);
  pulse.setTimerType(Qt::PreciseTimer);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
    const qint64 cpu = threadCpuNs();
    longestCpu = std::max(longestCpu, cpu - lastCpu);
    lastCpu = cpu;
  });
  QApplication::processEvents();
  clock.start();
  lastCpu = threadCpuNs();
  pulse.start();
  button->click();
  while (page.isBusy()) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  pulse.stop();
  Figures f;
  f.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  longestGap = std::max(longestGap, clock.nsecsElapsed() - lastTick);
  longestCpu = std::max(longestCpu, threadCpuNs() - lastCpu);
  f.longestStallMs = static_cast<double>(longestGap) / 1e6;
  f.longestUiWorkMs = static_cast<double>(longestCpu) / 1e6;
  return f;
}

} // namespace

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  const int fileCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  const fs::path root = fs::temp_directory_path() / ("tw-traces-ui-bench-" + std::to_string(getpid()));
  fs::create_directories(root);
  const fs::path prefix = root / "prefix";
  generator::GeneratorOptions options;
  options.traceFiles = 0;
  const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
  if (!made) {
    std::fprintf(stderr, "traces_ui_bench: %s\n", made.description().c_str());
    return 1;
  }
  tw::bench::fillBrowserCache(prefix, options.userName, fileCount);
  platform::PrefixOpenResult opened;
  auto machine = platform::openMachine(prefix.string(), opened);
  if (!machine) {
    std::fprintf(stderr, "traces_ui_bench: %s\n", opened.description().c_str());
    return 1;
  }
  platform::installMachine(std::move(machine));

  int status = 0;
  {
    app::QtUiDispatcher dispatcher;
    app::IETracesPage page(dispatcher);
    page.resize(560, 500);
    page.show();
    for (int i = 0; i < page.actions().count(); ++i)
      page.actions().setChecked(i, i == static_cast<int>(tools::TraceActionIndex::Cache));

    const Figures scan = measure(page, page.btnTempScan);
    const int listed = page.deletedFiles().count();
    const Figures cleanup = measure(page, page.btnCleanIE);
    std::printf("prefix: %s, %d cache files in folders of 1,000\n", root.c_str(), fileCount);
    std::printf("scan: %d files listed in %.3f s (limit 2 s), longest event-loop stall %.1f ms "
                "(limit 50 ms; UI CPU %.1f ms)\n",
                listed, scan.seconds, scan.longestStallMs, scan.longestUiWorkMs);
    std::printf("cleanup: %.3f s (limit 5 s), longest event-loop stall %.1f ms (UI CPU %.1f ms)\n",
                cleanup.seconds, cleanup.longestStallMs, cleanup.longestUiWorkMs);
    if (listed != fileCount || scan.seconds > 2 || cleanup.seconds > 5 || scan.longestStallMs > 50 ||
        cleanup.longestStallMs > 50)
      status = 1;
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}
