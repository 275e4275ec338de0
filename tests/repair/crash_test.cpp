// Killing the program while it fixes or restores must never lose an erased entry: whenever a
// key or value of the original registry is missing from the registry files on disk, Backup.xml
// on disk holds its record. tidewell-cli fix and restore run on a small generated prefix and are
// killed with SIGKILL at random moments; after every kill the files are checked.

#include "CliRun.h"
#include "PrefixContent.h"
#include "ChildProcess.h"
#include "UndoRecords.h"

#include "generator/PrefixGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;


/// Starts tidewell-cli with `args` in `folder`; its standard output goes to `output` (a host
/// file), or is thrown away when none is given. Standard error is thrown away.
pid_t startCli(const std::string &folder, const std::vector<std::string> &args,
               const std::string &output = {}) {
  return startChild(TIDEWELL_CLI_PATH, args, {std::nullopt, folder, output});
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

class CrashTest : public ::testing::Test {
protected:
  fs::path root;
  fs::path prefix;
  fs::path pristine;
  fs::path fixedState;
  RegistryContent original;
  /// Browser add-ons in the generated prefix.
  std::size_t addonCount = 4;

  void SetUp() override {
    if (std::string(TIDEWELL_CLI_PATH).empty() || !fs::exists(TIDEWELL_CLI_PATH))
      GTEST_SKIP() << "tidewell-cli was not built";
    root = fs::path(scratchFolder()) / ("tw-repair-crash-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    prefix = root / "prefix";
    generator::GeneratorOptions options;
    options.seed = 2006;
    options.brokenShare = 0.5;
    options.classes = 30;
    options.appPaths = 16;
    options.helpFiles = 8;
    options.fonts = 8;
    options.sharedDlls = 20;
    options.shares = 4;
    options.soundEvents = 8;
    options.uninstall = 16;
    options.menuOrder = 8;
    options.shellExtensions = 8;
    options.fileExts = 24;
    options.startupItems = 4;
    options.addons = addonCount;
    const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
    ASSERT_TRUE(made) << made.description();
    ASSERT_GT(made.expectedErrors, 50u);
    pristine = root / "pristine";
    fixedState = root / "fixed";
    saveState(pristine);
    std::string problem;
    auto content = readPrefixRegistry(prefix.string(), problem);
    ASSERT_TRUE(content) << problem;
    original = std::move(*content);
  }

  void TearDown() override {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }

  void saveState(const fs::path &state) { savePrefixState(prefix, state); }

  /// Puts a saved state back, removing whatever an earlier run left beside the files.
  void loadState(const fs::path &state) {
    for (const auto &entry : fs::directory_iterator(prefix))
      if (entry.is_regular_file() && entry.path().extension() != ".tsv") fs::remove(entry.path());
    for (const char *file : RegistryFiles) fs::copy_file(state / file, prefix / file);
    fs::remove_all(prefix / UndoStoreFolder);
    if (fs::exists(state / "Backup.xml")) {
      fs::create_directories(prefix / UndoStoreFolder);
      fs::copy_file(state / "Backup.xml", prefix / UndoStoreFolder / "Backup.xml");
    }
  }

  /// Seconds one uninterrupted run of the command takes (the median of five).
  double timeRun(const fs::path &state, const std::vector<std::string> &args) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
      loadState(state);
      const auto start = Clock::now();
      const int status = waitFor(startCli(root.string(), args));
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
      times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

  /// Returns once Backup.xml or a registry file of the prefix has been replaced, or the child
  /// has ended.
  void waitForFirstWrite(pid_t pid) {
    const fs::path watched[] = {prefix / UndoStoreFolder / "Backup.xml", prefix / "system.reg",
                                prefix / "user.reg"};
    std::vector<std::optional<std::tuple<ino_t, off_t, std::int64_t>>> before;
    for (const fs::path &file : watched) before.push_back(stampOf(file));
    const auto giveUp = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < giveUp) {
      for (std::size_t i = 0; i < std::size(watched); ++i)
        if (stampOf(watched[i]) != before[i]) return;
      siginfo_t ended{};
      if (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          ended.si_pid != 0)
        return;
    }
  }

  static std::optional<std::tuple<ino_t, off_t, std::int64_t>> stampOf(const fs::path &file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) return std::nullopt;
    return std::make_tuple(info.st_ino, info.st_size,
                           std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec);
  }

  /// True when the file differs from its copy in `state` (or only one of them exists).
  bool changed(const fs::path &file, const fs::path &state, const char *name) {
    return readFile(file) != readFile(state / name);
  }

  /// Checks the files on disk against the original registry.
  void checkNothingLost(int run) {
    std::string problem;
    auto now = readPrefixRegistry(prefix.string(), problem);
    ASSERT_TRUE(now) << "run " << run << ": the registry files do not load: " << problem;
    auto records = readUndoRecords(prefix, problem);
    ASSERT_TRUE(records) << "run " << run << ": Backup.xml does not load: " << problem;
    const auto losses = unrecordedLosses(original, *now, *records);
    ASSERT_TRUE(losses.empty()) << "run " << run << ": " << losses.size()
                                << " entries are gone without a record, the first: " << losses.front();
  }

  /// Runs the command from `state` and kills it at a random moment, until `kills` runs have been
  /// killed before their end (at most eight times as many runs); checks the files after each.
  void killRepeatedly(const fs::path &state, const std::vector<std::string> &args, int kills,
                      unsigned seed) {
    const double fullRun = timeRun(state, args);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> anyMoment(0.0, fullRun * 0.9);
    // The files are written within a millisecond or two at the end of a run: two kills in three
    // wait until the first of them is replaced, then strike shortly after.
    std::uniform_real_distribution<double> afterFirstWrite(0.0, 0.0002);
    int killed = 0;
    // Killed runs by what they had written: neither file, one of them, both.
    int untouched = 0, halfway = 0, both = 0;
    int run = 0;
    for (; killed < kills && run < 8 * kills; ++run) {
      loadState(state);
      const pid_t pid = startCli(root.string(), args);
      if (run % 3 == 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(anyMoment(random)));
      } else {
        waitForFirstWrite(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(afterFirstWrite(random)));
      }
      kill(pid, SIGKILL);
      // A run that ended before the kill leaves what the complete run checked before.
      if (!WIFSIGNALED(waitFor(pid))) continue;
      ++killed;
      const bool storeWritten = changed(prefix / UndoStoreFolder / "Backup.xml", state, "Backup.xml");
      bool registryWritten = false;
      for (const char *file : RegistryFiles) registryWritten |= changed(prefix / file, state, file);
      if (!storeWritten && !registryWritten) {
        // Byte for byte the state the run started from.
        ++untouched;
        continue;
      }
      ++(storeWritten && registryWritten ? both : halfway);
      checkNothingLost(run);
      if (HasFatalFailure()) return;
    }
    std::printf("[          ] %s: %d runs (%.3f s each), %d killed: %d before writing, %d between "
                "the two files, %d after both\n",
                args[0].c_str(), run, fullRun, killed, untouched, halfway, both);
    EXPECT_EQ(killed, kills) << "too few runs could be killed before their end";
  }
};

