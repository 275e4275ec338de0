#pragma once
// Where the program keeps its data on the machine: the program folder with Backup.xml and the
// Backup folder, and ignore.xml in the current folder.

#include <string>
#include <string_view>

namespace tw::platform {
class Machine;
}

namespace tw::app {

inline constexpr const char *ProgramTitle = "Tidewell Registry Cleaner 2006";

/// `folder` ending in exactly the one backslash it had or was given.
std::string withTrailingBackslash(std::string folder);

/// The data files of one run. Folders are Windows paths; files are host paths, empty when the
/// folder that would hold them cannot be reached on the host.
struct ProgramFiles {
  std::string programFolder; ///< with a trailing backslash
  std::string backupFolder;  ///< program folder + "Backup", without a trailing backslash
  std::string undoStorePath; ///< Backup.xml in the program folder
  std::string ignoreListPath; ///< ignore.xml in the current folder
};

/// Works out the data files on `machine` and creates the Backup folder when it is missing (one
/// level; a failure is not reported: the backup page then finds no restore points).
ProgramFiles setUpProgramFiles(platform::Machine &machine);

/// The host path of "ignore.xml" in the machine's current folder, or empty.
std::string ignoreListPathIn(platform::Machine &machine);

} // namespace tw::app
