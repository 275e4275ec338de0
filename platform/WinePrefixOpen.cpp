#include "platform/WinePrefix.h"

#include "platform/Machine.h"
#include "platform/WineRegistry.h"

#include <sys/stat.h>

namespace tw::platform {

static bool isFolder(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static bool exists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<Machine> openWinePrefix(const std::string &prefixDir, PrefixOpenResult &result,
                                        const MachineOptions &options) {
  result = PrefixOpenResult{};
  result.prefixDir = prefixDir;
  if (!isFolder(prefixDir)) {
    result.status = PrefixOpenResult::Status::PrefixMissing;
    result.message = "cannot open the Wine prefix " + prefixDir + ": " +
                     (exists(prefixDir) ? "it is not a folder" : "no such folder");
    return nullptr;
  }
  if (!exists(prefixDir + "/system.reg") && !exists(prefixDir + "/user.reg")) {
    result.status = PrefixOpenResult::Status::NotAPrefix;
    result.message = "cannot open the Wine prefix " + prefixDir +
                     ": it holds no registry files (system.reg, user.reg); run wineboot to make one";
    return nullptr;
  }

  // The registry itself finds a running wineserver and opens read-only then, saying why.
  RegistryLoadResult load;
  auto registry = openWineRegistry(prefixDir, load, {}, options.registryRoots);
  if (!registry) {
    result.status = PrefixOpenResult::Status::RegistryUnreadable;
    result.message = "cannot open the registry of the Wine prefix " + prefixDir + ": " + load.description();
    return nullptr;
  }
  result.readOnlyReason = registry->readOnlyReason();
  result.status = PrefixOpenResult::Status::Ok;
  return makeMachine(prefixDir, std::move(registry));
}

} // namespace tw::platform
