#include "TestMachine.h"

#include "tests/support/ScratchMachine.h"

#include "registry/regfile/RegFileImport.h"

#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tw::test {

namespace fs = std::filesystem;

namespace {

// The prefix's own system facts, except for the folders and the version the test chooses.
class ChosenSystemInfo : public platform::SystemInfo {
public:
  explicit ChosenSystemInfo(platform::SystemInfo &prefix) : m_prefix(prefix) {}
  TestMachine::Facts facts;

  std::string systemDirectory() const override { return facts.systemDirectory; }
  std::string windowsDirectory() const override {
    auto slash = facts.systemDirectory.rfind('\\');
    return facts.systemDirectory.substr(0, slash);
  }
  std::string tempPath() const override { return m_prefix.tempPath(); }
  std::optional<platform::VersionRecord> version() const override { return facts.version; }
  std::string moduleFileName() const override { return m_prefix.moduleFileName(); }
  std::string programFolder() const override { return m_prefix.programFolder(); }

private:
  platform::SystemInfo &m_prefix;
};

class ChosenMachine : public platform::Machine {
public:
  explicit ChosenMachine(std::unique_ptr<platform::Machine> prefix)
      : m_prefix(std::move(prefix)), m_system(m_prefix->system()) {}
  platform::RegistryApi &registry() override { return m_prefix->registry(); }
  platform::FileSystem &files() override { return m_prefix->files(); }
  platform::SystemInfo &system() override { return m_system; }
  platform::ProcessLauncher &processes() override { return m_prefix->processes(); }
  ChosenSystemInfo &chosenSystem() { return m_system; }

private:
  std::unique_ptr<platform::Machine> m_prefix;
  ChosenSystemInfo m_system;
};

/// The host path of a path below drive C:, with the folder names as the test wrote them.
std::string hostPathOnDriveC(const std::string &prefixDir, std::string_view windowsPath) {
  if (windowsPath.size() < 3 || windowsPath.substr(1, 2) != ":\\")
    throw std::invalid_argument("test files must be on drive C:");
  std::string rest(windowsPath.substr(3));
  for (char &c : rest)
    if (c == '\\') c = '/';
  return prefixDir + "/drive_c/" + rest;
}

} // namespace

TestMachine::TestMachine() {
  m_prefixDir = makeScratchFolder("registry-test").string();
  fs::create_directories(m_prefixDir + "/drive_c/WINDOWS/system32");

  auto machine =
      std::make_unique<ChosenMachine>(makeScratchMachine(m_prefixDir, platform::makeMemoryRegistry()));
  m_facts = &machine->chosenSystem().facts;
  platform::installMachine(std::move(machine));
}

TestMachine::~TestMachine() {
  std::error_code ec;
  fs::remove_all(m_prefixDir, ec);
}

platform::RegistryApi &TestMachine::registry() { return platform::machine().registry(); }

void TestMachine::createFile(std::string_view windowsPath) {
  fs::path host = hostPathOnDriveC(m_prefixDir, windowsPath);
  fs::create_directories(host.parent_path());
  std::ofstream(host).put('\n');
}

void TestMachine::setSystemDirectory(std::string folder) { m_facts->systemDirectory = std::move(folder); }

void TestMachine::setVersion(std::optional<platform::VersionRecord> version) {
  m_facts->version = version;
}

void TestMachine::importReg(std::string_view regText) {
  std::string text = "Windows Registry Editor Version 5.00\n\n" + std::string(regText);
  regedit::RegFileResult result = regedit::importRegText(registry(), text, "fixture.reg");
  if (!result) throw std::runtime_error(result.description());
}

void TestMachine::setRawValue(std::uint32_t root, std::string_view keyPath, std::string_view name,
                              std::uint32_t type, const std::vector<std::uint8_t> &data) {
  platform::RegKey key = 0;
  if (registry().createKey(root, keyPath, platform::access::KeyAllAccess, key) != 0)
    throw std::runtime_error("cannot create the test key");
  long status = registry().setValue(key, name, type, data.data(), data.size());
  registry().closeKey(key);
  if (status != 0) throw std::runtime_error("cannot set the test value");
}

std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>>
TestMachine::rawValue(std::uint32_t root, std::string_view keyPath, std::string_view name) {
  platform::RegKey key = 0;
  if (registry().openKey(root, keyPath, platform::access::KeyRead, key) != 0) return std::nullopt;
  platform::RegValue value;
  long status = registry().queryValue(key, name, value);
  registry().closeKey(key);
  if (status != 0) return std::nullopt;
  return std::make_pair(value.type, std::move(value.data));
}

bool TestMachine::keyExists(std::uint32_t root, std::string_view keyPath) {
  platform::RegKey key = 0;
  if (registry().openKey(root, keyPath, platform::access::KeyRead, key) != 0) return false;
  registry().closeKey(key);
  return true;
}

std::vector<std::uint8_t> textBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

} // namespace tw::test
