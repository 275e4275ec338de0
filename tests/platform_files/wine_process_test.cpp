// Child processes started from Windows command lines: splitting, the program a Windows path
// names, the registry editor mapped to ours, waiting and exit codes, detached starts and
// shell opens. Children are small shell scripts that record what they were given.

#include "platform/process/CommandLine.h"
#include "platform/process/WineProcessLauncher.h"

#include "platform/MemoryRegistry.h"
#include "platform/files/WineFileSystem.h"
#include "platform/system/WineSystemInfo.h"

#include "TempPrefix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace tw::platform;

namespace {

std::string readFile(const fs::path &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits for a detached child to leave its record; the limit only ends a test whose child never
// ran, it measures nothing.
bool waitForFile(const fs::path &path) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(path) && !readFile(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Sets an environment variable for the lifetime of the object.
class ScopedVariable {
public:
  ScopedVariable(const char *name, const std::string &value) : m_name(name) {
    if (const char *old = std::getenv(name)) m_old = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (m_old) ::setenv(m_name, m_old->c_str(), 1);
    else ::unsetenv(m_name);
  }
  ScopedVariable(const ScopedVariable &) = delete;
  ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
  const char *m_name;
  std::optional<std::string> m_old;
};

class WineProcessTest : public ::testing::Test {
protected:
  tw::test::TempPrefix prefix;
  std::unique_ptr<RegistryApi> registry = makeMemoryRegistry();
  WineFileSystem files{prefix.dir()};
  WineSystemInfo system{*registry, files};
  WineProcessLauncher launcher{files, system};
  fs::path record = prefix.root() / "record.txt";

  // A script that writes its arguments (one a line), its folder, WINEPREFIX and where its
  // output goes to `record`, then exits with `exitCode`.
  fs::path writeRecorder(const fs::path &path, int exitCode = 0) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n"
                        << "out=$(readlink /proc/$$/fd/1)\n"
                        << "{ for a in \"$@\"; do echo \"arg:$a\"; done; echo \"cwd:$(pwd -P)\";"
                        << " echo \"prefix:$WINEPREFIX\"; echo \"stdout:$out\"; }"
                        << " > '" << record.string() << ".tmp'\n"
                        << "mv '" << record.string() << ".tmp' '" << record.string() << "'\n"
                        << "exit " << exitCode << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
};

} // namespace

TEST(CommandLine, ArgumentsSplitAsWindowsProgramsSplitThem) {
  struct Case {
    const char *line;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {" /e \"HKEY_USERS.reg\" \"HKEY_USERS\"", {"/e", "HKEY_USERS.reg", "HKEY_USERS"}},
      {" /s /i HKEY_USERS.reg", {"/s", "/i", "HKEY_USERS.reg"}},
      {"a\tb  c", {"a", "b", "c"}},
      {"\"C:\\Program Files\\x.exe\" /S", {"C:\\Program Files\\x.exe", "/S"}},
      {"ab\"c d\"e", {"abc de"}},
      {"C:\\dir\\ \"x\"", {"C:\\dir\\", "x"}},
      {"a\\\\\\\"b", {"a\\\"b"}},          // 3 backslashes + quote: one backslash, a quote
      {"\"a\\\\\" b", {"a\\", "b"}},       // 2 backslashes + quote: one backslash, quote closes
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}}, // "" inside quotes is one quote
      {"\"\"", {""}},
      {"\"unclosed arg", {"unclosed arg"}},
      {"", {}},
      {"   ", {}},
  };
  for (const auto &c : cases) EXPECT_EQ(splitArguments(c.line), c.expected) << "[" << c.line << "]";
}

TEST(CommandLine, ProgramCandidatesForUnquotedPathsWithBlanks) {
  auto candidates = programCandidates("C:\\Program Files\\My Tool\\unins000.exe /SILENT");
  std::vector<std::string> programs;
  for (const auto &[program, rest] : candidates) programs.push_back(program);
  EXPECT_EQ(programs, (std::vector<std::string>{"C:\\Program", "C:\\Program Files\\My",
                                                "C:\\Program Files\\My Tool\\unins000.exe",
                                                "C:\\Program Files\\My Tool\\unins000.exe /SILENT"}));
  EXPECT_EQ(candidates[2].second, "/SILENT");

  auto quoted = programCandidates("  \"C:\\Program Files\\a b.exe\"  -x \"y z\"");
  ASSERT_EQ(quoted.size(), 1u);
  EXPECT_EQ(quoted[0].first, "C:\\Program Files\\a b.exe");
  EXPECT_EQ(quoted[0].second, "-x \"y z\"");
  EXPECT_TRUE(programCandidates("   ").empty());
}

