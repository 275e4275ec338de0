// How long a backup and a restore of a large registry take through the window, and how long the
// event loop is held up meanwhile. Makes a prefix whose registry files total about 100 MB with the
// prefix generator (or takes the prefix given), opens the window on it with the one-second pauses
// before each export left out, presses "Start &Backup", then selects the new restore point and
// presses "Start &Restore". Prints the time of the five exports and of the five imports (with the
// reading of the restored files), and the longest gap between two ticks of a 1 ms timer on the UI
// thread.
//
//   QT_QPA_PLATFORM=offscreen backup_ui_bench [PREFIX]

#include "app/QtUiDispatcher.h"
#include "app/TfmMainForm.h"
#include "app/UserMessages.h"
#include "app/pages/BackupPage.h"
#include "app/worker/TBMDThread.h"
#include "generator/PrefixGenerator.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

using namespace tw;
namespace fs = std::filesystem;

namespace {

struct CountedMessages : app::UserMessages {
  void showError(QWidget *, const QString &text) override {
    ++count;
    std::fprintf(stderr, "error: %s\n", qPrintable(text));
  }
  void showInformation(QWidget *, const QString &text) override {
    ++count;
    std::fprintf(stderr, "notice: %s\n", qPrintable(text));
  }
  bool confirm(QWidget *, const QString &) override { return true; }
  int count = 0;
};

std::uintmax_t registryBytes(const fs::path &prefix) {
  std::uintmax_t total = 0;
  for (const char *name : {"system.reg", "user.reg", "userdef.reg"}) {
    std::error_code ignored;
    const std::uintmax_t size = fs::file_size(prefix / name, ignored);
    if (!ignored) total += size;
  }
  return total;
}

/// CPU seconds (user and system) used so far by the ended children, or by this process.
double cpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunTimes {
  double wall = 0;
  double editorCpu = 0;  ///< the registry editor runs
  double programCpu = 0; ///< this process (the window, the worker, reading the registry again)
};

/// Runs `press` and handles events until `thread` has ended; returns the time it took and
/// raises `longestStallMs` to the longest gap between two ticks of a 1 ms timer meanwhile.
RunTimes timeRun(worker::TBMDThread &thread, const std::function<void()> &press, double &longestStallMs) {
  const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN), selfBefore = cpuSeconds(RUSAGE_SELF);
  QElapsedTimer pulseClock;
  qint64 lastTick = 0, longestGap = 0;
  QTimer pulse;
  pulse.setInterval(1);
  pulse.setTimerType(Qt::PreciseTimer);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const qint64 now = pulseClock.nsecsElapsed();
    longestGap = std::max(longestGap, now - lastTick);
    lastTick = now;
  });
  QApplication::processEvents();
  pulseClock.start();
  pulse.start();
  QElapsedTimer clock;
  clock.start();
  press();
  while (thread.IsRunning()) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  RunTimes times;
  times.wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  times.editorCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
  times.programCpu = cpuSeconds(RUSAGE_SELF) - selfBefore;
  QApplication::processEvents();
  pulse.stop();
  longestGap = std::max(longestGap, pulseClock.nsecsElapsed() - lastTick);
  longestStallMs = std::max(longestStallMs, static_cast<double>(longestGap) / 1e6);
  return times;
}

} // namespace

int main(int argc, char *argv[]) {
  QApplication application(argc, argv);
  if (!std::getenv("TIDEWELL_REGEDIT")) ::setenv("TIDEWELL_REGEDIT", TIDEWELL_REGEDIT_PATH, 1);
  fs::path prefix;
  fs::path made;
  if (argc > 1) {
    prefix = argv[1];
  } else {
    made = fs::path(fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) /
           ("tw-backup-bench-" + std::to_string(::getpid()));
    prefix = made / "prefix";
    fs::create_directories(prefix);
    generator::GeneratorOptions options;
    options.systemMegabytes = 90;
    const generator::GenerateResult result = generator::generatePrefix(prefix.string(), options);
    if (!result) {
      std::fprintf(stderr, "backup_ui_bench: %s\n", result.description().c_str());
      return 1;
    }
  }
  std::printf("backup_ui_bench: prefix %s, registry files %.1f MB (tidewell-mkprefix --system-mb 90)\n",
              prefix.c_str(), static_cast<double>(registryBytes(prefix)) / 1e6);

  platform::PrefixOpenResult opened;
  auto machine = platform::openMachine(prefix.string(), opened);
  if (!machine) {
    std::fprintf(stderr, "backup_ui_bench: %s\n", opened.description().c_str());
    return 1;
  }
  platform::installMachine(std::move(machine));
  int status = 0;
  {
    app::QtUiDispatcher dispatcher;
    CountedMessages messages;
    app::TfmMainForm form(dispatcher, messages);
    form.setBackupPause(std::chrono::milliseconds(0));
    form.show();
    form.toolBackup->click();
    app::BackupPage *page = form.backupPage();

    double stall = 0;
    const RunTimes backup = timeRun(form.threadBackup(), [&] { page->btnBackup->click(); }, stall);
    QApplication::processEvents();
    page->ltbk->setCurrentRow(page->ltbk->count() - 1);
    const RunTimes restore = timeRun(form.threadRestore(), [&] { page->btnRestore1->click(); }, stall);
    double load[3] = {};
    ::getloadavg(load, 3);
    std::printf("five exports: %.2f s (target <= 2; editor CPU %.2f s, program CPU %.2f s)\n"
                "five imports with the re-reading of the registry: %.2f s (target <= 4; editor CPU %.2f s, "
                "program CPU %.2f s)\n"
                "longest event-loop stall %.1f ms (target <= 50); load average %.1f on %u cores%s\n",
                backup.wall, backup.editorCpu, backup.programCpu, restore.wall, restore.editorCpu, restore.programCpu,
                stall, load[0], std::thread::hardware_concurrency(),
                messages.count ? ", WITH MESSAGES (see above)" : "");
    status = messages.count ? 1 : 0;
  }
  if (!made.empty()) fs::remove_all(made);
  return status;
}
