#include "platform/Machine.h"

#include "platform/OpenMachine.h"

#include <cassert>

namespace tw::platform {

static std::unique_ptr<Machine> &installedMachine() {
  static std::unique_ptr<Machine> instance;
  return instance;
}

// The machine of the action running on this thread, when one said so.
static thread_local Machine *scopedMachine = nullptr;

Machine &machine() {
  if (scopedMachine) return *scopedMachine;
  assert(installedMachine() && "no machine installed: call installMachine at start-up");
  return *installedMachine();
}

MachineScope::MachineScope(Machine &m) : m_outer(scopedMachine) { scopedMachine = &m; }
MachineScope::~MachineScope() { scopedMachine = m_outer; }

Machine &installMachine(std::unique_ptr<Machine> m) {
  assert(m && "installMachine needs a machine");
  installedMachine() = std::move(m);
  return *installedMachine();
}

bool hasMachine() { return scopedMachine || installedMachine(); }

std::string PrefixOpenResult::description() const {
  switch (status) {
  case Status::Ok: {
    if (prefixDir.empty()) return readOnlyReason.empty() ? "opened the running system" : "opened the running system read-only: " + readOnlyReason;
    if (!readOnlyReason.empty()) return "opened " + prefixDir + " read-only: " + readOnlyReason;
    return "opened " + prefixDir;
  }
  case Status::PrefixMissing:
  case Status::NotAPrefix:
  case Status::RegistryUnreadable:
    return message;
  }
  return message;
}

} // namespace tw::platform
