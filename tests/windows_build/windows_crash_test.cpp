// Killing the Windows build while it fixes or restores must never lose an erased entry, although
// its registry is advapi32's, whose every change reaches the wineserver at once: whenever a key
// or value of the original registry is missing from what the wineserver holds, Backup.xml on
// disk holds its record.
//
// tidewell-cli.exe runs under Wine in a wineboot prefix with a few hundred broken leftovers and is
// killed with SIGKILL, at random moments and at moments searched for inside the few milliseconds
// in which its changes reach the wineserver. After each kill the test stops the wineserver as
// `wineserver -k` does: SIGINT, on which the server kills every process of the prefix, saves every
// registry branch that changed (system.reg, user.reg) and exits. `wineserver -w` then blocks until
// the server's lock is released, at its exit. The files hold what the server held: every registry
// request the killed program had made, and none after it, since it is dead before the server is
// stopped. The Linux side then reads the files and Backup.xml.

#include "PrefixContent.h"
#include "ChildProcess.h"
#include "UndoRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tw::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

const char *const Wine64 = "/usr/lib/wine/wine64";
/// The Windows build keeps Backup.xml beside its executable: run from the Linux build's program
/// folder, it keeps the undo store where the Linux side reads it.
constexpr const char *ProgramPath = "C:\\ProgramData\\Tidewell Registry Cleaner 2006\\tidewell-cli.exe";
/// The file the program locks while it works on the registry.
constexpr const char *LockFileName = "tidewell.lock";
/// How the temporary file of a save of Backup.xml begins: it is there from the start of the save
/// until it is renamed over Backup.xml.
constexpr std::string_view BackupTemporary = "Backup.xml.tmp-";

/// Quotes a Windows registry path or string for a REGEDIT4 file.
std::string regString(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// The hex(N): data of a string as UTF-16LE with its terminating zero.
std::string regHexString(int kind, const std::vector<std::string> &strings) {
  std::string out = "hex(" + std::to_string(kind) + "):";
  auto addUnit = [&out](unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02x,00,", c);
    out += hex;
  };
  for (const std::string &text : strings) {
    for (char c : text) addUnit(static_cast<unsigned char>(c));
    addUnit(0);
  }
  if (kind == 7) addUnit(0); // a multi-string ends with an empty one
  out.pop_back();
  return out;
}

/// What many uninstalled programs left behind: COM classes, application paths, help files,
/// shared DLL counts and uninstall entries whose files are gone. Keys with sub-keys, and values
/// of every common type, so that the undo store has to keep each of them exactly.
std::string brokenLeftovers() {
  std::string reg = "REGEDIT4\r\n\r\n";
  auto line = [&reg](const std::string &text) { reg += text + "\r\n"; };
  const std::string classes = "HKEY_CLASSES_ROOT\\CLSID\\";
  for (int i = 0; i < 240; ++i) {
    char guid[48];
    std::snprintf(guid, sizeof guid, "{%08X-7A1B-4C2D-8E3F-A11CE%07X}", 0x5EED0000 + i, i);
    const std::string dll = "Program Files\\Gone " + std::to_string(i) + "\\com" + std::to_string(i) + ".dll";
    line("[" + classes + guid + "]");
    line("@=" + regString("Gone Component " + std::to_string(i)));
    line("\"AppID\"=" + regString(guid));
    line("");
    line("[" + classes + guid + "\\InprocServer32]");
    line("@=" + (i % 3 == 0 ? regHexString(2, {"%SystemDrive%\\" + dll}) : regString("C:\\" + dll)));
    line("\"ThreadingModel\"=\"Apartment\"");
    line("");
    line("[" + classes + guid + "\\ProgID]");
    line("@=" + regString("Gone.Object" + std::to_string(i) + ".1"));
    line("");
  }
  const std::string appPaths = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  for (int i = 0; i < 120; ++i) {
    const std::string name = "gone" + std::to_string(i) + ".exe";
    const std::string folder = "C:\\Program Files\\Gone " + std::to_string(i);
    char dword[16];
    std::snprintf(dword, sizeof dword, "%08x", i);
    line("[" + appPaths + name + "]");
    line("@=" + regString(folder + "\\" + name));
    line("\"Path\"=" + regString(folder));
    line(std::string("\"UseUrl\"=dword:") + dword);
    line("");
    if (i % 4 != 0) continue;
    line("[" + appPaths + name + "\\SupportedProtocols]");
    line("\"http\"=\"\"");
    line(std::string("\"Blob\"=hex:de,ad,") + (dword + 6) + ",ef");
    line("");
  }
  line("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs]");
  for (int i = 0; i < 100; ++i) {
    char dword[16];
    std::snprintf(dword, sizeof dword, "%08x", i + 1);
    line(regString("C:\\Program Files\\Gone Shared\\lib" + std::to_string(i) + ".dll") + "=dword:" + dword);
  }
  line("");
  line("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\Help]");
  for (int i = 0; i < 60; ++i)
    line(regString("gone" + std::to_string(i) + ".hlp") + "=" +
         regString("C:\\Program Files\\Gone " + std::to_string(i) + "\\"));
  line("");
  const std::string uninstall = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (int i = 0; i < 60; ++i) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\"EstimatedSize\"=dword:%08x", 1000 + i);
    line("[" + uninstall + "GoneApp" + std::to_string(i) + "]");
    line("\"DisplayName\"=" + regString("Gone App " + std::to_string(i)));
    line("\"UninstallString\"=" +
         regString("\"C:\\Program Files\\Gone " + std::to_string(i) + "\\uninst.exe\" /S"));
    line(numbers);
    line("\"Languages\"=" + regHexString(7, {"en-US", "de-" + std::to_string(i)}));
    std::snprintf(numbers, sizeof numbers, "\"InstallTime\"=hex(b):%02x,00,00,00,01,00,00,00", i);
    line(numbers);
    line("");
  }
  return reg;
}

