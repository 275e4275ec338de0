// tidewell-cli backup as a user runs it: list, create, restore and delete on a small prefix,
// with the real registry editor, and the exit statuses of every way it can go wrong.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliBackup : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("tw-cli-backup-" + std::to_string(random()));
    m_prefix = m_root / "prefix";
    fs::create_directories(m_prefix / "dosdevices");
    fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
    fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
    std::ofstream(m_prefix / "system.reg") << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                                              "#arch=win32\n\n[Software\\\\Vendor] 1136073600\n\"Setting\"=\"kept\"\n";
    std::ofstream(m_prefix / "user.reg") << "WINE REGISTRY Version 2\n;; All keys relative to "
                                            "\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n\n"
                                            "[Software\\\\Mine] 1136073600\n\"Colour\"=\"blue\"\n";
    std::ofstream(m_prefix / "userdef.reg") << "WINE REGISTRY Version 2\n;; All keys relative to "
                                               "\\\\User\\\\.Default\n\n#arch=win32\n";
  }
  void TearDown() override {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(m_root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored))
      if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
  }

  CliRun run(const std::string &args, const std::string &editor = TIDEWELL_REGEDIT_PATH) {
    const fs::path out = m_root / "out.txt", err = m_root / "err.txt";
    const std::string command = "cd '" + m_root.string() + "' && WINEPREFIX= TIDEWELL_REGEDIT='" + editor + "' '" +
                                TIDEWELL_CLI_PATH "' backup " + args + " >'" + out.string() + "' 2>'" + err.string() +
                                "'";
    const int status = std::system(command.c_str());
    CliRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
  }
  std::string prefixOption() const { return " --prefix '" + m_prefix.string() + "'"; }
  fs::path backupFolder() const {
    return m_prefix / "drive_c" / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup";
  }
  static std::string firstLine(const std::string &text) { return text.substr(0, text.find('\n')); }

  fs::path m_root, m_prefix;
};

TEST_F(CliBackup, CreateListRestoreDelete) {
  CliRun listed = run("list" + prefixOption());
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "");

  const CliRun created = run("create" + prefixOption());
  ASSERT_EQ(created.exitCode, 0) << created.err;
  const std::string name = firstLine(created.out);
  EXPECT_EQ(name.find_first_of("/:"), std::string::npos) << name;
  for (const char *root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                           "HKEY_CURRENT_CONFIG"})
    EXPECT_TRUE(fs::exists(backupFolder() / name / (std::string(root) + ".reg"))) << root;
  listed = run("list" + prefixOption());
  EXPECT_EQ(listed.out, name + "\n");

  // The user changes the registry; the restore brings the value back.
  std::string user = readFile(m_prefix / "user.reg");
  user.replace(user.find("blue"), 4, "red!");
  std::ofstream(m_prefix / "user.reg") << user;
  const CliRun restored = run("restore '" + name + "'" + prefixOption());
  EXPECT_EQ(restored.exitCode, 0) << restored.err;
  EXPECT_THAT(readFile(m_prefix / "user.reg"), HasSubstr("\"Colour\"=\"blue\""));

  const CliRun deleted = run("delete '" + name + "'" + prefixOption());
  EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_FALSE(fs::exists(backupFolder() / name));
  EXPECT_EQ(run("list" + prefixOption()).out, "");
}

TEST_F(CliBackup, AFailingEditorFailsTheCommandAndNamesTheRoots) {
  const CliRun created = run("create" + prefixOption(), (m_root / "no editor").string());
  EXPECT_EQ(created.exitCode, 1);
  EXPECT_FALSE(firstLine(created.out).empty());
  EXPECT_THAT(created.err, HasSubstr("failed for 5 of 5 roots"));
  EXPECT_THAT(created.err, HasSubstr("HKEY_CURRENT_CONFIG: the registry editor"));
}

TEST_F(CliBackup, RestoreOfAMissingOrDamagedPointFails) {
  EXPECT_EQ(run("restore nothing-here" + prefixOption()).exitCode, 2);
  EXPECT_EQ(run("restore '..'" + prefixOption()).exitCode, 2);
  const std::string name = firstLine(run("create" + prefixOption()).out);
  std::ofstream(backupFolder() / name / "HKEY_CURRENT_USER.reg") << "damaged";
  const CliRun restored = run("restore '" + name + "'" + prefixOption());
  EXPECT_EQ(restored.exitCode, 1);
  EXPECT_THAT(restored.err, HasSubstr("HKEY_CURRENT_USER: the registry editor ended with exit status 1"));
}

TEST_F(CliBackup, DeleteNamesWhatItCouldNotDelete) {
  fs::create_directories(backupFolder() / "point");
  std::ofstream(backupFolder() / "point" / "HKEY_USERS.reg") << "x";
  fs::permissions(backupFolder() / "point" / "HKEY_USERS.reg",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  const CliRun deleted = run("delete point" + prefixOption());
  EXPECT_EQ(deleted.exitCode, 1);
  EXPECT_THAT(deleted.err, HasSubstr(" Delete error: HKEY_USERS.reg\n"));
  EXPECT_TRUE(fs::exists(backupFolder() / "point" / "HKEY_USERS.reg"));
}

TEST_F(CliBackup, UsageAndHelp) {
  EXPECT_EQ(run("").exitCode, 2);
  EXPECT_EQ(run("frobnicate" + prefixOption()).exitCode, 2);
  EXPECT_EQ(run("restore" + prefixOption()).exitCode, 2);
  EXPECT_EQ(run("list extra" + prefixOption()).exitCode, 2);
  EXPECT_EQ(run("list --prefix").exitCode, 2);
  EXPECT_EQ(run("list --prefix '" + (m_root / "missing").string() + "'").exitCode, 1);
  const CliRun help = run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, HasSubstr("usage: tidewell-cli backup"));
  EXPECT_THAT(help.out, HasSubstr("Exit status"));
}

} // namespace
