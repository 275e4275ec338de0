// The startup manager without a window: which places are listed for which Windows, and moving
// entries between their active and disabled places, also when the registry refuses a step.

#include "tools/uStartup.h"

#include "RepairTestMachine.h"

#include "platform/RegistryApi.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

namespace tw::tools {
namespace {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;
using platform::regtype::ExpandSz;
using platform::regtype::Sz;

const std::string RunPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string Records = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg";

// The version record Wine keeps for Windows 7, and the entries of the three NT places.
constexpr const char *Windows7 = R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="6.1"
"CurrentBuildNumber"="7601"
)";
constexpr const char *NtEntries = R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"Zeta"="C:\\zeta.exe /tray"
"alpha"="C:\\alpha.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Mail"="\"C:\\Program Files\\Mail\\mail.exe\" -min"
"Env"=hex(2):25,00,50,00,46,00,25,00,5c,00,65,00,2e,00,65,00,78,00,65,00,00,00
[HKEY_LOCAL_MACHINE\Software\Microsoft\Shared Tools\MSConfig\startupreg\Old]
"command"="C:\\old.exe"
"hkey"="HKCU"
"inimapping"="0"
"item"="Old"
"key"="Software\\Microsoft\\Windows\\CurrentVersion\\Run"
)";

/// "caption|command|location|checked" of every row.
std::vector<std::string> rowsOf(const lists::CheckableList &list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &r = list.row(i);
    texts.push_back(r.caption + "|" + r.subItem(StartupCommandSubItem) + "|" + r.subItem(StartupLocationSubItem) +
                    "|" + (r.checked ? "1" : "0"));
  }
  return texts;
}

int rowNamed(const lists::CheckableList &list, std::string_view caption) {
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).caption == caption) return i;
  return -1;
}

class StartupTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  lists::CheckableList list;
  StartupStates states;

  void SetUp() override { machine.importReg(std::string(Windows7) + NtEntries); }

  void fill() { ASSERT_TRUE(fillStartupList(list, states, startupWindowsKind())); }
  repair::ActionResult apply() { return applyStartupChanges(list, states, startupWindowsKind()); }
  std::optional<std::string> text(std::uint32_t root, const std::string &key, const std::string &name) {
    auto v = machine.value(root, key, name);
    if (!v) return std::nullopt;
    return std::string(v->second.begin(), v->second.end() - 1);
  }
};

TEST(StartupKind, NtSixAndLaterUseTheNtFivePlaces) {
  using platform::VersionRecord;
  EXPECT_EQ(startupKindOf(VersionRecord{2, 6, 1, 7601}), 7);
  EXPECT_EQ(startupKindOf(VersionRecord{2, 10, 0, 19045}), 7);
  EXPECT_EQ(startupKindOf(VersionRecord{2, 5, 1, 2600}), 6);
  EXPECT_EQ(startupKindOf(VersionRecord{2, 4, 0, 1381}), 4);
  EXPECT_EQ(startupKindOf(VersionRecord{1, 4, 10, 0}), 2);
  EXPECT_EQ(startupKindOf(VersionRecord{2, 5, 3, 0}), 0);
  EXPECT_EQ(startupKindOf(VersionRecord{3, 6, 1, 0}), 0);
  EXPECT_EQ(startupKindOf(std::nullopt), 0);
}

TEST_F(StartupTest, ListsMachineRunUserRunThenRecordsOnWindows7) {
  fill();
  EXPECT_EQ(rowsOf(list), (std::vector<std::string>{
                              "Zeta|C:\\zeta.exe /tray|HKLM\\" + RunPath + "|1",
                              "alpha|C:\\alpha.exe|HKLM\\" + RunPath + "|1",
                              "Mail|\"C:\\Program Files\\Mail\\mail.exe\" -min|HKCU\\" + RunPath + "|1",
                              "Env|%PF%\\e.exe|HKCU\\" + RunPath + "|1",
                              "Old|C:\\old.exe|HKCU\\" + RunPath + "|0",
                          }));
  EXPECT_EQ(list.row(4).data, "Old");
  EXPECT_EQ(states, (StartupStates{true, true, true, true, false}));
}

TEST_F(StartupTest, UnknownWindowsListsNothingAndApplyChangesNothing) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="5.3"
)");
  ASSERT_EQ(startupWindowsKind(), 0);
  fill();
  EXPECT_EQ(list.count(), 0);
  EXPECT_TRUE(apply());
}

