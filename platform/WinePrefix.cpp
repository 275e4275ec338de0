#include "platform/WinePrefix.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "platform/files/WineFileSystem.h"
#include "platform/process/WineProcessLauncher.h"
#include "platform/system/WineSystemInfo.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tw::platform {

namespace {

class WinePrefixMachine final : public Machine {
public:
  WinePrefixMachine(const std::string &prefixDir, std::unique_ptr<RegistryApi> registry)
      : m_registry(std::move(registry)), m_files(prefixDir, m_registry->hasTwoViews()), m_system(*m_registry, m_files),
        m_processes(m_files, m_system) {}

  RegistryApi &registry() override { return *m_registry; }
  FileSystem &files() override { return m_files; }
  SystemInfo &system() override { return m_system; }
  ProcessLauncher &processes() override { return m_processes; }

private:
  std::unique_ptr<RegistryApi> m_registry;
  WineFileSystem m_files;
  WineSystemInfo m_system;
  WineProcessLauncher m_processes;
};

} // namespace

std::string defaultPrefixDir() {
  std::string dir;
  if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix) {
    dir = prefix;
  } else {
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
      const struct passwd *pw = ::getpwuid(::getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "";
    }
    dir = std::string(home) + "/.wine";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::unique_ptr<Machine> makeMachine(const std::string &prefixDir, std::unique_ptr<RegistryApi> registry) {
  return std::make_unique<WinePrefixMachine>(prefixDir, std::move(registry));
}

} // namespace tw::platform
