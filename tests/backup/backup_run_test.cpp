// Backup and restore runs through a stand-in registry editor that records how it was started:
// the status texts in their sequence, the command lines and working folders, and every way an
// editor run can fail, which the report must name instead of reporting success.

#include "BackupTestPrefix.h"

#include "backup/BackupRun.h"
#include "backup/RestorePoints.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

class BackupRunTest : public ::testing::Test {
protected:
  BackupRunTest()
      : editorPath(prefix.outside() / "fake-regedit"), logPath(prefix.outside() / "runs.log"),
        editor("TIDEWELL_REGEDIT", editorPath.string()) {
    // Records its folder and arguments; FAKE_EDITOR_MODE makes it fail in the ways a real
    // editor can.
    BackupTestPrefix::writeFile(editorPath,
                                "#!/bin/sh\n"
                                "echo \"$PWD|$*\" >> " + shellQuoted(logPath.string()) + "\n"
                                "case \"$FAKE_EDITOR_MODE\" in\n"
                                "  fail) echo 'tidewell-regedit: cannot export: disk full' >&2; exit 1 ;;\n"
                                "  nofile) exit 0 ;;\n"
                                "esac\n"
                                "if [ \"$1\" = /e ]; then printf 'export of %s' \"$3\" > \"$2\"; fi\n"
                                "exit 0\n");
    fs::permissions(editorPath, fs::perms::owner_all);
  }

