// Full scan of generated prefixes of two sizes, to show that the scan's time grows linearly with
// the registry and stays within a second at the large size once the registry is loaded.
//
//   scan_bench [--keep DIR] [--only half|full] [--views]
//     --keep DIR   reuse or keep the generated prefixes in DIR
//     --only SIZE  measure one size only
//     --views      instead, a 64-bit prefix with 64-bit programs only against the same prefix
//                  with the 32-bit programs' half (twice the entries: every kind the 32-bit
//                  view keeps apart, as many again), and the ratio of their scan times
//
// For each size it prints the generation and load times (not part of the scan), the scan's wall
// and CPU time (best of three scans), the rows found against the rows the generator expects,
// and how many file tests reached the file system (paths and folder listings) against those
// answered from what the scan had already read.

#include "bench/BenchSupport.h"

#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using tw::bench::Clock;
using tw::bench::secondsSince;

/// CPU time of this process: the machine is shared, so wall time alone says little.
static double cpuSeconds() {
  struct timespec now {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

static std::size_t lineCount(const fs::path &file) {
  std::ifstream in(file);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

struct Size {
  const char *name;
  double scale;
  tw::generator::PrefixArch arch = tw::generator::PrefixArch::Win64;
};

/// The entries the scanners look at in a prefix made with `o`.
static std::size_t scannedEntries(const tw::generator::GeneratorOptions &o) {
  std::size_t entries = o.classes + o.appPaths + o.uninstall + o.fileExts + o.sharedDlls + o.helpFiles +
                        o.fonts + o.shares + o.soundEvents + o.menuOrder + o.shellExtensions;
  if (o.arch == tw::generator::PrefixArch::Win64With32Bit)
    entries += o.classes + o.appPaths + o.uninstall + o.sharedDlls + o.helpFiles + o.shellExtensions;
  return entries;
}

int main(int argc, char **argv) {
  fs::path keep;
  std::string only;
  bool views = false;
  for (int i = 1; i < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--views") {
      views = true;
      --i;
    } else if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: scan_bench [--keep DIR] [--only half|full] [--views]\n");
      return 2;
    } else if (option == "--keep") {
      keep = argv[i + 1];
    } else if (option == "--only") {
      only = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: scan_bench [--keep DIR] [--only half|full] [--views]\n");
      return 2;
    }
  }
  const Size sizes[] = {{"half", 0.5}, {"full", 1.0}};
  // The per-user kinds have one view; few of them keep the prefix with both halves at twice
  // the entries of the one without.
  const Size viewSizes[] = {{"64-bit", 1.0}, {"both", 1.0, tw::generator::PrefixArch::Win64With32Bit}};
  double scanCpuOf64Bit = 0, lastScanCpu = 0;
  std::size_t entriesOf64Bit = 0, lastEntries = 0;
  const bool temporary = keep.empty();
  const fs::path root = temporary ? fs::temp_directory_path() / ("tw-scan-bench-" + std::to_string(getpid())) : keep;
  fs::create_directories(root);

  std::printf("%-6s %8s %7s %8s %7s %7s %7s %8s %9s %9s %10s\n", "size", "entries", "rows",
              "expected", "gen s", "load s", "scan s", "scan cpu", "us/entry", "fs tests",
              "cache hits");
  for (const Size size : views ? std::vector<Size>(std::begin(viewSizes), std::end(viewSizes))
                               : std::vector<Size>(std::begin(sizes), std::end(sizes))) {
    if (!only.empty() && only != size.name) continue;
    tw::generator::GeneratorOptions options;
    options.seed = 2006;
    options.brokenShare = 0.1;
    options.classes = static_cast<std::size_t>(50000 * size.scale);
    options.appPaths = static_cast<std::size_t>(5000 * size.scale);
    options.uninstall = static_cast<std::size_t>(5000 * size.scale);
    options.fileExts = static_cast<std::size_t>(20000 * size.scale);
    options.sharedDlls = static_cast<std::size_t>(10000 * size.scale);
    options.overwrite = true;
    if (views) options.fileExts = 1000;
    options.arch = size.arch;
    const std::size_t entries = scannedEntries(options);

    const fs::path dir = root / size.name;
    auto start = Clock::now();
    double generateSeconds = 0;
    if (!fs::exists(dir / tw::generator::ExpectedErrorsFileName) || temporary) {
      tw::generator::GenerateResult generated = tw::generator::generatePrefix(dir.string(), options);
      if (!generated) {
        std::fprintf(stderr, "scan_bench: %s\n", generated.description().c_str());
        return 1;
      }
      generateSeconds = secondsSince(start);
    }

    start = Clock::now();
    tw::platform::PrefixOpenResult opened;
    auto machine = tw::platform::openMachine(dir.string(), opened);
    if (!machine) {
      std::fprintf(stderr, "scan_bench: %s\n", opened.description().c_str());
      return 1;
    }
    tw::platform::installMachine(std::move(machine));
    const double loadSeconds = secondsSince(start);

    // The best of a few runs, each a whole scan with nothing remembered from the one before:
    // the machine is shared, and the best run is the one least disturbed by others.
    constexpr int Runs = 3;
    double scanSeconds = 1e9;
    double scanCpuSeconds = 1e9;
    int rows = 0;
    tw::scan::ScanRunResult result;
    for (int run = 0; run < Runs; ++run) {
      tw::lists::CheckableList groups;
      tw::lists::CheckableList errors(/*sorted=*/true);
      tw::scan::rebuildScanGroupList(groups);
      tw::scan::ListScanSession session(groups, errors);
      start = Clock::now();
      const double cpuStart = cpuSeconds();
      result = tw::scan::runScanBody(session);
      scanSeconds = std::min(scanSeconds, secondsSince(start));
      scanCpuSeconds = std::min(scanCpuSeconds, cpuSeconds() - cpuStart);
      rows = errors.count();
      if (result.kind != tw::scan::ScanEndKind::Completed) {
        std::fprintf(stderr, "scan_bench: the scan did not complete: %s\n", result.error.c_str());
        return 1;
      }
    }

    if (size.arch == tw::generator::PrefixArch::Win64) {
      scanCpuOf64Bit = scanCpuSeconds;
      entriesOf64Bit = entries;
    }
    lastScanCpu = scanCpuSeconds;
    lastEntries = entries;
    std::printf("%-6s %8zu %7d %8zu %7.2f %7.2f %7.3f %8.3f %9.2f %9llu %10llu\n", size.name,
                entries, rows, lineCount(dir / tw::generator::ExpectedErrorsFileName),
                generateSeconds, loadSeconds, scanSeconds, scanCpuSeconds,
                scanCpuSeconds * 1e6 / double(entries),
                static_cast<unsigned long long>(result.fileLookups),
                static_cast<unsigned long long>(result.fileCacheHits));
  }
  if (views && scanCpuOf64Bit > 0 && entriesOf64Bit > 0 && only.empty())
    std::printf("both views against the 64-bit half alone: %.2fx the entries, %.2fx the scan's CPU time\n",
                double(lastEntries) / double(entriesOf64Bit), lastScanCpu / scanCpuOf64Bit);
  if (temporary) fs::remove_all(root);
  return 0;
}