TEST_F(CrashTest, KilledFixOrRestoreLosesNothing) {
  const std::vector<std::string> fix = {"fix", "--prefix", prefix.string()};
  // The state a finished fix leaves, from which restore starts.
  loadState(pristine);
  ASSERT_EQ(waitFor(startCli(root.string(), fix)), 0);
  checkNothingLost(-1);
  std::string problem;
  const auto fixedRecords = readUndoRecords(prefix, problem);
  ASSERT_TRUE(fixedRecords) << problem;
  ASSERT_GT(fixedRecords->keyTexts.size(), 50u);
  saveState(fixedState);

  killRepeatedly(pristine, fix, 200, 1);
  if (HasFatalFailure()) return;
  // A complete restore gives back every key and value as it was.
  const std::vector<std::string> restore = {"restore", "--prefix", prefix.string(), "--all"};
  loadState(fixedState);
  ASSERT_EQ(waitFor(startCli(root.string(), restore)), 0);
  checkNothingLost(-1);
  const auto completeRun = readPrefixRegistry(prefix.string(), problem);
  ASSERT_TRUE(completeRun) << problem;
  const auto mismatches = differences(original, *completeRun);
  ASSERT_TRUE(mismatches.empty()) << mismatches.size() << " differences, the first: " << mismatches.front();
  killRepeatedly(fixedState, restore, 100, 2);
}

/// The key names (second field) of the rows a fix printed.
std::vector<std::string> printedKeyNames(const fs::path &output) {
  std::vector<std::string> names;
  std::istringstream lines(readFile(output).value_or(std::string()));
  for (std::string line; std::getline(lines, line);) {
    const auto first = line.find('\t');
    if (first == std::string::npos) continue;
    names.push_back(line.substr(first + 1, line.find('\t', first + 1) - first - 1));
  }
  return names;
}

