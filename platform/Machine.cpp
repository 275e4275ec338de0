#include "platform/Machine.h"

#include <cassert>

namespace tw::platform {

static std::unique_ptr<Machine> &installedMachine() {
  static std::unique_ptr<Machine> instance;
  return instance;
}

Machine &machine() {
  assert(installedMachine() && "no machine installed: call installMachine at start-up");
  return *installedMachine();
}

Machine &installMachine(std::unique_ptr<Machine> m) {
  assert(m && "installMachine needs a machine");
  installedMachine() = std::move(m);
  return *installedMachine();
}

bool hasMachine() { return static_cast<bool>(installedMachine()); }

} // namespace tw::platform