/// The environment of every Wine program the test starts: this process's, with the prefix and
/// Wine's 64-bit loader.
std::vector<std::string> wineEnvironment(const fs::path &prefix) {
  std::vector<std::string> env;
  for (char **entry = environ; *entry; ++entry)
    if (std::strncmp(*entry, "WINE", 4) != 0) env.emplace_back(*entry);
  env.push_back("WINEPREFIX=" + prefix.string());
  env.push_back("WINEDEBUG=-all");
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
  env.push_back(std::string("WINELOADER=") + Wine64);
  return env;
}

/// True when a program of that name is on the PATH.
bool onPath(const std::string &name) {
  const char *path = std::getenv("PATH");
  std::string folders = path ? path : "";
  for (std::size_t begin = 0; begin <= folders.size();) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    if (end > begin && access((folders.substr(begin, end - begin) + "/" + name).c_str(), X_OK) == 0) return true;
    begin = end + 1;
  }
  return false;
}

/// Starts `program` (looked up on the PATH when it has no slash) with `args` and the
/// environment `env`; its standard output goes to the file `output`, or to /dev/null.
pid_t start(const std::string &program, const std::vector<std::string> &args, const std::vector<std::string> &env,
            const fs::path &output = {}) {
  return startChild(program, args, {env, {}, output});
}

/// True once the child has ended (it is not reaped).
bool hasEnded(pid_t pid) {
  siginfo_t ended{};
  return waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid != 0;
}