/// True when the key text names a key of `content`, or a value of one (a value name may hold
/// backslashes, so every split is tried).
bool isInRegistry(const RegistryContent &content, const std::string &keyText) {
  const std::string path = canonicalKeyPath(keyText);
  if (content.keys.contains(path)) return true;
  for (std::size_t cut = path.find('\\'); cut != std::string::npos; cut = path.find('\\', cut + 1)) {
    auto key = content.keys.find(path.substr(0, cut));
    if (key != content.keys.end() && key->second.values.contains(path.substr(cut + 1))) return true;
  }
  return false;
}

TEST_F(CrashTest, TwoProgramsFixingAtOnceLoseNothing) {
  // Two fixes of different groups on one prefix, started together, many times over. One program
  // at a time may change the prefix: the other is refused (exit status 3), or finds the files
  // changed on disk and removes nothing, or runs after the first one has finished. Whatever the
  // timing, everything gone from the registry files is recorded in Backup.xml, and every row a
  // program prints as fixed is gone from them.
  const std::vector<std::string> first = {"fix", "--prefix", prefix.string(), "--groups", "0,1,2,3,4,5,6"};
  const std::vector<std::string> second = {"fix", "--prefix", prefix.string(), "--groups", "7,8,9,10,11"};
  constexpr int Pairs = 60;
  int busy = 0, refusedSave = 0, both = 0;
  for (int pair = 0; pair < Pairs; ++pair) {
    loadState(pristine);
    const fs::path outputs[] = {root / "first.tsv", root / "second.tsv"};
    const pid_t a = startCli(root.string(), first, outputs[0].string());
    const pid_t b = startCli(root.string(), second, outputs[1].string());
    const int statuses[] = {waitFor(a), waitFor(b)};
    int succeeded = 0;
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(WIFEXITED(statuses[i])) << "pair " << pair << ": program " << i << " did not end normally";
      const int status = WEXITSTATUS(statuses[i]);
      ASSERT_TRUE(status == 0 || status == 1 || status == 3) << "pair " << pair << ": exit status " << status;
      if (status == 0) ++succeeded;
      if (status == 3) ++busy;
      if (status == 1) ++refusedSave;
    }
    if (succeeded == 2) ++both;
    EXPECT_GE(succeeded, 1) << "pair " << pair << ": neither program fixed anything";
    checkNothingLost(pair);
    if (HasFatalFailure()) return;
    std::string problem;
    const auto now = readPrefixRegistry(prefix.string(), problem);
    ASSERT_TRUE(now) << problem;
    const auto records = readUndoRecords(prefix, problem);
    ASSERT_TRUE(records) << problem;
    for (const fs::path &output : outputs)
      for (const std::string &keyName : printedKeyNames(output)) {
        ASSERT_TRUE(records->keyTexts.contains(canonicalKeyPath(keyName)))
            << "pair " << pair << ": " << keyName << " was printed as fixed but has no record";
        ASSERT_FALSE(isInRegistry(*now, keyName)) << "pair " << pair << ": " << keyName
                                                  << " was printed as fixed but is still in the registry files";
      }
  }
  std::printf("[          ] %d pairs: %d refused as busy, %d refused at saving, %d with both fixing\n", Pairs,
              busy, refusedSave, both);
}

/// The same on a prefix with many browser add-ons, for their removal.
class AddonCrashTest : public CrashTest {
protected:
  void SetUp() override {
    addonCount = 120;
    CrashTest::SetUp();
  }

  /// The number of add-ons 'addons list' prints.
  std::size_t listedAddons() {
    return runCommandLine("'" + std::string(TIDEWELL_CLI_PATH) + "' addons list --prefix '" + prefix.string() +
                          "' 2>/dev/null")
        .lines()
        .size();
  }
};

TEST_F(AddonCrashTest, KilledAddonRemovalLosesNothing) {
  loadState(pristine);
  const std::size_t addons = listedAddons();
  ASSERT_GT(addons, 90u);
  std::vector<std::string> remove = {"addons", "remove", "--prefix", prefix.string()};
  for (std::size_t i = 0; i < addons; ++i) remove.push_back(std::to_string(i));
  // A complete removal records every add-on and leaves none listed.
  ASSERT_EQ(waitFor(startCli(root.string(), remove)), 0);
  checkNothingLost(-1);
  std::string problem;
  const auto records = readUndoRecords(prefix, problem);
  ASSERT_TRUE(records) << problem;
  EXPECT_GT(records->items.size(), 3 * addons);
  EXPECT_EQ(listedAddons(), 0u);

  killRepeatedly(pristine, remove, 100, 3);
}

} // namespace
} // namespace tw::test
