// The registry editor's command line and its runs on a memory registry.

#include "cli/tidewell-regedit/RegEditCommand.h"
#include "platform/MemoryRegistry.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
using Action = RegEditCommand::Action;

namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class RegEditCommandTest : public ::testing::Test {
protected:
  std::unique_ptr<platform::RegistryApi> m_registry = platform::makeMemoryRegistry();
  std::filesystem::path m_dir = std::filesystem::temp_directory_path() /
                                ("tw-regedit-cmd-" + std::to_string(::getpid()));
  std::string m_readOnlyReason;
  std::function<std::optional<std::string>(const std::vector<platform::RegKey> &)> m_load;

  void SetUp() override { std::filesystem::create_directories(m_dir); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  Outcome run(const std::vector<std::string> &args, const std::string &input = {}) {
    RegEditCommand command;
    if (auto problem = parseRegEditCommand(args, command)) {
      ADD_FAILURE() << *problem;
      return {};
    }
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    RegEditEnvironment env;
    env.registry = m_registry.get();
    env.readOnlyReason = m_readOnlyReason;
    env.loadRegistry = m_load;
    env.hostPathOf = [this](std::string_view path) -> std::optional<std::string> {
      // As a Windows program the test's own host paths are Windows paths too: they stay.
      if (path.starts_with(m_dir.string()))
        return std::string(path);
      if (!path.starts_with("C:\\"))
        return std::nullopt;
      return (m_dir / std::string(path.substr(3))).string();
    };
    env.in = &in;
    env.out = &out;
    env.err = &err;
    Outcome result;
    result.status = runRegEditCommand(command, env);
    result.out = out.str();
    result.err = err.str();
    return result;
  }

  std::string path(const char *name) const { return (m_dir / name).string(); }
};

} // namespace

TEST(RegEditCommandLine, ParsesTheSwitchesBackupAndRestoreUse) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::vector<std::string> files;
    std::string key;
  };
  const Case cases[] = {
      {{"/e", "HKEY_USERS.reg", "HKEY_USERS"}, Action::Export, {"HKEY_USERS.reg"}, "HKEY_USERS"},
      {{"-E", "x.reg"}, Action::Export, {"x.reg"}, ""},
      {{"/s", "/i", "HKEY_USERS.reg"}, Action::Import, {"HKEY_USERS.reg"}, ""},
      {{"/S", "a.reg", "b.reg"}, Action::Import, {"a.reg", "b.reg"}, ""},
      {{"a.reg"}, Action::Import, {"a.reg"}, ""},
      // A host path that starts with '/' is a file, not a switch.
      {{"/s", "/tmp/a.reg"}, Action::Import, {"/tmp/a.reg"}, ""},
      {{"-"}, Action::Import, {"-"}, ""},
      {{"/e", "-", "HKEY_CURRENT_USER\\Software"}, Action::Export, {"-"}, "HKEY_CURRENT_USER\\Software"},
      {{"/?"}, Action::Help, {}, ""},
      {{"--help", "whatever"}, Action::Help, {}, ""},
  };
  for (const Case &c : cases) {
    RegEditCommand command;
    const auto problem = parseRegEditCommand(c.args, command);
    EXPECT_FALSE(problem) << c.args.front() << ": " << problem.value_or("");
    EXPECT_EQ(command.action, c.action) << c.args.front();
    EXPECT_EQ(command.files, c.files) << c.args.front();
    EXPECT_EQ(command.key, c.key) << c.args.front();
  }
  const std::vector<std::vector<std::string>> bad = {
      {}, {"/s"}, {"/e"}, {"/x", "a.reg"}, {"/e", "a.reg", "HKEY_USERS", "extra"}};
  for (const auto &args : bad) {
    RegEditCommand command;
    EXPECT_TRUE(parseRegEditCommand(args, command)) << args.size();
  }
}

