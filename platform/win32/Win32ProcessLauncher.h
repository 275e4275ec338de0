#pragma once
// Child processes on the running Windows, through CreateProcess and ShellExecute. The
// registry editor of the Windows folder is our tidewell-regedit.exe when it lies beside the
// program (or the environment variable TIDEWELL_REGEDIT names it), the system's otherwise.

#include "platform/Process.h"

#include <memory>

namespace tw::platform {

class SystemInfo;

/// `system` must outlive the launcher.
std::unique_ptr<ProcessLauncher> makeWin32ProcessLauncher(const SystemInfo &system);

} // namespace tw::platform
