#include "repair/RegistryChange.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"

namespace tw::repair {

std::string registryChangeRefusal() { return platform::machine().registry().readOnlyReason(); }

} // namespace tw::repair
