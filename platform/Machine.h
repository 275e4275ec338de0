#pragma once
// The Windows machine the program works on: its registry, files, system facts and processes.
// One machine is installed for the process at start-up (the Wine prefix, or a test machine);
// the registry layer and everything above reach the platform only through machine(), which
// gives the machine of the action running on the calling thread: an action that works on
// another machine (a second prefix, a test's) says so with a MachineScope for its duration.

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

/// The machine of the calling thread's action: the innermost MachineScope's, otherwise the
/// one installed for the process. Asserts that there is one.
Machine &machine();
/// Installs `m` as the process's machine (replacing and destroying any earlier one) and
/// returns it. Not thread-safe: call before any worker starts.
Machine &installMachine(std::unique_ptr<Machine> m);
/// True when machine() has a machine to give.
bool hasMachine();

/// Makes `m` the machine of every registry object, path guess and file test made on this
/// thread until the scope ends; scopes nest. A worker that serves such an action opens a scope
/// of its own on its thread. `m` must outlive the scope.
class MachineScope {
public:
  explicit MachineScope(Machine &m);
  ~MachineScope();
  MachineScope(const MachineScope &) = delete;
  MachineScope &operator=(const MachineScope &) = delete;

private:
  Machine *m_outer;
};

} // namespace tw::platform
