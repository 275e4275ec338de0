// The scratch machine of the tests as a Windows program: the system's own files and processes,
// with drive C: mapped onto the scratch folder's drive_c, so that a test's
// "C:\WINDOWS\rundll32.exe" is the file it made there and nothing of the system running the
// test is seen or changed; and the system facts a Wine prefix with the machine's registry
// reports (its version and environment come from that registry), as on Linux.
#include "tests/support/ScratchMachine.h"

#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32ProcessLauncher.h"
#include "platform/system/WineEnvironment.h"
#include "platform/system/WineVersion.h"
#include "platform/win32/Win32SystemInfo.h"

#include <cctype>

namespace tw::test {

namespace {

using namespace platform;

bool onDriveC(std::string_view path) {
  return path.size() >= 2 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
         (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

bool startsWithFolder(std::string_view path, std::string_view folder) {
  if (path.size() < folder.size()) return false;
  for (std::size_t i = 0; i < folder.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(folder[i])))
      return false;
  return path.size() == folder.size() || path[folder.size()] == '\\';
}

class MappedDriveFileSystem final : public FileSystem {
public:
  explicit MappedDriveFileSystem(std::string driveRoot)
      : m_root(std::move(driveRoot)), m_inner(makeWin32FileSystem()) {}

  /// The system's path of a path on the mapped drive C:; other paths stay as they are.
  std::string real(std::string_view path) const {
    if (!onDriveC(path)) return std::string(path);
    std::string rest(path.substr(2));
    if (rest.empty()) rest = "\\";
    return m_root + rest;
  }

  std::optional<std::string> hostPath(std::string_view windowsPath, bool mustExist) const override {
    return m_inner->hostPath(real(windowsPath), mustExist);
  }
  std::unique_ptr<FileFinder> findFiles(std::string_view pattern) const override {
    return m_inner->findFiles(real(pattern));
  }
  std::optional<std::uint32_t> attributes(std::string_view windowsPath) const override {
    return m_inner->attributes(real(windowsPath));
  }
  bool fileExists(std::string_view windowsPath) const override { return m_inner->fileExists(real(windowsPath)); }
  bool directoryExists(std::string_view windowsPath) const override {
    return m_inner->directoryExists(real(windowsPath));
  }
  bool deleteFile(std::string_view windowsPath) override { return m_inner->deleteFile(real(windowsPath)); }
  bool deleteFileInside(std::string_view folder, std::string_view windowsPath) override {
    return m_inner->deleteFileInside(real(folder), real(windowsPath));
  }
  bool createDirectory(std::string_view windowsPath) override {
    return m_inner->createDirectory(real(windowsPath));
  }
  bool removeDirectory(std::string_view windowsPath) override {
    return m_inner->removeDirectory(real(windowsPath));
  }
  std::string currentDirectory() const override {
    std::string current = m_inner->currentDirectory();
    if (!startsWithFolder(current, m_root)) return current;
    return current.size() == m_root.size() ? std::string("C:\\") : "C:" + current.substr(m_root.size());
  }
  bool setCurrentDirectory(std::string_view windowsPath) override {
    return m_inner->setCurrentDirectory(real(windowsPath));
  }

private:
  std::string m_root; // the system's path of drive C:, no trailing backslash
  std::unique_ptr<FileSystem> m_inner;
};

// The folders of a Wine prefix, and the version and environment its registry gives; the
// program's own path from the running system.
class MappedDriveSystemInfo final : public SystemInfo {
public:
  MappedDriveSystemInfo(RegistryApi &registry, FileSystem &files)
      : m_registry(registry), m_files(files), m_inner(makeWin32SystemInfo()) {}

  std::string systemDirectory() const override { return "C:\\windows\\system32"; }
  std::string windowsDirectory() const override { return "C:\\windows"; }
  std::string tempPath() const override {
    const WineEnvironment environment = WineEnvironment::fromRegistry(m_registry, "user");
    std::string path = windowsDirectory();
    for (const char *name : {"TMP", "TEMP", "USERPROFILE"})
      if (auto value = environment.get(name); value && !value->empty()) {
        path = *value;
        break;
      }
    return path.back() == '\\' ? path : path + '\\';
  }
  std::optional<VersionRecord> version() const override { return readWineVersion(m_registry, "test.exe"); }
  std::string moduleFileName() const override { return m_inner->moduleFileName(); }
  std::string programFolder() const override {
    const std::string folder = "C:\\ProgramData\\Tidewell Registry Cleaner 2006";
    if (!m_files.directoryExists(folder)) {
      m_files.createDirectory("C:\\ProgramData");
      m_files.createDirectory(folder);
    }
    return folder + "\\";
  }

private:
  RegistryApi &m_registry;
  FileSystem &m_files;
  std::unique_ptr<SystemInfo> m_inner;
};

class ScratchMachine final : public Machine {
public:
  ScratchMachine(std::string driveRoot, std::unique_ptr<RegistryApi> registry)
      : m_registry(std::move(registry)), m_files(std::move(driveRoot)), m_system(*m_registry, m_files),
        m_processes(makeWin32ProcessLauncher(m_system)) {}

  RegistryApi &registry() override { return *m_registry; }
  FileSystem &files() override { return m_files; }
  SystemInfo &system() override { return m_system; }
  ProcessLauncher &processes() override { return *m_processes; }

private:
  std::unique_ptr<RegistryApi> m_registry;
  MappedDriveFileSystem m_files;
  MappedDriveSystemInfo m_system;
  std::unique_ptr<ProcessLauncher> m_processes;
};

} // namespace

std::unique_ptr<Machine> makeScratchMachine(const std::filesystem::path &folder,
                                            std::unique_ptr<RegistryApi> registry) {
  std::filesystem::create_directories(folder / "drive_c" / "windows" / "temp");
  std::filesystem::path root = std::filesystem::absolute(folder / "drive_c");
  return std::make_unique<ScratchMachine>(root.make_preferred().string(), std::move(registry));
}

} // namespace tw::test
