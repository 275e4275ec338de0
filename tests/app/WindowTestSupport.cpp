#include "WindowTestSupport.h"

#include "cli/tidewell-regedit/RegFileImport.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/WinePrefix.h"

#include <fstream>
#include <random>
#include <sstream>

namespace tw::test {

namespace fs = std::filesystem;

// The facts a scan asks the registry for: the Program Files folder and the Windows version.
static const char *const BaseRegistry =
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
    "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"CurrentVersion\"=\"5.1\"\n"
    "\"CurrentBuildNumber\"=\"2600\"\n"
    "\"ProductName\"=\"Microsoft Windows XP\"\n";

TestMachine::TestMachine() : m_previousCurrent(fs::current_path()) {
  std::random_device random;
  m_root = fs::temp_directory_path() / ("tw-app-test-" + std::to_string(random()));
  m_prefix = m_root / "prefix";
  m_current = m_root / "current";
  fs::create_directories(m_prefix / "dosdevices");
  fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
  fs::create_directories(m_prefix / "drive_c" / "Program Files");
  fs::create_directories(m_current);
  fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
  fs::create_directory_symlink("/", m_prefix / "dosdevices" / "z:");
  fs::current_path(m_current);
  platform::installMachine(platform::makeMachine(m_prefix.string(), platform::makeMemoryRegistry()));
  importReg(BaseRegistry);
}

TestMachine::~TestMachine() {
  std::error_code ignored;
  fs::current_path(m_previousCurrent, ignored);
  fs::remove_all(m_root, ignored);
}

bool TestMachine::importReg(std::string_view body, std::string *error) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  text.append(body);
  const regedit::RegFileResult result =
      regedit::importRegText(platform::machine().registry(), text, "test.reg");
  if (!result && error) *error = result.description();
  return static_cast<bool>(result);
}

fs::path TestMachine::programFolder() const {
  return m_prefix / "drive_c" / "ProgramData" / "Tidewell Registry Cleaner 2006";
}

void TestMachine::writeFile(const fs::path &path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string TestMachine::readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace tw::test
