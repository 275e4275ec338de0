#include "platform/OpenMachine.h"

#include "platform/Machine.h"
#include "platform/WinePrefix.h"

namespace tw::platform {

std::unique_ptr<Machine> openMachine(const std::string &location, PrefixOpenResult &result,
                                     const MachineOptions &options) {
  return openWinePrefix(location.empty() ? defaultPrefixDir() : location, result, options);
}

} // namespace tw::platform
