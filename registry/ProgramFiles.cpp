#include "registry/ProgramFiles.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"

#include <filesystem>

namespace tw {

std::string withTrailingBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// The machine reaches host folders through the prefix's drive links (dosdevices/z: for the
// host's root), but the user knows a file by the path of its folder on the host: the folder is
// named with its links resolved. The file's own name stays as it is, so that a link in its
// place is still seen, and refused, as one.
static std::string hostPathOf(platform::FileSystem &files, std::string_view windowsPath) {
  const std::optional<std::string> path = files.hostPath(windowsPath, /*mustExist=*/false);
  if (!path) return {};
  const std::filesystem::path file(*path);
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::weakly_canonical(file.parent_path(), error);
  if (error || folder.empty()) return *path;
  return (folder / file.filename()).string();
}

std::string ignoreListPathIn(platform::Machine &machine) {
  platform::FileSystem &files = machine.files();
  return hostPathOf(files, withTrailingBackslash(files.currentDirectory()) + "ignore.xml");
}

ProgramFiles programFilesOf(platform::Machine &machine) {
  platform::FileSystem &files = machine.files();
  ProgramFiles result;
  result.programFolder = withTrailingBackslash(machine.system().programFolder());
  result.backupFolder = result.programFolder + "Backup";
  result.undoStorePath = hostPathOf(files, result.programFolder + "Backup.xml");
  result.ignoreListPath = ignoreListPathIn(machine);
  return result;
}

ProgramFiles setUpProgramFiles(platform::Machine &machine) {
  ProgramFiles result = programFilesOf(machine);
  platform::FileSystem &files = machine.files();
  if (!files.directoryExists(result.backupFolder)) files.createDirectory(result.backupFolder);
  return result;
}

} // namespace tw
