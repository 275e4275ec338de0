// The repair commands of tidewell-cli, run as a user runs them: what they print, the files they
// leave, and their exit status for a damaged file and a wrong command line.

#include "CliRun.h"
#include "PrefixContent.h"

#include "generator/PrefixGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliCommandsTest : public ::testing::Test {
protected:
  fs::path root;
  fs::path prefix;

  void SetUp() override {
    if (std::string(TIDEWELL_CLI_PATH).empty() || !fs::exists(TIDEWELL_CLI_PATH))
      GTEST_SKIP() << "tidewell-cli was not built";
    root = fs::path(scratchFolder()) / ("tw-repair-cli-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    prefix = root / "prefix";
    generator::GeneratorOptions options;
    options.seed = 11;
    options.brokenShare = 0.2;
    options.classes = 20;
    options.appPaths = 10;
    options.uninstall = 10;
    options.fileExts = 10;
    options.sharedDlls = 10;
    const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
    ASSERT_TRUE(made) << made.description();
  }
  void TearDown() override {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }

  /// Runs tidewell-cli in the test's folder with `args`; standard output is kept.
  CliRun cli(const std::string &args) {
    return runCommandLine("cd '" + root.string() + "' && '" + TIDEWELL_CLI_PATH + "' " + args + " 2>/dev/null");
  }
  std::string withPrefix(const std::string &command) { return command + " --prefix '" + prefix.string() + "'"; }
  fs::path undoStore() const {
    return prefix / "drive_c" / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup.xml";
  }
};

TEST_F(CliCommandsTest, FixHistoryRestoreClear) {
  const CliRun scanned = cli(withPrefix("scan"));
  ASSERT_EQ(scanned.status, 0);
  const auto rows = scanned.lines();
  ASSERT_GE(rows.size(), 5u);

  // Fixing only the rows named: the first and the last of the scan.
  const auto keyName = [](const std::string &row) {
    const auto first = row.find('\t');
    return row.substr(first + 1, row.find('\t', first + 1) - first - 1);
  };
  const CliRun fixed = cli(withPrefix("fix") + " '" + keyName(rows.front()) + "' '" + keyName(rows.back()) + "'");
  ASSERT_EQ(fixed.status, 0);
  EXPECT_EQ(fixed.lines(), (std::vector<std::string>{rows.front(), rows.back()}));
  EXPECT_EQ(cli(withPrefix("scan")).lines().size(), rows.size() - 2);

  // The history lists the bottom row first, as it was fixed first.
  CliRun history = cli(withPrefix("history"));
  ASSERT_EQ(history.status, 0);
  ASSERT_EQ(history.lines().size(), 2u);
  EXPECT_NE(history.lines()[0].find(keyName(rows.back())), std::string::npos);

  CliRun restored = cli(withPrefix("restore") + " 1");
  ASSERT_EQ(restored.status, 0);
  EXPECT_EQ(restored.lines(), std::vector<std::string>{history.lines()[1]});
  EXPECT_EQ(cli(withPrefix("history")).lines(), std::vector<std::string>{history.lines()[0]});
  EXPECT_EQ(cli(withPrefix("scan")).lines().size(), rows.size() - 1);

  EXPECT_EQ(cli(withPrefix("restore") + " 1").status, 2);
  EXPECT_EQ(cli(withPrefix("restore")).status, 2);
  EXPECT_EQ(cli(withPrefix("restore") + " --all 0").status, 2);
  ASSERT_EQ(cli(withPrefix("clear")).status, 0);
  EXPECT_TRUE(cli(withPrefix("history")).out.empty());
  EXPECT_EQ(cli(withPrefix("scan")).lines().size(), rows.size() - 1);
}

TEST_F(CliCommandsTest, DamagedUndoStoreIsReportedAndKept) {
  fs::create_directories(undoStore().parent_path());
  const std::string damaged = "<TidewellRegistryCleaner><ELEMENT NAME=\"x\"";
  std::ofstream(undoStore()) << damaged;
  for (const char *command : {"history", "fix", "restore --all", "clear"}) {
    EXPECT_EQ(cli(withPrefix(command)).status, 1) << command;
    EXPECT_EQ(fileText(undoStore()), damaged) << command;
  }
  EXPECT_EQ(cli(withPrefix("scan")).status, 0);
}

