#include "tools/RegistryChange.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"

namespace tw::tools {

RegistryChange::RegistryChange() : m_refusal(registryReadOnlyReason()) {
  if (refused()) return;
  m_lock = PrefixLock::take();
  if (!m_lock) m_refusal = m_lock.description();
}

RegistryFlushResult RegistryChange::flush() {
  RegistryFlushResult result = FlushRegistry();
  // What could not be written must not linger in memory, to be listed as if it were done and
  // written later by another action.
  if (!result) platform::machine().registry().discardUnflushedChanges();
  return result;
}

} // namespace tw::tools
