// The browser tools on a large generated prefix: the add-on scan of a registry with more than
// 2,000 add-ons (at most 200 ms), the traces scan of a cache of 100,000 files (at most 2 s) and
// the cleanup of those 100,000 listed files (at most 5 s), without a window (app/bench/
// traces_ui_bench measures the page).
//
//   tools_bench [files]
//
// The prefix is generated afresh in the temporary folder, with 2,350 add-ons of every kind (the
// helper objects among them are not listed) and the cache filled with `files` files (100,000 by
// default) in sub-folders of 1,000. The add-on scan is timed five times (the median is printed);
// the traces scan and the cleanup once each, since the cleanup empties the cache. The exit status
// is 1 when a time exceeds its limit.

#include "bench/BenchSupport.h"

#include "bench/BrowserCache.h"
#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "tools/Toolbar_Unit.h"
#include "tools/uIE.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using tw::bench::Clock;
using tw::bench::secondsSince;

/// CPU seconds the process has used: with other programs on the machine, the wall-clock time
/// says as much about them as about this one.
static double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

namespace {
class ListSink : public tw::tools::TraceScanSink {
public:
  std::vector<tw::lists::Row> rows;
  void fileFound(tw::lists::Row row) override { rows.push_back(std::move(row)); }
};

/// Removes the generated prefix however the benchmark ends.
struct Scratch {
  fs::path root;
  ~Scratch() {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
};
} // namespace

int main(int argc, char **argv) {
  const int fileCount = argc > 1 ? std::atoi(argv[1]) : 100000;
  Scratch scratch;
  scratch.root = fs::temp_directory_path() / ("tw-tools-bench-" + std::to_string(getpid()));
  const fs::path prefix = scratch.root / "prefix";
  fs::create_directories(scratch.root);
  tw::generator::GeneratorOptions options;
  options.seed = 2006;
  options.addons = 2350;
  options.traceFiles = 0;
  const tw::generator::GenerateResult made = tw::generator::generatePrefix(prefix.string(), options);
  if (!made) {
    std::fprintf(stderr, "tools_bench: %s\n", made.description().c_str());
    return 1;
  }
  tw::bench::fillBrowserCache(prefix, options.userName, fileCount);

  tw::platform::PrefixOpenResult opened;
  auto machine = tw::platform::openMachine(prefix.string(), opened);
  if (!machine) {
    std::fprintf(stderr, "tools_bench: %s\n", opened.description().c_str());
    return 1;
  }
  tw::platform::installMachine(std::move(machine));

  std::vector<double> scans;
  int addonRows = 0;
  for (int run = 0; run < 5; ++run) {
    tw::lists::CheckableList addons(/*sorted=*/true);
    const auto start = Clock::now();
    tw::tools::ScanAddons(addons, {});
    scans.push_back(secondsSince(start));
    addonRows = addons.count();
  }
  std::sort(scans.begin(), scans.end());
  const double addonScan = scans[scans.size() / 2];

  std::vector<bool> cacheOnly(tw::tools::TraceActionCount, false);
  cacheOnly[static_cast<std::size_t>(tw::tools::TraceActionIndex::Cache)] = true;
  ListSink sink;
  auto start = Clock::now();
  double cpuStart = cpuSeconds();
  tw::tools::scanTraces(cacheOnly, sink);
  const double traceScan = secondsSince(start);
  const double traceScanCpu = cpuSeconds() - cpuStart;
  const std::size_t listed = sink.rows.size();

  tw::lists::CheckableList files;
  files.appendRows(std::move(sink.rows));
  start = Clock::now();
  cpuStart = cpuSeconds();
  const tw::tools::TraceCleanupResult cleanup = tw::tools::cleanUpTraces(cacheOnly, files);
  const double cleanupTime = secondsSince(start);
  const double cleanupCpu = cpuSeconds() - cpuStart;

  std::printf("prefix: %s (generated: %zu add-ons, %d cache files in folders of 1,000)\n",
              scratch.root.c_str(), options.addons, fileCount);
  std::printf("add-on scan: %d rows in %.1f ms (median of 5; limit 200 ms)\n", addonRows, addonScan * 1000);
  std::printf("traces scan: %zu files in %.3f s, %.3f s of CPU (limit 2 s)\n", listed, traceScan, traceScanCpu);
  std::printf("cleanup: %d deleted, %d passed over in %.3f s, %.3f s of CPU (limit 5 s)\n", cleanup.deleted,
              cleanup.passedOver, cleanupTime, cleanupCpu);
  return addonScan <= 0.2 && traceScan <= 2.0 && cleanupTime <= 5.0 ? 0 : 1;
}
