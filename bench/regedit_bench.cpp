// Export of HKEY_LOCAL_MACHINE of a wineboot prefix: our tidewell-regedit against
// Wine's 64-bit `regedit /e`, timed side by side in one run.
//
//   regedit_bench [--prefix DIR] [--regedit PATH] [--rounds N]
//
// Without --prefix a prefix is made with wineboot in a temporary folder (and removed at the
// end). Wine's editor is timed twice per round: cold (no wineserver running, as a lone
// export starts it) and warm (a wineserver kept alive with `wineserver -p`). Each figure is
// the median of the rounds; both exports are checked to produce a file of the same size
// class so that a failed run is not timed as a fast one.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string shellQuoted(const std::string &text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

/// Runs a shell command and returns its wall time in seconds, or a negative number when it
/// failed.
double timed(const std::string &command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const auto end = std::chrono::steady_clock::now();
  if (status != 0)
    return -1;
  return std::chrono::duration<double>(end - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

std::string windowsPath(const fs::path &host) {
  std::string path = "Z:" + host.string();
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::uintmax_t sizeOf(const fs::path &path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

} // namespace

int main(int argc, char **argv) {
  std::string prefix;
  std::string regedit;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--prefix")
      prefix = argv[i + 1];
    else if (option == "--regedit")
      regedit = argv[i + 1];
    else if (option == "--rounds")
      rounds = std::max(1, std::atoi(argv[i + 1]));
  }
  if (regedit.empty()) // the build tree keeps the program beside the benchmarks' folder
    regedit = (fs::canonical("/proc/self/exe").parent_path().parent_path() / "cli" /
               "tidewell-regedit" / "tidewell-regedit")
                  .string();
  if (!fs::exists(regedit)) {
    std::fprintf(stderr, "regedit_bench: no tidewell-regedit at %s (use --regedit)\n",
                 regedit.c_str());
    return 1;
  }

  char pattern[] = "/tmp/tw-regedit-bench-XXXXXX";
  if (!::mkdtemp(pattern)) {
    std::perror("regedit_bench: mkdtemp");
    return 1;
  }
  const fs::path work = pattern;
  const bool ownPrefix = prefix.empty();
  if (ownPrefix) {
    prefix = (work / "prefix").string();
    std::printf("making a prefix with wineboot in %s ...\n", prefix.c_str());
    std::fflush(stdout);
    [[maybe_unused]] int ignored =
        std::system(("env WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" +
                     shellQuoted(prefix) + " wineboot -i >/dev/null 2>&1")
                        .c_str());
  }
  const std::string env = "env WINEDEBUG=-all WINEPREFIX=" + shellQuoted(prefix) + " ";
  const std::string stopServer = env + "wineserver -k >/dev/null 2>&1; " + env + "wineserver -w";
  [[maybe_unused]] int ignored = std::system(stopServer.c_str());
  if (!fs::exists(fs::path(prefix) / "system.reg")) {
    std::fprintf(stderr, "regedit_bench: %s holds no registry\n", prefix.c_str());
    return 1;
  }

  const fs::path wineFile = work / "wine-HKLM.reg";
  const fs::path ourFile = work / "ours-HKLM.reg";
  // Wine's 64-bit editor, which exports the 64-bit view as ours does (plain wine is the 32-bit one
  // where wine32 is installed).
  const std::string wineExport = env + "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 regedit /e " + shellQuoted(windowsPath(wineFile)) +
                                 " HKEY_LOCAL_MACHINE >/dev/null 2>&1";
  const std::string ourExport = "env WINEPREFIX=" + shellQuoted(prefix) + " " + shellQuoted(regedit) +
                                " /e " + shellQuoted(ourFile.string()) + " HKEY_LOCAL_MACHINE";

  // One untimed run of each, so first-run work (Wine's prefix update, cold disk caches) is
  // not counted.
  ignored = std::system(wineExport.c_str());
  ignored = std::system(stopServer.c_str());
  ignored = std::system(ourExport.c_str());

  std::vector<double> cold, warm, ours;
  for (int round = 0; round < rounds; ++round) {
    ignored = std::system(stopServer.c_str());
    cold.push_back(timed(wineExport));
    ignored = std::system((env + "wineserver -p >/dev/null 2>&1").c_str());
    warm.push_back(timed(wineExport));
    ours.push_back(timed(ourExport));
  }
  ignored = std::system(stopServer.c_str());

  const bool failed = std::any_of(cold.begin(), cold.end(), [](double t) { return t < 0; }) ||
                      std::any_of(warm.begin(), warm.end(), [](double t) { return t < 0; }) ||
                      std::any_of(ours.begin(), ours.end(), [](double t) { return t < 0; });
  const std::uintmax_t wineSize = sizeOf(wineFile);
  const std::uintmax_t ourSize = sizeOf(ourFile);
  std::printf("HKEY_LOCAL_MACHINE export, median of %d rounds\n", rounds);
  std::printf("  wine regedit /e, cold : %8.1f ms  (%ju bytes)\n", median(cold) * 1000, wineSize);
  std::printf("  wine regedit /e, warm : %8.1f ms\n", median(warm) * 1000);
  std::printf("  tidewell-regedit /e   : %8.1f ms  (%ju bytes)\n", median(ours) * 1000, ourSize);
  std::printf("  speed-up: %.1fx against cold Wine, %.1fx against warm Wine\n",
              median(cold) / median(ours), median(warm) / median(ours));

  fs::remove_all(work); // holds the exports, and the prefix when the benchmark made it
  // Wine's file also holds the keys its server keeps only in memory, so it is a little larger.
  if (failed || ourSize == 0 || wineSize == 0 || ourSize > wineSize || ourSize * 10 < wineSize * 9) {
    std::fprintf(stderr, "regedit_bench: an export failed or produced an unexpected file\n");
    return 1;
  }
  return 0;
}