/// Waits for the child at most `limit`, then kills it. Its wait status.
int waitFor(pid_t pid, Seconds limit) {
  const auto giveUp = Clock::now() + limit;
  while (!hasEnded(pid) && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (!hasEnded(pid)) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

/// Inode, size and change time of a file: an atomic save gives it another one. Nothing when
/// there is no file.
std::optional<std::tuple<ino_t, off_t, std::int64_t>> stampOf(const fs::path &file) {
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) return std::nullopt;
  return std::make_tuple(info.st_ino, info.st_size,
                         std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec);
}

bool exitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

/// True when the process's command line names the program (Wine's loader shows the Windows
/// command line there once it runs it).
bool runsProgram(pid_t pid) {
  return readFile("/proc/" + std::to_string(pid) + "/cmdline").value_or("").find("tidewell-cli.exe") !=
         std::string::npos;
}

class WindowsCrashTest : public ::testing::Test {
protected:
  fs::path root;
  fs::path prefix;
  fs::path pristine;
  fs::path fixedState;
  std::vector<std::string> env;
  RegistryContent original;
  std::mt19937 random{2006};
  /// Seconds spent stopping the wineserver, and how many times.
  double stopping = 0;
  int stops = 0;

  void SetUp() override {
    if (!fs::exists(Wine64)) GTEST_SKIP() << "Wine's 64-bit loader is not installed";
    if (!onPath("wineserver")) GTEST_SKIP() << "wineserver is not on the PATH";
    if (!fs::exists(TIDEWELL_WINDOWS_CLI_PATH))
      GTEST_SKIP() << "the Windows build is missing (cmake --preset windows): " << TIDEWELL_WINDOWS_CLI_PATH;
    root = fs::temp_directory_path() / ("tw-windows-crash-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    prefix = root / "prefix";
    env = wineEnvironment(prefix);
    ASSERT_TRUE(exitedWith(waitFor(start(Wine64, {"wineboot", "-i"}, env), Seconds(300)), 0)) << "wineboot failed";
    std::ofstream(root / "leftovers.reg", std::ios::binary) << brokenLeftovers();
    const std::string leftovers = "Z:" + (root / "leftovers.reg").string();
    ASSERT_TRUE(exitedWith(waitFor(start(Wine64, {"reg", "import", leftovers}, env), Seconds(120)), 0))
        << "reg import failed";
    // The first session ends on its own, once wineboot's work is done.
    ASSERT_TRUE(exitedWith(waitFor(start("wineserver", {"-w"}, env), Seconds(120)), 0)) << "the wineserver did not end";
    fs::create_directories(prefix / UndoStoreFolder);
    fs::copy_file(TIDEWELL_WINDOWS_CLI_PATH, prefix / UndoStoreFolder / "tidewell-cli.exe");
    // The next session still drops a few keys the first one wrote (NetworkCards, say). A scan,
    // which changes nothing, ended as every run below ends, gives the registry they start from.
    ASSERT_TRUE(exitedWith(waitFor(startProgram({"scan"}), Seconds(120)), 0)) << "the scan failed";
    stopWineServer();
    if (HasFatalFailure()) return;
    fs::remove_all(prefix / UndoStoreFolder / LockFileName);
    pristine = root / "pristine";
    fixedState = root / "fixed";
    saveState(pristine);
    std::string problem;
    auto content = readPrefixRegistry(prefix.string(), problem);
    ASSERT_TRUE(content) << problem;
    original = std::move(*content);
    ASSERT_TRUE(original.keys.contains(
        canonicalKeyPath("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gone119.exe")))
        << "the leftovers were not imported";
  }

  void TearDown() override {
    if (root.empty()) return;
    stopWineServer();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  /// Stops the prefix's wineserver, if one runs, and returns once it has saved the registry
  /// and ended: SIGINT through `wineserver -k2`, then `wineserver -w`. (Plain `wineserver -k`
  /// sends the same signal but polls for the end, and sends SIGKILL, which saves nothing, to a
  /// server that takes ten seconds.)
  void stopWineServer() {
    const auto begin = Clock::now();
    waitFor(start("wineserver", {"-k2"}, env), Seconds(10));
    const int status = waitFor(start("wineserver", {"-w"}, env), Seconds(30));
    ASSERT_TRUE(exitedWith(status, 0)) << "the wineserver did not end (wait status " << status << ")";
    stopping += Seconds(Clock::now() - begin).count();
    ++stops;
  }

  void saveState(const fs::path &state) { savePrefixState(prefix, state); }

  /// Puts a saved state back (the wineserver is not running), removing what an earlier run left
  /// in the program folder.
  void loadState(const fs::path &state) {
    for (const char *file : RegistryFiles) fs::copy_file(state / file, prefix / file, fs::copy_options::overwrite_existing);
    for (const auto &entry : fs::directory_iterator(prefix / UndoStoreFolder))
      if (entry.path().filename() != "tidewell-cli.exe") fs::remove_all(entry.path());
    if (fs::exists(state / "Backup.xml"))
      fs::copy_file(state / "Backup.xml", prefix / UndoStoreFolder / "Backup.xml");
  }

  /// Starts tidewell-cli.exe under Wine. Its rows go to a file: written to /dev/null, a
  /// character device, they would go through Wine's console, a second a run slower.
  pid_t startProgram(const std::vector<std::string> &args) {
    std::vector<std::string> command = {ProgramPath};
    command.insert(command.end(), args.begin(), args.end());
    return start(Wine64, command, env, root / "rows.tsv");
  }

  /// Keys and values of the original registry that are gone now.
  std::size_t missingEntries(const RegistryContent &now) { return unrecordedLosses(original, now, {}).size(); }

  /// What the registry held when a run ended or was killed, checked against Backup.xml.
  struct Outcome {
    bool killed = false;        ///< the run was killed before it ended
    bool backupChanged = false; ///< Backup.xml differs from the one the run started with
    std::size_t missing = 0;    ///< original entries gone from the registry
  };

  /// Stops the wineserver and checks what the registry files and Backup.xml now hold: Backup.xml
  /// loads, and every original entry the registry lacks has its record there.
  Outcome checkNothingLost(const fs::path &state, const std::string &run) {
    Outcome outcome;
    stopWineServer();
    if (HasFatalFailure()) return outcome;
    std::string problem;
    auto now = readPrefixRegistry(prefix.string(), problem);
    EXPECT_TRUE(now) << run << ": the registry files do not load: " << problem;
    auto records = readUndoRecords(prefix, problem);
    EXPECT_TRUE(records) << run << ": Backup.xml does not load: " << problem;
    if (!now || !records) return outcome;
    const auto losses = unrecordedLosses(original, *now, *records);
    EXPECT_TRUE(losses.empty()) << run << ": " << losses.size()
                                << " entries are gone without a record, the first: " << losses.front();
    outcome.backupChanged = readFile(prefix / UndoStoreFolder / "Backup.xml") != readFile(state / "Backup.xml");
    outcome.missing = missingEntries(*now);
    return outcome;
  }

  /// Times of one run: when the program took its lock (started on the registry), when Backup.xml
  /// was replaced, when it ended; seconds from its start.
  struct Timeline {
    double locked = 0, backupSaved = 0, ended = 0;
  };

  /// Runs the command to its end from `state`, watching the program folder. Checks its exit
  /// status and the files it leaves.
  Timeline completeRun(const fs::path &state, const std::vector<std::string> &args, Outcome &outcome) {
    loadState(state);
    const auto before = stampOf(prefix / UndoStoreFolder / "Backup.xml");
    Timeline times;
    const auto begin = Clock::now();
    const pid_t pid = startProgram(args);
    auto since = [&begin] { return Seconds(Clock::now() - begin).count(); };
    while (!hasEnded(pid) && since() < 120) {
      if (times.locked == 0 && fs::exists(prefix / UndoStoreFolder / LockFileName)) times.locked = since();
      if (times.backupSaved == 0 && stampOf(prefix / UndoStoreFolder / "Backup.xml") != before)
        times.backupSaved = since();
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    times.ended = since();
    const int status = waitFor(pid, Seconds(0));
    EXPECT_TRUE(exitedWith(status, 0)) << args[0] << " ended with wait status " << status;
    outcome = checkNothingLost(state, "complete " + args[0]);
    return times;
  }

  /// Where a kill landed in the command's work on the registry.
  enum class Moment { Before, Midway, After };

  /// How the killed runs of one command ended, for the summary line.
  struct Tally {
    int rounds = 0;
    int before = 0; ///< killed before its first change reached the registry
    int midway = 0; ///< killed between its first change and its last
    int after = 0;  ///< killed with every change made, or ended before the kill
  };

  /// True while a save of Backup.xml is under way.
  bool backupBeingSaved() {
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(prefix / UndoStoreFolder, error))
      if (entry.path().filename().string().starts_with(BackupTemporary)) return true;
    return false;
  }

  /// Starts the command from `state`, waits for `delay` after `from` appeared (the lock file,
  /// Backup.xml's temporary file, or Backup.xml replaced; the start when empty), kills the
  /// program and checks the files.
  Outcome killedRun(const fs::path &state, const std::vector<std::string> &args, const char *from, double delay,
                    const std::string &run) {
    loadState(state);
    const auto before = stampOf(prefix / UndoStoreFolder / "Backup.xml");
    const pid_t pid = startProgram(args);
    const auto giveUp = Clock::now() + Seconds(60);
    auto appeared = [&] {
      if (!*from) return true;
      if (std::strcmp(from, LockFileName) == 0) return fs::exists(prefix / UndoStoreFolder / LockFileName);
      if (BackupTemporary == from) return backupBeingSaved();
      return stampOf(prefix / UndoStoreFolder / "Backup.xml") != before;
    };
    while (!appeared() && !hasEnded(pid) && Clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    std::this_thread::sleep_for(Seconds(delay));
    const bool program = runsProgram(pid);
    kill(pid, SIGKILL);
    const bool killed = WIFSIGNALED(waitFor(pid, Seconds(10)));
    // A kill that lands once the program runs hits the program itself, not a loader or a shell.
    EXPECT_TRUE(!killed || program || !*from) << run << ": the killed process was not running tidewell-cli.exe";
    Outcome outcome = checkNothingLost(state, run);
    outcome.killed = killed;
    return outcome;
  }

  /// Kills the command from `state` `anywhere` times at a random moment of its whole run
  /// (`fullRun` seconds), then at moments after `from` appeared, searching the span in which its
  /// changes reach the registry (at most `span` seconds after): a kill that finds every change
  /// made shortens the delay, one that finds none lengthens it. The search ends after two kills
  /// landed midway, or after `searchRounds` rounds. Checks the files after every kill.
  Tally killRepeatedly(const fs::path &state, const std::vector<std::string> &args, double fullRun, int anywhere,
                       const char *from, double span, int searchRounds,
                       const std::function<Moment(const Outcome &)> &momentOf) {
    Tally tally;
    // The changes take milliseconds, the span is most of a second: the search halves the span
    // on a logarithmic scale, from half a millisecond up.
    double shortest = std::log(0.0005), longest = std::log(std::max(span, 0.001));
    std::uniform_real_distribution<double> share(0.3, 0.7);
    for (int round = 0; round < anywhere + searchRounds && tally.midway < 2; ++round) {
      const bool search = round >= anywhere;
      const double logDelay = shortest + (longest - shortest) * share(random);
      const double delay = search ? std::exp(logDelay) : std::uniform_real_distribution<double>(0.0, fullRun)(random);
      char run[160];
      std::snprintf(run, sizeof run, "%s round %d (killed %.4f s after %s)", args[0].c_str(), round, delay,
                    search ? from : "its start");
      const Outcome outcome = killedRun(state, args, search ? from : "", delay, run);
      if (HasFatalFailure()) return tally;
      const Moment moment = momentOf(outcome);
      ++tally.rounds;
      if (moment == Moment::Before) {
        ++tally.before;
        if (search) shortest = logDelay;
      } else if (moment == Moment::After) {
        ++tally.after;
        if (search) longest = logDelay;
      } else {
        ++tally.midway;
      }
      std::printf("[          ] %s: %s, Backup.xml %s, %zu entries missing\n", run,
                  outcome.killed ? "killed" : "had ended", outcome.backupChanged ? "replaced" : "as before",
                  outcome.missing);
    }
    return tally;
  }
};

TEST_F(WindowsCrashTest, KilledFixOrRestoreUnderWineLosesNothing) {
  const auto testStart = Clock::now();
  const std::vector<std::string> fix = {"fix"};
  const std::vector<std::string> restore = {"restore", "--all"};

  // A complete fix records every row and erases it; restore starts from what it leaves.
  Outcome fixed;
  const Timeline fixTimes = completeRun(pristine, fix, fixed);
  if (HasFatalFailure()) return;
  std::string problem;
  const auto fixedRecords = readUndoRecords(prefix, problem);
  ASSERT_TRUE(fixedRecords) << problem;
  ASSERT_GT(fixedRecords->keyTexts.size(), 500u) << "the fix found too few rows";
  ASSERT_GT(fixed.missing, 1000u);
  ASSERT_GT(fixTimes.backupSaved, 0.0) << "Backup.xml was never seen replaced";
  saveState(fixedState);

  // The fix erases nothing before Backup.xml is saved; the changes it held then reach the
  // wineserver within milliseconds, and a kill among them leaves every erased entry recorded.
  const Tally fixTally = killRepeatedly(
      pristine, fix, fixTimes.ended, 1, "Backup.xml", fixTimes.ended - fixTimes.backupSaved, 7,
      [&](const Outcome &outcome) {
        if (!outcome.backupChanged) {
          EXPECT_EQ(outcome.missing, 0u) << "erased before Backup.xml was saved";
        }
        if (!outcome.killed || outcome.missing == fixed.missing) return Moment::After;
        return outcome.missing == 0 ? Moment::Before : Moment::Midway;
      });
  if (HasFatalFailure()) return;
  EXPECT_GE(fixTally.midway, 1) << "no kill landed while the fix's changes were being made";

  // Killed the moment the save of Backup.xml begins, before its file is renamed into place, the
  // fix has erased nothing yet: a program that made its changes first would lose them all here.
  int killedWhileSaving = 0;
  for (int round = 0; round < 2; ++round) {
    const std::string run = "fix killed as Backup.xml's save began, round " + std::to_string(round);
    const Outcome outcome = killedRun(pristine, fix, BackupTemporary.data(), 0.0, run);
    if (HasFatalFailure()) return;
    std::printf("[          ] %s: %s, Backup.xml %s, %zu entries missing\n", run.c_str(),
                outcome.killed ? "killed" : "had ended", outcome.backupChanged ? "replaced" : "as before",
                outcome.missing);
    if (!outcome.killed || outcome.backupChanged) continue;
    ++killedWhileSaving;
    EXPECT_EQ(outcome.missing, 0u) << run << ": erased before Backup.xml was saved";
  }

  // A complete restore gives every entry back and empties Backup.xml.
  Outcome restored;
  const Timeline restoreTimes = completeRun(fixedState, restore, restored);
  if (HasFatalFailure()) return;
  EXPECT_EQ(restored.missing, 0u) << "the restore left entries missing";
  const auto left = readUndoRecords(prefix, problem);
  ASSERT_TRUE(left) << problem;
  EXPECT_TRUE(left->keyTexts.empty()) << left->keyTexts.size() << " records are still in Backup.xml";
  ASSERT_GT(restoreTimes.locked, 0.0) << "the restore's lock file was never seen";

  // The restore writes every record back before it takes it out of Backup.xml.
  const Tally restoreTally = killRepeatedly(
      fixedState, restore, restoreTimes.ended, 1, LockFileName, restoreTimes.ended - restoreTimes.locked, 6,
      [&](const Outcome &outcome) {
        if (!outcome.killed || outcome.backupChanged) return Moment::After;
        return outcome.missing == fixed.missing ? Moment::Before : Moment::Midway;
      });
  if (HasFatalFailure()) return;
  EXPECT_GE(restoreTally.midway, 1) << "no kill landed while the restore's changes were being made";

  std::printf("[          ] fix: %.2f s (Backup.xml saved at %.2f s), %d kills: %d before erasing, %d while "
              "erasing, %d after; %d of 2 kills landed while Backup.xml was being saved\n",
              fixTimes.ended, fixTimes.backupSaved, fixTally.rounds, fixTally.before, fixTally.midway,
              fixTally.after, killedWhileSaving);
  std::printf("[          ] restore: %.2f s (lock taken at %.2f s), %d kills: %d before writing back, %d while "
              "writing back, %d after\n",
              restoreTimes.ended, restoreTimes.locked, restoreTally.rounds, restoreTally.before,
              restoreTally.midway, restoreTally.after);
  std::printf("[          ] %.1f s after the prefix was made; the wineserver saved and ended in %.2f s on average\n",
              Seconds(Clock::now() - testStart).count(), stopping / std::max(stops, 1));
}

} // namespace
} // namespace tw::test