TEST_F(StartupTest, UserEntryDisabledAndEnabledComesBackUnderTheUserAsPlainText) {
  fill();
  const auto before = machine.dump(HKEY_CURRENT_USER, RunPath);
  list.setChecked(rowNamed(list, "Env"), false);
  list.setChecked(rowNamed(list, "Mail"), false);
  ASSERT_TRUE(startupChangesPending(list, states));
  repair::ActionResult result = apply();
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 2);
  EXPECT_FALSE(text(HKEY_CURRENT_USER, RunPath, "Mail"));
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Mail", "hkey"), "HKCU");
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Mail", "key"), RunPath);
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Mail", "item"), "Mail");
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Mail", "inimapping"), "0");
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Env", "command"), "%PF%\\e.exe");

  // Listed again: once each, at their new place.
  fill();
  ASSERT_EQ(list.count(), 5);
  EXPECT_EQ(rowsOf(list)[static_cast<std::size_t>(rowNamed(list, "Mail"))],
            "Mail|\"C:\\Program Files\\Mail\\mail.exe\" -min|HKCU\\" + RunPath + "|0");
  list.setChecked(rowNamed(list, "Mail"), true);
  list.setChecked(rowNamed(list, "Env"), true);
  result = apply();
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(text(HKEY_CURRENT_USER, RunPath, "Mail"), "\"C:\\Program Files\\Mail\\mail.exe\" -min");
  EXPECT_EQ(machine.value(HKEY_CURRENT_USER, RunPath, "Env")->first, Sz);
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Mail"));
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Env"));
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Old"));
  EXPECT_NE(before, machine.dump(HKEY_CURRENT_USER, RunPath)); // Env is now a plain string
}

TEST_F(StartupTest, NothingChangedTouchesNothing) {
  fill();
  // Any write would end in a flush, and every flush fails now.
  machine.setFlushFails(true);
  const int zeta = rowNamed(list, "Zeta");
  list.setChecked(zeta, false);
  list.setChecked(zeta, true);
  EXPECT_FALSE(startupChangesPending(list, states));
  repair::ActionResult result = apply();
  EXPECT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 0);
  EXPECT_TRUE(apply());
}

TEST_F(StartupTest, RecordThatCannotBeWrittenKeepsTheEntry) {
  fill();
  machine.refuseKeysNamed("startupreg\\Mail");
  list.setChecked(rowNamed(list, "Mail"), false);
  list.setChecked(rowNamed(list, "alpha"), false);
  repair::ActionResult result = apply();
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find("\"Mail\" in HKCU\\" + RunPath + " was not changed"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 1); // alpha moved
  EXPECT_TRUE(text(HKEY_CURRENT_USER, RunPath, "Mail"));
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Mail"));
  EXPECT_FALSE(text(HKEY_LOCAL_MACHINE, RunPath, "alpha"));
}

TEST_F(StartupTest, RegistryThatCannotBeSavedKeepsEveryEntryWhereItWas) {
  fill();
  const auto records = machine.dump(HKEY_LOCAL_MACHINE, Records);
  const auto userRun = machine.dump(HKEY_CURRENT_USER, RunPath);
  machine.setFlushFails(true);
  list.setChecked(rowNamed(list, "Mail"), false);
  list.setChecked(rowNamed(list, "Old"), true);
  repair::ActionResult result = apply();
  EXPECT_FALSE(result);
  EXPECT_EQ(result.status, repair::ActionResult::Status::RegistryNotSaved);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(machine.dump(HKEY_LOCAL_MACHINE, Records), records);
  EXPECT_EQ(machine.dump(HKEY_CURRENT_USER, RunPath), userRun);
}

TEST_F(StartupTest, OldPlaceThatCannotBeSavedLeavesTheEntryInBothPlaces) {
  fill();
  machine.setFlushesBeforeFailure(3); // the new places are saved, the removals are not
  list.setChecked(rowNamed(list, "Mail"), false);
  repair::ActionResult result = apply();
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find("both enabled and disabled"), std::string::npos) << result.message;
  EXPECT_TRUE(text(HKEY_CURRENT_USER, RunPath, "Mail"));
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Mail", "command"), "\"C:\\Program Files\\Mail\\mail.exe\" -min");
}

