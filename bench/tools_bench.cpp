// The startup and uninstall managers on a large generated prefix: listing about 5,000 startup
// entries and about 5,000 uninstall entries must each take at most 100 ms, and Apply with 1,000
// changed startup rows at most 500 ms, the saves of the registry files included.
//
//   tools_bench
//
// The prefix is generated afresh in the temporary folder (Apply changes it), with a system.reg
// padded to the size of a fresh Wine prefix's. It prints the times and the numbers of rows; the
// exit status is 1 when a time exceeds its limit.

#include "bench/BenchSupport.h"

#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "tools/uAddRemove.h"
#include "tools/uStartup.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using tw::bench::Clock;
using tw::bench::secondsSince;
using tw::bench::TemporaryFolder;

static constexpr double ListLimitSeconds = 0.100;
static constexpr double ApplyLimitSeconds = 0.500;
static constexpr int RowsToChange = 1000;

int main() {
  const TemporaryFolder folder{fs::temp_directory_path() / ("tw-tools-bench-" + std::to_string(getpid()))};
  const fs::path &dir = folder.path;

  tw::generator::GeneratorOptions options;
  options.seed = 2006;
  options.windowsXp = false;     // Wine's Windows 7: the NT places and startupreg records
  options.startupItems = 5900;   // about 85 % of them land in a listed place
  options.uninstall = 5160;      // about 97 % of them have a display name
  options.systemMegabytes = 2;
  const tw::generator::GenerateResult made = tw::generator::generatePrefix(dir.string(), options);
  if (!made) {
    std::fprintf(stderr, "tools_bench: %s\n", made.description().c_str());
    return 1;
  }
  tw::platform::PrefixOpenResult opened;
  auto machine = tw::platform::openMachine(dir.string(), opened);
  if (!machine || opened.readOnly()) {
    std::fprintf(stderr, "tools_bench: %s\n", opened.description().c_str());
    return 1;
  }
  tw::platform::installMachine(std::move(machine));

  // Each listing is timed a few times; the slowest counts.
  const int kind = tw::tools::startupWindowsKind();
  tw::lists::CheckableList startup;
  tw::tools::StartupStates states;
  double startupSeconds = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    const tw::repair::ActionResult listed = tw::tools::fillStartupList(startup, states, kind);
    startupSeconds = std::max(startupSeconds, secondsSince(start));
    if (!listed) {
      std::fprintf(stderr, "tools_bench: %s\n", listed.message.c_str());
      return 1;
    }
  }
  tw::lists::CheckableList uninstall(/*sorted=*/true);
  double uninstallSeconds = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    const tw::repair::ActionResult listed = tw::tools::ListUninstallEntries(uninstall);
    uninstallSeconds = std::max(uninstallSeconds, secondsSince(start));
    if (!listed) {
      std::fprintf(stderr, "tools_bench: %s\n", listed.message.c_str());
      return 1;
    }
  }

  int changed = 0;
  for (int i = 0; i < startup.count() && changed < RowsToChange; ++i) {
    if (!startup.row(i).checked) continue;
    startup.setChecked(i, false);
    ++changed;
  }
  auto start = Clock::now();
  const tw::repair::ActionResult applied = tw::tools::applyStartupChanges(startup, states, kind);
  const double applySeconds = secondsSince(start);
  if (!applied || applied.count != RowsToChange) {
    std::fprintf(stderr, "tools_bench: Apply moved %d entries: %s\n", applied.count, applied.message.c_str());
    return 1;
  }

  std::printf("prefix %s: %zu keys, system.reg %ju bytes, user.reg %ju bytes\n", dir.c_str(), made.keysWritten,
              static_cast<std::uintmax_t>(fs::file_size(dir / "system.reg")),
              static_cast<std::uintmax_t>(fs::file_size(dir / "user.reg")));
  std::printf("list %d startup entries:   %.1f ms (slowest of 5)\n", startup.count(), startupSeconds * 1000);
  std::printf("list %d uninstall entries: %.1f ms (slowest of 5)\n", uninstall.count(), uninstallSeconds * 1000);
  std::printf("Apply %d changed rows:     %.1f ms (both saves of the registry files included)\n", RowsToChange,
              applySeconds * 1000);
  const bool withinLimits = startupSeconds <= ListLimitSeconds && uninstallSeconds <= ListLimitSeconds &&
                            applySeconds <= ApplyLimitSeconds;
  if (!withinLimits) std::printf("over a limit (listing %.0f ms, Apply %.0f ms)\n", ListLimitSeconds * 1000,
                                 ApplyLimitSeconds * 1000);
  return withinLimits ? 0 : 1;
}
