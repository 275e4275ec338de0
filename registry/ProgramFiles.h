#pragma once
// Where the program keeps its data on the machine: the program folder with Backup.xml and the
// Backup folder of restore points, and ignore.xml in the current folder. The window, the
// command-line program and the backup routines all take them from here.

#include <string>

namespace tw::platform {
class Machine;
}

namespace tw {

/// `folder` ending in exactly the one backslash it had or was given.
std::string withTrailingBackslash(std::string folder);

/// The data files of one run. Folders are Windows paths; files are host paths, empty when the
/// folder that would hold them cannot be reached on the host.
struct ProgramFiles {
  std::string programFolder;  ///< with a trailing backslash
  std::string backupFolder;   ///< program folder + "Backup", without a trailing backslash
  std::string undoStorePath;  ///< Backup.xml in the program folder
  std::string ignoreListPath; ///< ignore.xml in the current folder
};

/// The data files on `machine`, changing nothing but creating the program folder when missing.
ProgramFiles programFilesOf(platform::Machine &machine);

/// programFilesOf, and creates the Backup folder when it is missing (one level; a failure is
/// not reported: the backup page then finds no restore points).
ProgramFiles setUpProgramFiles(platform::Machine &machine);

/// The host path of "ignore.xml" in the machine's current folder, or empty.
std::string ignoreListPathIn(platform::Machine &machine);

} // namespace tw