TEST_F(WineProcessTest, RunsAndWaitsHiddenWithExitCode) {
  writeRecorder(prefix.driveC() / "tools" / "Check.sh", 7);
  fs::create_directories(prefix.driveC() / "work");
  auto code = launcher.runHiddenAndWait("c:\\TOOLS\\check.sh", "one \"two words\"", "C:\\WORK");
  ASSERT_EQ(code, 7);
  const std::string seen = readFile(record);
  EXPECT_NE(seen.find("arg:one\narg:two words\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("cwd:" + fs::canonical(prefix.driveC() / "work").string() + "\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("prefix:" + files.prefixDir() + "\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("stdout:/dev/null"), std::string::npos) << seen;
}

TEST_F(WineProcessTest, ProgramNamedByTheCommandLine) {
  writeRecorder(prefix.driveC() / "Program Files" / "My Tool" / "uninst", 3);
  EXPECT_EQ(launcher.runHiddenAndWait("", "C:\\Program Files\\My Tool\\uninst /S", ""), 3);
  EXPECT_NE(readFile(record).find("arg:/S\n"), std::string::npos);
}

TEST_F(WineProcessTest, NothingStartsWithoutProgramOrFolder) {
  writeRecorder(prefix.driveC() / "tools" / "run.sh");
  prefix.write("tools/data.txt");
  EXPECT_FALSE(launcher.runHiddenAndWait("C:\\tools\\missing.sh", "", "").has_value());
  EXPECT_FALSE(launcher.runHiddenAndWait("C:\\tools\\data.txt", "", "").has_value()); // not executable
  EXPECT_FALSE(launcher.runHiddenAndWait("C:\\tools\\run.sh", "", "C:\\no such folder").has_value());
  EXPECT_FALSE(launcher.runHiddenAndWait("\\\\server\\share\\run.sh", "", "").has_value());
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(WineProcessTest, RegistryEditorIsOurs) {
  auto editor = writeRecorder(prefix.root() / "bin" / "fake-regedit");
  ScopedVariable variable("TIDEWELL_REGEDIT", editor.string());
  fs::create_directories(prefix.driveC() / "ProgramData" / "Backup" / "12-06-2026 10_56_15 PM");

  auto code = launcher.runHiddenAndWait("C:\\windows\\regedit.exe", " /e \"HKEY_USERS.reg\" \"HKEY_USERS\"",
                                        "C:\\ProgramData\\Backup\\12-06-2026 10_56_15 PM");
  ASSERT_EQ(code, 0);
  const std::string seen = readFile(record);
  // File names in arguments go through as they are; the editor resolves them itself.
  EXPECT_NE(seen.find("arg:/e\narg:HKEY_USERS.reg\narg:HKEY_USERS\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("cwd:" + fs::canonical(prefix.driveC() / "ProgramData" / "Backup" / "12-06-2026 10_56_15 PM").string()),
            std::string::npos)
      << seen;
  EXPECT_NE(seen.find("prefix:" + files.prefixDir() + "\n"), std::string::npos) << seen;

  for (const char *name : {"C:\\WINDOWS\\REGEDIT.EXE", "regedit.exe", "Regedit", "c:\\windows\\system32\\regedit.exe",
                           "C:\\windows\\\\regedit.exe"}) {
    EXPECT_TRUE(launcher.isRegistryEditor(name)) << name;
    EXPECT_EQ(launcher.hostProgramFor(name), editor.string()) << name;
  }
  for (const char *name : {"D:\\tools\\regedit.exe", "regedit32.exe", "C:\\windows\\regedt32.exe"})
    EXPECT_FALSE(launcher.isRegistryEditor(name)) << name;
}

TEST_F(WineProcessTest, RegistryEditorThatCannotRunStartsNothing) {
  ScopedVariable variable("TIDEWELL_REGEDIT", (prefix.root() / "missing-editor").string());
  EXPECT_FALSE(launcher.runHiddenAndWait("C:\\windows\\regedit.exe", " /s /i HKEY_USERS.reg", "").has_value());
}

TEST_F(WineProcessTest, DetachedStartReturnsAtOnce) {
  writeRecorder(prefix.driveC() / "Program Files" / "App" / "unins000.sh");
  EXPECT_TRUE(launcher.startDetached("C:\\Program Files\\App\\unins000.sh /SILENT \"x y\""));
  ASSERT_TRUE(waitForFile(record));
  EXPECT_NE(readFile(record).find("arg:/SILENT\narg:x y\n"), std::string::npos) << readFile(record);
  EXPECT_FALSE(launcher.startDetached("C:\\Program Files\\Gone\\unins000.exe /SILENT"));
  EXPECT_FALSE(launcher.startDetached(""));
}

// A Windows uninstaller runs through the Wine on the PATH; whatever the command line holds
// reaches the program as its arguments, and no shell reads it.
TEST_F(WineProcessTest, DetachedWindowsProgramStartsThroughWineWithItsArgumentsOnly) {
  auto bin = prefix.root() / "winebin";
  writeRecorder(bin / "wine");
  ScopedVariable path("PATH", bin.string() + ":/usr/bin:/bin");
  prefix.write("Program Files/My App/uninst.exe", "MZ\x90\x00 a Windows program");
  const fs::path touched = prefix.root() / "touched";
  const std::string line = "C:\\Program Files\\My App\\uninst.exe /S a;b $(touch " + touched.string() +
                           ") `touch " + touched.string() + "` \"q u\" x\\\"y 'single' ${HOME} >out |cat &";
  EXPECT_EQ(launcher.startProblem(), "");
  ASSERT_TRUE(launcher.startDetached(line));
  ASSERT_TRUE(waitForFile(record));
  const std::string expected = "arg:C:\\Program Files\\My App\\uninst.exe\narg:/S\narg:a;b\narg:$(touch\narg:" +
                               touched.string() + ")\narg:`touch\narg:" + touched.string() +
                               "`\narg:q u\narg:x\"y\narg:'single'\narg:${HOME}\narg:>out\narg:|cat\narg:&\n";
  EXPECT_EQ(readFile(record).substr(0, expected.size()), expected);
  EXPECT_NE(readFile(record).find("prefix:" + prefix.dir() + "\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(touched));
  EXPECT_FALSE(fs::exists(prefix.root() / "out"));
}

TEST_F(WineProcessTest, WithoutWineWindowsProgramsDoNotStart) {
  ScopedVariable path("PATH", (prefix.root() / "empty").string());
  prefix.write("app/uninst.exe", "MZ");
  EXPECT_NE(launcher.startProblem(), "");
  EXPECT_FALSE(launcher.startDetached("C:\\app\\uninst.exe /S"));
}

TEST_F(WineProcessTest, ShellOpenUsesXdgOpen) {
  auto bin = prefix.root() / "shellbin";
  writeRecorder(bin / "xdg-open");
  ScopedVariable path("PATH", bin.string() + ":/usr/bin:/bin");
  prefix.write("Program Files/Tidewell/help.chm");

  EXPECT_TRUE(launcher.shellOpen("c:\\program files\\tidewell\\HELP.CHM"));
  ASSERT_TRUE(waitForFile(record));
  EXPECT_NE(readFile(record).find("arg:" + prefix.dir() + "/dosdevices/c:/Program Files/Tidewell/help.chm\n"),
            std::string::npos)
      << readFile(record);

  fs::remove(record);
  EXPECT_TRUE(launcher.shellOpen("https://example.com/tidewell"));
  ASSERT_TRUE(waitForFile(record));
  EXPECT_NE(readFile(record).find("arg:https://example.com/tidewell\n"), std::string::npos);

  EXPECT_FALSE(launcher.shellOpen("C:\\Program Files\\Tidewell\\missing.chm"));
}

TEST_F(WineProcessTest, ShellOpenWithoutXdgOpenFails) {
  ScopedVariable path("PATH", (prefix.root() / "empty").string());
  prefix.write("doc.txt");
  EXPECT_FALSE(launcher.shellOpen("C:\\doc.txt"));
}

TEST_F(WineProcessTest, ErrorOutputIsKeptWhenAsked) {
  const fs::path tool = prefix.driveC() / "tools" / "complain.sh";
  fs::create_directories(tool.parent_path());
  std::ofstream(tool) << "#!/bin/sh\necho 'to nobody'\necho \"cannot do $1\" >&2\nexit 4\n";
  fs::permissions(tool, fs::perms::owner_all);
  std::string errors = "stale";
  EXPECT_EQ(launcher.runHiddenAndWaitCapturing("C:\\tools\\complain.sh", "that", "", errors), 4);
  EXPECT_EQ(errors, "cannot do that\n");
  // Far more than is kept: the child never blocks, and the start is kept.
  std::ofstream(tool) << "#!/bin/sh\nhead -c 300000 /dev/zero | tr '\\0' x >&2\nexit 0\n";
  EXPECT_EQ(launcher.runHiddenAndWaitCapturing("C:\\tools\\complain.sh", "", "", errors), 0);
  EXPECT_EQ(errors, std::string(tw::platform::ProcessLauncher::MaxErrorOutput, 'x'));
  EXPECT_FALSE(launcher.runHiddenAndWaitCapturing("C:\\tools\\missing.sh", "", "", errors).has_value());
  EXPECT_EQ(errors, "");
}
