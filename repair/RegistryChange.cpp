#include "repair/RegistryChange.h"

#include "platform/Machine.h"
#include "platform/WineRegistry.h"

namespace tw::repair {

std::string registryChangeRefusal() {
  const auto *wine = dynamic_cast<const platform::WineRegistry *>(&platform::machine().registry());
  if (!wine || !wine->isReadOnly()) return {};
  return wine->readOnlyReason();
}

} // namespace tw::repair
