#include "ScanTestSupport.h"

#include "tests/support/ScratchMachine.h"

#include "registry/regfile/RegFileImport.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "scan/ScanContext.h"
#include "scan/ScanLists.h"

#include <fstream>

namespace tw::scan::test {

namespace fs = std::filesystem;

const char *const BaseRegistry =
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
    "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"CurrentVersion\"=\"5.1\"\n"
    "\"CurrentBuildNumber\"=\"2600\"\n"
    "\"CSDVersion\"=\"Service Pack 3\"\n"
    "\"ProductName\"=\"Microsoft Windows XP\"\n";

std::string rowText(std::string_view type, std::string_view key, std::string_view value,
                    std::string_view guess) {
  std::string text;
  text.append(type).append("|").append(key).append("|").append(value).append("|").append(guess);
  return text;
}

std::vector<std::string> ScanRecord::rows() const {
  std::vector<std::string> texts;
  for (int i = 0; i < errors.count(); ++i) {
    const lists::Row &row = errors.row(i);
    texts.push_back(rowText(row.caption, row.subItem(KeyNameSubItem), row.subItem(KeyValueSubItem),
                            row.subItem(GuessPathSubItem)));
  }
  return texts;
}

std::string ScanRecord::count(ScanGroupIndex index) const {
  return groups.row(static_cast<int>(index)).subItem(GroupCountSubItem);
}

void ScanTest::SetUp() {
  m_prefix = tw::test::makeScratchFolder("scan-test");
  fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
  fs::create_directories(m_prefix / "drive_c" / "windows" / "Fonts");
  fs::create_directories(m_prefix / "drive_c" / "Program Files");
  platform::installMachine(tw::test::makeScratchMachine(m_prefix, platform::makeMemoryRegistry()));
  importReg(BaseRegistry);
}

void ScanTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(m_prefix, ignored);
}

void ScanTest::importReg(std::string_view body) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  text.append(body);
  regedit::RegFileResult result = regedit::importRegText(platform::machine().registry(), text, "test.reg");
  ASSERT_TRUE(result) << result.description();
}

fs::path ScanTest::hostPathOf(std::string_view windowsPath) const {
  EXPECT_TRUE(windowsPath.size() >= 3 && (windowsPath[0] == 'C' || windowsPath[0] == 'c') &&
              windowsPath.substr(1, 2) == ":\\")
      << windowsPath;
  fs::path path = m_prefix / "drive_c";
  std::string_view rest = windowsPath.substr(3);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    // The name is UTF-8, as the registry's texts are; a Windows host names files in UTF-16.
    const std::string_view name = rest.substr(0, slash);
    path /= std::u8string(name.begin(), name.end());
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return path;
}

void ScanTest::createFile(std::string_view windowsPath) {
  const fs::path path = hostPathOf(windowsPath);
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
  ASSERT_TRUE(fs::is_regular_file(path)) << path;
}

void ScanTest::createFolder(std::string_view windowsPath) {
  fs::create_directories(hostPathOf(windowsPath));
}

namespace {
/// The list session, calling the test's hook after every update the scan makes.
class HookedSession : public ListScanSession {
public:
  HookedSession(ScanRecord &record, std::function<void(ListScanSession &, ScanRecord &)> hook)
      : ListScanSession(record.groups, record.errors), m_record(record), m_hook(std::move(hook)) {}

  void showStatus(const std::string &text) override {
    ListScanSession::showStatus(text);
    m_record.statusTexts.push_back(text);
    afterUpdate();
  }
  void setGroupErrorCount(int groupIndex, const std::string &text) override {
    ListScanSession::setGroupErrorCount(groupIndex, text);
    m_record.countWrites.push_back(groupIndex);
    afterUpdate();
  }
  void appendErrorRow(ErrorRow row) override {
    ListScanSession::appendErrorRow(std::move(row));
    afterUpdate();
  }

private:
  ScanRecord &m_record;
  std::function<void(ListScanSession &, ScanRecord &)> m_hook;

  void afterUpdate() {
    if (m_hook) m_hook(*this, m_record);
  }
};
} // namespace

ScanRecord ScanTest::scan(std::vector<ScanGroupIndex> groups,
                          std::function<void(ListScanSession &, ScanRecord &)> hook) {
  ScanRecord record;
  rebuildScanGroupList(record.groups);
  record.groups.setAllChecked(false);
  for (ScanGroupIndex group : groups) record.groups.setChecked(static_cast<int>(group), true);
  HookedSession session(record, std::move(hook));
  session.setIgnoreList(m_ignore);
  record.result = runScanBody(session);
  return record;
}

ScanRecord ScanTest::runScanner(ScannerFunction scanner,
                                std::function<void(ListScanSession &, ScanRecord &)> hook) {
  ScanRecord record;
  rebuildScanGroupList(record.groups);
  HookedSession session(record, std::move(hook));
  session.setIgnoreList(m_ignore);
  ScanContext context(session);
  scanner(context);
  return record;
}

} // namespace tw::scan::test
