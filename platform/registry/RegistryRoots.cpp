#include "platform/registry/RegistryRoots.h"

#include <string>

namespace tw::platform::detail {

RootKeys makeRootKeys(RegistryStore &store, std::string_view userSid) {
  RootKeys roots;
  roots.localMachine = ensureKeyPath(store, "Machine");
  roots.users = ensureKeyPath(store, "User");
  ensureKeyPath(store, "User\\.Default");
  roots.currentUser = ensureKeyPath(store, std::string("User\\") + std::string(userSid));
  roots.classesRoot = ensureKeyPath(store, "Machine\\Software\\Classes");
  roots.currentConfig = ensureKeyPath(store, "Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current");
  roots.dynData = ensureKeyPath(store, "DynData");
  return roots;
}

} // namespace tw::platform::detail
