#pragma once
// The documents the window opens with the desktop's default handler: the help file beside the
// executable, or else the user's manual installed with the program.

#include <filesystem>

namespace tw::app {

/// Where the manual lies relative to the executable's folder, installed ("/usr/bin" and
/// "/usr/share/tidewell/manual") and in the build tree alike.
inline constexpr const char *ManualFolderFromExecutable = "../share/tidewell/manual";

/// The front page of the manual that belongs to the executable in `executableFolder`; empty
/// when it is not there.
std::filesystem::path manualFrontPage(const std::filesystem::path &executableFolder);

/// What "Help and Manual" opens: "help.chm" in `executableFolder` when that file is there,
/// otherwise the manual's front page; empty when neither is there.
std::filesystem::path helpDocument(const std::filesystem::path &executableFolder);

} // namespace tw::app
