// File tests on a large generated prefix, as the scan makes them: tens of thousands of paths,
// many in another case than on disk (the scan lower-cases what it guesses), many missing.
//
//   files_bench [--keep DIR]   (DIR: reuse or keep the generated prefix there)
//
// Prints the time per test for each kind of path, against one plain stat of the exact host
// path, and how many folder listings the case-insensitive lookups kept.

#include "generator/PrefixGenerator.h"
#include "platform/FileSystem.h"
#include "platform/files/WineFileSystem.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Folders and files added below drive_c beside what the generator makes: names in mixed case,
// as installers leave them.
static constexpr int ExtraFolders = 200;
static constexpr int FilesPerFolder = 100;
static constexpr int Rounds = 3;

static std::string lowered(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

static std::string windowsPathOf(const fs::path &driveC, const fs::path &host) {
  std::string rel = fs::relative(host, driveC).string();
  for (char &c : rel)
    if (c == '/') c = '\\';
  return "C:\\" + rel;
}

// Nanoseconds of one plain stat through the drive's link, measured first; every other figure is
// also given as a multiple of it, which varies less than absolute times on a busy machine.
static double g_baseline = 0;

template <typename Test>
static double measure(const char *what, const std::vector<std::string> &paths, bool expected, Test test) {
  std::size_t mismatches = 0;
  double best = 1e30;
  for (int round = 0; round < Rounds; ++round) {
    auto start = Clock::now();
    for (const auto &path : paths)
      if (test(path) != expected) ++mismatches;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (seconds < best) best = seconds;
  }
  const double ns = best * 1e9 / static_cast<double>(paths.size());
  std::printf("  %-44s %7zu paths  %8.0f ns/test", what, paths.size(), ns);
  if (g_baseline > 0) std::printf("  = %4.1f stats", ns / g_baseline);
  std::printf("  (best of %d)%s\n", Rounds, mismatches ? "  WRONG ANSWERS" : "");
  return ns;
}

int main(int argc, char **argv) {
  fs::path keep;
  if (argc == 3 && std::string(argv[1]) == "--keep") keep = argv[2];
  const bool temporary = keep.empty();
  const fs::path root = temporary ? fs::temp_directory_path() / ("tw-files-bench-" + std::to_string(getpid())) : keep;
  const fs::path prefix = root / "prefix";
  const fs::path driveC = prefix / "drive_c";

  fs::create_directories(prefix);
  if (!fs::exists(prefix / "system.reg")) {
    tw::generator::GeneratorOptions options;
    options.classes = 4000;
    options.sharedDlls = 4000;
    options.appPaths = 1000;
    options.uninstall = 1000;
    auto made = tw::generator::generatePrefix(prefix.string(), options);
    if (!made) {
      std::fprintf(stderr, "files_bench: %s\n", made.description().c_str());
      return 1;
    }
    for (int f = 0; f < ExtraFolders; ++f) {
      fs::path folder = driveC / "Program Files" / ("Vendor" + std::to_string(f)) / "Shared Components";
      fs::create_directories(folder);
      for (int i = 0; i < FilesPerFolder; ++i) std::ofstream(folder / ("Tool_" + std::to_string(i) + ".DLL")) << "x";
    }
  }

  std::vector<std::string> exact, otherCase, missingFile, missingFolder, hostExact, hostThroughDrive;
  for (const auto &entry : fs::recursive_directory_iterator(driveC)) {
    if (!entry.is_regular_file()) continue;
    std::string windows = windowsPathOf(driveC, entry.path());
    exact.push_back(windows);
    otherCase.push_back(lowered(windows));
    missingFile.push_back(lowered(windows) + ".old");
    missingFolder.push_back("C:\\uninstalled app\\" + lowered(entry.path().filename().string()));
    hostExact.push_back(entry.path().string());
    hostThroughDrive.push_back((prefix / "dosdevices" / "c:" / fs::relative(entry.path(), driveC)).string());
  }
  std::printf("files_bench: %zu files below %s\n", exact.size(), driveC.c_str());

  tw::platform::WineFileSystem files(prefix.string());
  measure("stat of the exact host path (baseline)", hostExact, true, [](const std::string &p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
  });
  g_baseline = measure("stat through the drive's link (baseline)", hostThroughDrive, true, [](const std::string &p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
  });
  measure("fileExists, name as on disk", exact, true, [&](const std::string &p) { return files.fileExists(p); });

  {
    tw::platform::WineFileSystem cold(prefix.string());
    auto start = Clock::now();
    for (const auto &path : otherCase) (void)cold.fileExists(path);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double ns = seconds * 1e9 / static_cast<double>(otherCase.size());
    std::printf("  %-44s %7zu paths  %8.0f ns/test  = %4.1f stats  (first pass, listings read)\n",
                "fileExists, lower-cased, empty cache", otherCase.size(), ns, ns / g_baseline);
  }
  measure("fileExists, lower-cased", otherCase, true, [&](const std::string &p) { return files.fileExists(p); });
  measure("fileExists, missing file in a known folder", missingFile, false,
          [&](const std::string &p) { return files.fileExists(p); });
  measure("fileExists, missing folder", missingFolder, false,
          [&](const std::string &p) { return files.fileExists(p); });
  measure("directoryExists, lower-cased file path", otherCase, false,
          [&](const std::string &p) { return files.directoryExists(p); });
  std::printf("  folder listings kept: %zu\n", files.cachedFolderCount());

  if (temporary) fs::remove_all(root);
  return 0;
}
