#include "app/Autorun.h"

#include "platform/Machine.h"
#include "platform/SystemInfo.h"
#include "registry/RegistryAccess.h"

namespace tw::app {

std::string autorunCommand() { return platform::machine().system().moduleFileName(); }

bool IsAutorunEnabled() {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  // Only read: asking changes nothing in the registry (a missing Run key stays missing), and a
  // registry that may only be read still tells whether the program is registered.
  if (!registry.OpenRegKeyForRead(AutorunKeyPath)) return false;
  // A value of another type reads as "not registered" rather than failing the start-up.
  const RegDataKind kind = registry.ValueKind(AutorunValueName);
  if (kind != RegDataKind::String && kind != RegDataKind::ExpandString) return false;
  return registry.ReadText(AutorunValueName) == autorunCommand();
}

void SetAutorun(bool on) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  const bool opened = registry.OpenRegKey(AutorunKeyPath, /*canCreate=*/true);
  if (on) {
    // With no key open the write fails, which reports the value that could not be set.
    registry.WriteText(AutorunValueName, autorunCommand());
    return;
  }
  if (opened) registry.DeleteNamedValue(AutorunValueName);
}

} // namespace tw::app
