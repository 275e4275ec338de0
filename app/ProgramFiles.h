#pragma once
// The program's title, and where it keeps its data (registry/ProgramFiles.h).

#include "registry/ProgramFiles.h"

namespace tw::app {

inline constexpr const char *ProgramTitle = "Tidewell Registry Cleaner 2006";

} // namespace tw::app
