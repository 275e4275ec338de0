#pragma once
// The registry of the running Windows, through advapi32's wide calls. Changes reach the
// system at once (RegFlushKey only forces them to disk), so this registry cannot take back
// changes that were not flushed: discardUnflushedChanges answers NotSupported.

#include "platform/RegistryApi.h"

#include <memory>

namespace tw::platform {

std::unique_ptr<RegistryApi> makeWin32Registry();

} // namespace tw::platform