TEST_F(StartupTest, EntriesWithoutANameAreListedButNeverMoved) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
@="C:\\default.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Shared Tools\MSConfig\startupreg\Nameless]
"command"="C:\\nameless.exe"
"hkey"="HKLM"
"item"=""
"key"="Software\\Microsoft\\Windows\\CurrentVersion\\Run"
)");
  fill();
  const int unnamed = rowNamed(list, "");
  ASSERT_GE(unnamed, 0);
  EXPECT_EQ(list.row(unnamed).subItem(StartupCommandSubItem), "C:\\default.exe");
  const auto records = machine.dump(HKEY_LOCAL_MACHINE, Records);
  const auto machineRun = machine.dump(HKEY_LOCAL_MACHINE, RunPath);
  list.setChecked(unnamed, false);
  int record = -1;
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).data == "Nameless") record = i;
  ASSERT_GE(record, 0);
  list.setChecked(record, true);
  repair::ActionResult result = apply();
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find("without a name cannot be recorded"), std::string::npos) << result.message;
  EXPECT_EQ(machine.dump(HKEY_LOCAL_MACHINE, Records), records);
  EXPECT_EQ(machine.dump(HKEY_LOCAL_MACHINE, RunPath), machineRun);
  EXPECT_FALSE(SetStartupItemEnabled("", "C:\\x.exe", "HKLM\\" + RunPath, false, 7));
  EXPECT_EQ(machine.dump(HKEY_LOCAL_MACHINE, Records), records);
}

TEST_F(StartupTest, NameTakenAtTheNewPlaceMovesNothing) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Old"="C:\\new-old.exe"
)");
  fill();
  list.setChecked(rowNamed(list, "Old"), false); // the active Old: its record name is taken
  StartupChangeResult moved = SetStartupItemEnabled("Old", "C:\\new-old.exe", "HKCU\\" + RunPath, false, 7);
  EXPECT_EQ(moved.kind, StartupChangeKind::NotMoved);
  EXPECT_NE(moved.reason.find("already recorded"), std::string::npos);
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Records + "\\Old", "command"), "C:\\old.exe");
  moved = SetStartupItemEnabled("Old", "C:\\old.exe", "HKCU\\" + RunPath, true, 7);
  EXPECT_NE(moved.reason.find("already holds a value of that name"), std::string::npos);
  EXPECT_EQ(text(HKEY_CURRENT_USER, RunPath, "Old"), "C:\\new-old.exe");
}

TEST_F(StartupTest, EnablingRemovesTheRecordTheRowCameFrom) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Shared Tools\MSConfig\startupreg\Renamed key]
"command"="C:\\r.exe"
"hkey"="HKLM"
"inimapping"="0"
"item"="Renamed"
"key"="Software\\Microsoft\\Windows\\CurrentVersion\\Run"
)");
  fill();
  list.setChecked(rowNamed(list, "Renamed"), true);
  ASSERT_TRUE(apply());
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, RunPath, "Renamed"), "C:\\r.exe");
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Renamed key"));
}

TEST_F(StartupTest, ValueThatIsNotTextStopsTheListing) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Number"=dword:00000001
)");
  repair::ActionResult result = fillStartupList(list, states, startupWindowsKind());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.message, "Invalid data type for 'Number'");
  EXPECT_EQ(list.count(), 4); // HKLM's two, then Mail and Env before Number
  EXPECT_EQ(states.size(), 4u);
}

TEST_F(StartupTest, NineXFamilyMovesValuesToTheMinusKeyAndBack) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Wine]
"Version"="win98"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunServices]
"Svc"="C:\\svc.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run-]
"Off"="C:\\off.exe"
)");
  ASSERT_EQ(startupWindowsKind(), 2);
  fill();
  EXPECT_EQ(rowsOf(list), (std::vector<std::string>{
                              "Zeta|C:\\zeta.exe /tray|HKLM\\" + RunPath + "|1",
                              "alpha|C:\\alpha.exe|HKLM\\" + RunPath + "|1",
                              "Svc|C:\\svc.exe|HKLM\\" + RunPath + "Services|1",
                              "Off|C:\\off.exe|HKLM\\" + RunPath + "-|0",
                          }));
  list.setChecked(2, false);
  list.setChecked(3, true);
  ASSERT_TRUE(apply());
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, RunPath + "Services-", "Svc"), "C:\\svc.exe");
  EXPECT_FALSE(text(HKEY_LOCAL_MACHINE, RunPath + "Services", "Svc"));
  EXPECT_EQ(text(HKEY_LOCAL_MACHINE, RunPath, "Off"), "C:\\off.exe");
  EXPECT_FALSE(text(HKEY_LOCAL_MACHINE, RunPath + "-", "Off"));
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Records + "\\Svc"));
}

} // namespace
} // namespace tw::tools
