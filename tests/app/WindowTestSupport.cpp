#include "WindowTestSupport.h"

#include "registry/regfile/RegFileImport.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/WinePrefix.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

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

// Registry files as a fresh 64-bit prefix has them before anything is written.
static void writeEmptyRegistryFiles(const fs::path &prefix) {
  TestMachine::writeFile(prefix / "system.reg",
                         "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n");
  TestMachine::writeFile(prefix / "user.reg",
                         "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
  TestMachine::writeFile(prefix / "userdef.reg",
                         "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\.Default\n\n#arch=win64\n");
}

TestMachine::TestMachine(RegistryKind kind) : m_previousCurrent(fs::current_path()) {
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
  if (kind == RegistryKind::WineFiles) {
    writeEmptyRegistryFiles(m_prefix);
    if (const std::string problem = reopenPrefix(); !problem.empty()) qFatal("test prefix: %s", problem.c_str());
  } else {
    platform::installMachine(platform::makeMachine(m_prefix.string(), platform::makeMemoryRegistry()));
  }
  importReg(BaseRegistry);
}

std::string TestMachine::reopenPrefix() {
  platform::PrefixOpenResult opened;
  std::unique_ptr<platform::Machine> machine = platform::openWinePrefix(m_prefix.string(), opened);
  if (!machine) return "cannot open: " + opened.description();
  platform::installMachine(std::move(machine));
  return opened.readOnlyReason;
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

static QProcessEnvironment environmentFor(const fs::path &prefix) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(prefix.string()));
  return environment;
}

/// Runs "wineserver ARGUMENT" for the prefix and waits for it to return (a persistent server
/// goes on running in the background).
static bool runWineServer(const fs::path &prefix, const QString &argument) {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("wineserver"));
  if (program.isEmpty()) return false;
  QProcess process;
  process.setProcessEnvironment(environmentFor(prefix));
  process.start(program, {argument});
  return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

RunningWineServer::RunningWineServer(const fs::path &prefix) : m_prefix(prefix) {
  // Persistent for a minute at most, should the test never get to stop it.
  m_started = runWineServer(prefix, QStringLiteral("-p60"));
}

RunningWineServer::~RunningWineServer() {
  if (m_started) runWineServer(m_prefix, QStringLiteral("-k"));
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
