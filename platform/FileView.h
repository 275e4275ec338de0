#pragma once
// The 32-bit programs' view of the files of a 64-bit Windows: their system folder
// ("<windows>\system32") is the syswow64 folder, except the sub-folders Windows leaves shared
// (catroot, catroot2, drivers\etc, logfiles, spool), and "<windows>\sysnative" reaches the
// real system32. The file systems apply it to every path in a platform::ViewKind::Bits32 scope.

#include <string>
#include <span>
#include <string_view>
#include <vector>

namespace tw::platform {

/// Rewrites the names of a full path below its drive root (`components`) as a 32-bit program's
/// path resolves, when they lie in the Windows folder whose names below the same root are
/// `windowsFolder` (for C:\windows: {"windows"}). Names compare without regard to case; the
/// rest keeps its spelling. True when it changed them.
bool applyWow64FileView(std::vector<std::string> &components, std::span<const std::string_view> windowsFolder);

} // namespace tw::platform
