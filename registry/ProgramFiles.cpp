#include "registry/ProgramFiles.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"

namespace tw {

std::string withTrailingBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

static std::string hostPathOf(platform::FileSystem &files, std::string_view windowsPath) {
  return files.hostPath(windowsPath, /*mustExist=*/false).value_or(std::string());
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
