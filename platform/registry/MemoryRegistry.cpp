#include "platform/MemoryRegistry.h"

#include "platform/registry/RegistryEngine.h"
#include "platform/registry/RegistryRoots.h"

namespace tw::platform {

std::unique_ptr<RegistryApi> makeMemoryRegistry(MemoryRegistryViews views) {
  auto store = std::make_unique<detail::RegistryStore>();
  detail::RootKeys roots = detail::makeRootKeys(*store, detail::DefaultUserSid);
  auto engine = std::make_unique<detail::RegistryEngine>(std::move(store), roots, nullptr);
  engine->setTwoViews(views == MemoryRegistryViews::Two);
  return engine;
}

} // namespace tw::platform
