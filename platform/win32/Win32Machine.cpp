#include "platform/OpenMachine.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/Process.h"
#include "platform/RegistryApi.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32ProcessLauncher.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SystemInfo.h"

namespace tw::platform {

namespace {

class RunningWindows final : public Machine {
public:
  RunningWindows()
      : m_registry(makeWin32Registry()), m_files(makeWin32FileSystem()), m_system(makeWin32SystemInfo()),
        m_processes(makeWin32ProcessLauncher(*m_system)) {}

  RegistryApi &registry() override { return *m_registry; }
  FileSystem &files() override { return *m_files; }
  SystemInfo &system() override { return *m_system; }
  ProcessLauncher &processes() override { return *m_processes; }

private:
  std::unique_ptr<RegistryApi> m_registry;
  std::unique_ptr<FileSystem> m_files;
  std::unique_ptr<SystemInfo> m_system;
  std::unique_ptr<ProcessLauncher> m_processes;
};

} // namespace

// On Windows the program works on the system it runs on; there is no prefix to name.
std::string defaultPrefixDir() { return {}; }

// The running system's registry is reached key by key: there are no files to leave out, so
// the options change nothing.
std::unique_ptr<Machine> openMachine(const std::string &location, PrefixOpenResult &result,
                                     const MachineOptions &) {
  result = PrefixOpenResult{};
  result.prefixDir = location;
  if (!location.empty()) {
    result.status = PrefixOpenResult::Status::NotAPrefix;
    result.message = "cannot open " + location +
                     ": on Windows the program works on the running system; Wine prefixes are opened on Linux";
    return nullptr;
  }
  result.status = PrefixOpenResult::Status::Ok;
  return std::make_unique<RunningWindows>();
}

} // namespace tw::platform