TEST_F(RegEditCommandTest, ExportThenImportRestoresARoot) {
  setRaw(*m_registry, platform::HKEY_CURRENT_USER, "Software\\App", "v", platform::regtype::Sz,
         sz(u"kept"));
  Outcome exported = run({"/e", path("HKEY_CURRENT_USER.reg"), "HKEY_CURRENT_USER"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.err, "");

  m_registry = platform::makeMemoryRegistry();
  Outcome imported = run({"/s", "/i", path("HKEY_CURRENT_USER.reg")});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(getRaw(*m_registry, platform::HKEY_CURRENT_USER, "Software\\App", "v").data,
            sz(u"kept"));
}

TEST_F(RegEditCommandTest, WindowsPathsAndStandardStreams) {
  setRaw(*m_registry, platform::HKEY_LOCAL_MACHINE, "Software\\W", "n", platform::regtype::Dword,
         bytes({5, 0, 0, 0}));
  Outcome toDrive = run({"/e", "C:\\w.reg", "HKEY_LOCAL_MACHINE\\Software\\W"});
  ASSERT_EQ(toDrive.status, 0) << toDrive.err;
  Outcome toStdout = run({"/e", "-", "HKEY_LOCAL_MACHINE\\Software\\W"});
  ASSERT_EQ(toStdout.status, 0) << toStdout.err;
  std::ifstream in(path("w.reg"), std::ios::binary);
  const std::string onDrive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(toStdout.out, onDrive);
  EXPECT_NE(textOfUtf16File(onDrive).find("\"n\"=dword:00000005"), std::string::npos);

  Outcome unmapped = run({"/e", "D:\\x.reg", "HKEY_LOCAL_MACHINE"});
  EXPECT_EQ(unmapped.status, 1);
  EXPECT_NE(unmapped.err.find("D:\\x.reg"), std::string::npos);

  Outcome fromStdin = run({"/s", "-"}, "REGEDIT4\n[HKEY_CURRENT_USER\\In]\n\"s\"=\"stdin\"\n");
  ASSERT_EQ(fromStdin.status, 0) << fromStdin.err;
  EXPECT_EQ(getRaw(*m_registry, platform::HKEY_CURRENT_USER, "In", "s").data, sz(u"stdin"));
}

TEST_F(RegEditCommandTest, RefusalsNameTheFileAndLeaveTheRegistryAlone) {
  std::ofstream(path("bad.reg")) << "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"ok\"\n\"t\"=bad\n";
  Outcome damaged = run({"/s", path("bad.reg")});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find(path("bad.reg") + ": line 4: "), std::string::npos) << damaged.err;
  EXPECT_FALSE(keyExists(*m_registry, platform::HKEY_CURRENT_USER, "A"));

  Outcome missing = run({"/s", path("missing.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(path("missing.reg")), std::string::npos);

  std::ofstream(path("good.reg")) << "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n";
  m_readOnlyReason = "a wineserver runs for the prefix";
  Outcome readOnly = run({"/s", path("good.reg")});
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_NE(readOnly.err.find("a wineserver runs for the prefix"), std::string::npos);
  EXPECT_FALSE(keyExists(*m_registry, platform::HKEY_CURRENT_USER, "A"));

  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("/e FILE"), std::string::npos);
}

// The editor loads no more of the registry than a run needs: the root it exports, the roots a
// file it imports names (learned by reading the file whole before anything changes).
TEST_F(RegEditCommandTest, AsksOnlyForTheRootsARunUses) {
  using platform::RegKey;
  std::vector<std::vector<RegKey>> asked;
  std::optional<std::string> refusal;
  m_load = [&](const std::vector<RegKey> &roots) {
    asked.push_back(roots);
    return refusal;
  };
  auto askedFor = [&](const std::vector<std::string> &args) {
    asked.clear();
    const Outcome outcome = run(args);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return asked.size() == 1 ? asked.front() : std::vector<RegKey>{0xBAD};
  };
  EXPECT_EQ(askedFor({"/e", path("u.reg"), "HKEY_CURRENT_USER"}), std::vector<RegKey>{platform::HKEY_CURRENT_USER});
  EXPECT_EQ(askedFor({"/e", "-", "hkey_classes_root"}), std::vector<RegKey>{platform::HKEY_CLASSES_ROOT});
  EXPECT_EQ(askedFor({"/e", path("all.reg")}),
            (std::vector<RegKey>{platform::HKEY_LOCAL_MACHINE, platform::HKEY_USERS}));
  std::ofstream(path("two.reg")) << "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"x\"\n"
                                    "[-HKEY_LOCAL_MACHINE\\B]\n[HKEY_CURRENT_USER\\C]\n";
  EXPECT_EQ(askedFor({"/s", path("two.reg")}),
            (std::vector<RegKey>{platform::HKEY_CURRENT_USER, platform::HKEY_LOCAL_MACHINE}));
  EXPECT_EQ(getRaw(*m_registry, platform::HKEY_CURRENT_USER, "A", "s").data, sz(u"x"));

  // A damaged file is refused before the registry is loaded at all.
  std::ofstream(path("bad.reg")) << "REGEDIT4\n[HKEY_CURRENT_USER\\D]\n\"t\"=bad\n";
  asked.clear();
  EXPECT_EQ(run({"/s", path("bad.reg")}).status, 1);
  EXPECT_TRUE(asked.empty());

  // A registry that cannot be loaded is named and nothing is changed.
  refusal = "cannot open the Wine prefix /nowhere: no such folder";
  std::ofstream(path("new.reg")) << "REGEDIT4\n[HKEY_CURRENT_USER\\E]\n";
  Outcome refused = run({"/s", path("new.reg")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("tidewell-regedit: cannot open the Wine prefix /nowhere: no such folder"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(keyExists(*m_registry, platform::HKEY_CURRENT_USER, "E"));
  EXPECT_EQ(run({"/e", path("u.reg"), "HKEY_CURRENT_USER"}).status, 1);
}