TEST_F(CliCommandsTest, IgnoreListOfTheCurrentFolder) {
  EXPECT_TRUE(cli("ignore list").out.empty());
  ASSERT_EQ(cli("ignore add HKEY_CURRENT_USER Software one").status, 0);
  ASSERT_EQ(cli("ignore add HKEY_CURRENT_USER 'Soft ware' two").status, 0);
  ASSERT_EQ(cli("ignore add HKEY_CURRENT_USER Software three").status, 0);
  EXPECT_EQ(cli("ignore add HKEY_CURRENT_USER Software ''").status, 0);
  EXPECT_EQ(cli("ignore list").lines(),
            (std::vector<std::string>{"HKEY_CURRENT_USER\tSoftware\tone", "HKEY_CURRENT_USER\tSoft ware\ttwo",
                                      "HKEY_CURRENT_USER\tSoftware\tthree"}));
  EXPECT_EQ(cli("ignore remove 0 2").status, 0);
  EXPECT_EQ(cli("ignore list").lines(), std::vector<std::string>{"HKEY_CURRENT_USER\tSoft ware\ttwo"});
  EXPECT_EQ(cli("ignore remove 1").status, 2);
  EXPECT_EQ(cli("ignore remove x").status, 2);
  EXPECT_EQ(cli("ignore add a b").status, 2);
  EXPECT_EQ(cli("ignore").status, 2);

  // The scan honours what the ignore list now holds.
  const auto rows = cli(withPrefix("scan")).lines();
  ASSERT_FALSE(rows.empty());
  const std::string keyText = rows[0].substr(rows[0].find('\t') + 1, rows[0].find('\t', rows[0].find('\t') + 1) - rows[0].find('\t') - 1);
  const auto first = keyText.find('\\');
  const auto last = keyText.rfind('\\');
  ASSERT_EQ(cli("ignore add '" + keyText.substr(0, first) + "' '" + keyText.substr(first + 1, last - first - 1) +
                "' '" + keyText.substr(last + 1) + "'").status, 0);
  EXPECT_EQ(cli(withPrefix("scan")).lines().size(), rows.size() - 1);

  std::ofstream(root / "ignore.xml") << "<IgnoreList><ERROR";
  EXPECT_EQ(cli("ignore list").status, 1);
  EXPECT_EQ(cli("ignore add a b c").status, 1);
  EXPECT_EQ(fileText(root / "ignore.xml"), "<IgnoreList><ERROR");
}

TEST_F(CliCommandsTest, ExitStatusesSayWhatHappened) {
  const auto rows = cli(withPrefix("scan")).lines();
  ASSERT_FALSE(rows.empty());

  // An entry lacking an attribute ends the scan early: status 1, as the help says.
  std::ofstream(root / "ignore.xml") << "<IgnoreList><ERROR ROOT=\"HKEY_CURRENT_USER\" KEY=\"Software\"/></IgnoreList>";
  EXPECT_EQ(cli(withPrefix("scan")).status, 1);
  EXPECT_EQ(cli(withPrefix("fix")).status, 1);
  // Adding to that list works and says so; the damaged entry is only noted.
  EXPECT_EQ(cli("ignore add HKEY_CURRENT_USER Software one").status, 0);
  EXPECT_NE(fileText(root / "ignore.xml").find("VALUE=\"one\""), std::string::npos);
  fs::remove(root / "ignore.xml");

  // A write-protected ignore.xml or Backup.xml is respected as a registry file is.
  ASSERT_EQ(cli("ignore add HKEY_CURRENT_USER Software one").status, 0);
  const std::string ignoreBefore = fileText(root / "ignore.xml");
  fs::permissions(root / "ignore.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(cli("ignore add HKEY_CURRENT_USER Software two").status, 1);
  EXPECT_EQ(fileText(root / "ignore.xml"), ignoreBefore);
  fs::remove(root / "ignore.xml");
  fs::create_directories(undoStore().parent_path());
  std::ofstream(undoStore()) << "<TidewellRegistryCleaner/>\n";
  fs::permissions(undoStore(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(cli(withPrefix("fix")).status, 1);
  EXPECT_EQ(fileText(undoStore()), "<TidewellRegistryCleaner/>\n");
  EXPECT_EQ(cli(withPrefix("scan")).lines(), rows);
  fs::permissions(undoStore(), fs::perms::owner_all);

  // Another program at work on the prefix: fix, restore and clear do nothing and say so (3).
  const fs::path lockFile = undoStore().parent_path() / "tidewell.lock";
  const int other = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_EQ(cli(withPrefix("fix")).status, 3);
  EXPECT_EQ(cli(withPrefix("restore") + " --all").status, 3);
  EXPECT_EQ(cli(withPrefix("clear")).status, 3);
  EXPECT_EQ(cli(withPrefix("scan")).lines(), rows);
  EXPECT_EQ(cli(withPrefix("history")).status, 0) << "reading needs no lock";
  ::close(other);
  EXPECT_EQ(cli(withPrefix("fix")).status, 0);
  EXPECT_LT(cli(withPrefix("scan")).lines().size(), rows.size());
}

TEST_F(CliCommandsTest, HelpAndWrongArguments) {
  for (const char *command : {"fix", "history", "restore", "clear", "ignore"}) {
    const CliRun help = cli(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: tidewell-cli ") + command, 0), 0u) << command;
  }
  EXPECT_EQ(cli("history --bogus").status, 2);
  EXPECT_EQ(cli("clear --prefix").status, 2);
  EXPECT_EQ(cli("fix --groups 12").status, 2);
  EXPECT_EQ(cli("history --prefix '" + (root / "missing").string() + "'").status, 1);
}

} // namespace
} // namespace tw::test
