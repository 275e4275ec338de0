#pragma once
// The system facts of the running Windows, from kernel32.

#include "platform/SystemInfo.h"

#include <memory>

namespace tw::platform {

std::unique_ptr<SystemInfo> makeWin32SystemInfo();

} // namespace tw::platform
