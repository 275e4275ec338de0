// Time to generate prefixes of three sizes: the demo, a large registry of the counts the scan
// benchmark uses, and a system.reg padded to 100 MiB for the load and save benchmarks.
//
//   generator_bench [--keep DIR]   (keep the prefixes in DIR instead of a removed temp folder)
//
// Prints for each size the wall and processor time, the size of system.reg and the keys,
// values, files and expected rows made. Wall time includes syncing the registry files to disk.

#include "generator/PrefixGenerator.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using tw::generator::GeneratorOptions;

struct Size {
  const char *name;
  GeneratorOptions options;
};

static GeneratorOptions largeOptions() {
  GeneratorOptions o;
  o.seed = 2006;
  o.classes = 50000;
  o.appPaths = 5000;
  o.uninstall = 5000;
  o.fileExts = 20000;
  o.sharedDlls = 10000;
  return o;
}

static GeneratorOptions paddedOptions() {
  GeneratorOptions o;
  o.seed = 2006;
  o.systemMegabytes = 100;
  return o;
}

int main(int argc, char **argv) {
  fs::path keep;
  if (argc == 3 && std::string(argv[1]) == "--keep")
    keep = argv[2];
  const bool temporary = keep.empty();
  const fs::path root =
      temporary ? fs::temp_directory_path() / ("tw-generator-bench-" + std::to_string(getpid())) : keep;
  fs::create_directories(root);

  std::printf("%-7s %8s %8s %11s %9s %9s %7s %8s %8s\n", "size", "wall s", "cpu s", "system.reg",
              "MiB/s", "keys", "values", "files", "rows");
  const Size sizes[] = {{"demo", GeneratorOptions::demo()}, {"large", largeOptions()}, {"padded", paddedOptions()}};
  int status = 0;
  for (const Size &size : sizes) {
    GeneratorOptions options = size.options;
    options.overwrite = true;
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    const tw::generator::GenerateResult result = tw::generator::generatePrefix((root / size.name).string(), options);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (!result) {
      std::fprintf(stderr, "generator_bench: %s\n", result.description().c_str());
      status = 1;
      break;
    }
    std::printf("%-7s %8.2f %8.2f %11llu %9.1f %9zu %7zu %8zu %8zu\n", size.name, wall, cpu,
                static_cast<unsigned long long>(result.systemRegBytes),
                static_cast<double>(result.systemRegBytes) / (1024.0 * 1024.0) / wall, result.keysWritten,
                result.valuesWritten, result.filesCreated, result.expectedErrors);
  }
  if (temporary) {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  return status;
}
