#pragma once
// The files and folders of the running Windows, through kernel32's wide calls. A Windows path
// is its own host path here.

#include "platform/FileSystem.h"

#include <memory>

namespace tw::platform {

std::unique_ptr<FileSystem> makeWin32FileSystem();

} // namespace tw::platform