  std::vector<std::string> runs() const {
    std::vector<std::string> lines;
    std::istringstream text(BackupTestPrefix::readFile(logPath));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  backup::RunReport backUp(const std::string &name, std::vector<std::string> *statuses = nullptr) {
    platform::Machine &machine = platform::machine();
    const std::string folder = backup::createRestorePoint(machine, prefix.backupFolder(), name);
    return backup::runBackup(
        machine, folder, [&](const std::string &text) { if (statuses) statuses->push_back(text); },
        [statuses] { if (statuses) statuses->push_back("(pause)"); });
  }

  BackupTestPrefix prefix;
  fs::path editorPath;
  fs::path logPath;
  ScopedEnvironment editor;
};

TEST_F(BackupRunTest, BackupShowsEachRootInTurnAndWritesFiveFiles) {
  std::vector<std::string> statuses;
  const backup::RunReport report = backUp("12-06-2026 10_56_15 PM", &statuses);
  EXPECT_TRUE(report.succeeded()) << report.description();
  EXPECT_EQ(report.description(), "");

  std::vector<std::string> expected;
  for (std::string_view root : backup::BackupRoots) {
    expected.push_back("Backup will be started in 1 second");
    expected.push_back("(pause)");
    expected.push_back("Backing up " + std::string(root) + "...");
    expected.push_back("Done !");
  }
  EXPECT_EQ(statuses, expected);

  const fs::path folder = prefix.backupHostFolder() / "12-06-2026 10_56_15 PM";
  std::vector<std::string> expectedRuns;
  for (std::string_view root : backup::BackupRoots) {
    const std::string name(root);
    expectedRuns.push_back(fs::canonical(folder).string() + "|/e " + name + ".reg " + name);
    EXPECT_EQ(BackupTestPrefix::readFile(folder / (name + ".reg")), "export of " + name);
  }
  EXPECT_EQ(runs(), expectedRuns);
}

TEST_F(BackupRunTest, AnEditorThatCannotStartIsReportedForEveryRoot) {
  ScopedEnvironment missing("TIDEWELL_REGEDIT", (prefix.outside() / "no such editor").string());
  const backup::RunReport report = backUp("missing editor");
  ASSERT_EQ(report.failures.size(), 5u);
  EXPECT_EQ(report.failures[3].root, "HKEY_USERS");
  EXPECT_NE(report.failures[3].reason.find("could not be started"), std::string::npos) << report.failures[3].reason;
  EXPECT_NE(report.description().find("failed for 5 of 5 roots"), std::string::npos) << report.description();
}

TEST_F(BackupRunTest, AFailingEditorIsReportedWithItsStatusAndMessage) {
  ScopedEnvironment mode("FAKE_EDITOR_MODE", "fail");
  const backup::RunReport report = backUp("failing editor");
  ASSERT_EQ(report.failures.size(), 5u);
  EXPECT_EQ(report.failures[0].reason,
            "the registry editor ended with exit status 1: tidewell-regedit: cannot export: disk full");
}

TEST_F(BackupRunTest, AnEditorThatWritesNoFileIsAFailureToo) {
  ScopedEnvironment mode("FAKE_EDITOR_MODE", "nofile");
  const backup::RunReport report = backUp("no files");
  ASSERT_EQ(report.failures.size(), 5u);
  EXPECT_EQ(report.failures[1].reason, "the registry editor wrote no file HKEY_CURRENT_USER.reg");
}

TEST_F(BackupRunTest, WithoutARestorePointFolderNothingIsExportedAnywhere) {
  const backup::RunReport report = backup::runBackup(platform::machine(), "", [](const std::string &) {}, {});
  EXPECT_EQ(report.failures.size(), 5u);
  EXPECT_TRUE(runs().empty());
}

TEST_F(BackupRunTest, RestoreImportsTheFiveFilesInTheirFolder) {
  ASSERT_TRUE(backUp("point").succeeded());
  fs::remove(logPath);
  std::vector<std::string> statuses;
  const std::string source = prefix.backupFolder() + "\\point";
  const backup::RunReport report =
      backup::runRestore(platform::machine(), source, [&](const std::string &text) { statuses.push_back(text); });
  EXPECT_TRUE(report.succeeded()) << report.description();
  std::vector<std::string> expected, expectedRuns;
  const std::string host = fs::canonical(prefix.backupHostFolder() / "point").string();
  for (std::string_view root : backup::BackupRoots) {
    expected.push_back("Restoring " + std::string(root));
    expected.push_back("Done !");
    expectedRuns.push_back(host + "|/s /i " + std::string(root) + ".reg");
  }
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(runs(), expectedRuns);
}

TEST_F(BackupRunTest, RestoreWithoutAChosenOrExistingPointRunsNothingAndSaysWhy) {
  std::vector<std::string> statuses;
  const auto status = [&](const std::string &text) { statuses.push_back(text); };
  backup::RunReport report = backup::runRestore(platform::machine(), "", status);
  EXPECT_FALSE(report.succeeded());
  EXPECT_NE(report.description().find("no restore point is selected"), std::string::npos) << report.description();
  report = backup::runRestore(platform::machine(), prefix.backupFolder() + "\\gone", status);
  EXPECT_NE(report.description().find("does not exist"), std::string::npos) << report.description();
  EXPECT_TRUE(statuses.empty());
  EXPECT_TRUE(runs().empty());
}

TEST_F(BackupRunTest, RestoreWhileAnotherProgramChangesThePrefixRunsNothingAndSaysWhy) {
  const std::string point = backup::createRestorePoint(platform::machine(), prefix.backupFolder(), "point");
  // Another program holds the prefix's lock for a few seconds (flock(1) takes the same lock).
  const std::string lockFile =
      platform::machine().files().hostPath(platform::machine().system().programFolder() + "tidewell.lock", false).value();
  const fs::path held = prefix.outside() / "held";
  ASSERT_EQ(runShell("flock -n " + shellQuoted(lockFile) + " sh -c 'touch " + shellQuoted(held.string()) +
                     "; sleep 3' >/dev/null 2>&1 &"),
            0);
  for (int i = 0; i < 200 && !fs::exists(held); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(held));

  std::vector<std::string> statuses;
  backup::RunReport report =
      backup::runRestore(platform::machine(), point, [&](const std::string &text) { statuses.push_back(text); });
  EXPECT_FALSE(report.succeeded());
  EXPECT_NE(report.description().find("Another Tidewell Registry Cleaner program"), std::string::npos)
      << report.description();
  EXPECT_TRUE(statuses.empty());
  EXPECT_TRUE(runs().empty()) << "no import ran";
}

TEST_F(BackupRunTest, ABackupAndARestoreAtOnceEachRunInTheirOwnFolder) {
  ASSERT_TRUE(backUp("old point").succeeded());
  fs::remove(logPath);
  const std::string target = backup::createRestorePoint(platform::machine(), prefix.backupFolder(), "new point");
  backup::RunReport backupReport, restoreReport;
  std::thread backupThread([&] {
    backupReport = backup::runBackup(platform::machine(), target, [](const std::string &) {}, {});
  });
  std::thread restoreThread([&] {
    restoreReport = backup::runRestore(platform::machine(), prefix.backupFolder() + "\\old point",
                                       [](const std::string &) {});
  });
  backupThread.join();
  restoreThread.join();
  EXPECT_TRUE(backupReport.succeeded()) << backupReport.description();
  EXPECT_TRUE(restoreReport.succeeded()) << restoreReport.description();
  const std::string oldHost = fs::canonical(prefix.backupHostFolder() / "old point").string();
  const std::string newHost = fs::canonical(prefix.backupHostFolder() / "new point").string();
  int exports = 0, imports = 0;
  for (const std::string &run : runs()) {
    if (run.find("|/e ") != std::string::npos) {
      ++exports;
      EXPECT_EQ(run.substr(0, run.find('|')), newHost) << run;
    } else {
      ++imports;
      EXPECT_EQ(run.substr(0, run.find('|')), oldHost) << run;
    }
  }
  EXPECT_EQ(exports, 5);
  EXPECT_EQ(imports, 5);
}

} // namespace
} // namespace tw::test
