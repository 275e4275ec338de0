#pragma once
// The Windows machine the program works on: its registry, files, system facts and processes.
// One machine is installed for the process at start-up (the Wine prefix, or a test machine);
// the registry layer and everything above reach the platform only through it.

#include <memory>

namespace tw::platform {

class RegistryApi;
class FileSystem;
class SystemInfo;
class ProcessLauncher;

class Machine {
public:
  virtual ~Machine() = default;
  virtual RegistryApi &registry() = 0;
  virtual FileSystem &files() = 0;
  virtual SystemInfo &system() = 0;
  virtual ProcessLauncher &processes() = 0;
};

/// The machine installed for the process. Asserts that one is installed.
Machine &machine();
/// Installs `m` as the process's machine (replacing and destroying any earlier one) and
/// returns it. Not thread-safe: call before any worker starts.
Machine &installMachine(std::unique_ptr<Machine> m);
/// True when a machine is installed.
bool hasMachine();

} // namespace tw::platform
