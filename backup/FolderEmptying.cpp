#include "backup/FolderEmptying.h"

#include "backup/RestorePoints.h"
#include "platform/FileSystem.h"
#include "registry/ProgramFiles.h"

namespace tw::backup {

namespace fileattr = platform::fileattr;

// Restore points hold five files; a tree this deep is not one the program made, and a cap
// keeps a folder loop (a bind mount the link test cannot see) from recursing for ever.
static constexpr int MaxFolderDepth = 32;

std::string deleteErrorMessage(std::string_view entryName) {
  return " Delete error: " + std::string(entryName);
}

static bool isFolderLink(std::uint32_t attributes) {
  return (attributes & fileattr::Directory) && (attributes & fileattr::ReparsePoint);
}

static void emptyFolderAt(platform::FileSystem &files, const std::string &folder, const DeleteErrorHandler &onError,
                          int depth) {
  auto finder = files.findFiles(folder + "\\*.*");
  while (auto entry = finder->next()) {
    if (entry->name == "." || entry->name == "..") continue;
    const std::string path = folder + "\\" + entry->name;
    bool deleted = true;
    if (entry->attributes == fileattr::Directory) {
      if (depth < MaxFolderDepth) emptyFolderAt(files, path, onError, depth + 1);
      continue;
    }
    if (isFolderLink(entry->attributes))
      deleted = files.removeDirectory(path);
    else
      deleted = files.deleteFile(path);
    if (!deleted && onError) onError(deleteErrorMessage(entry->name));
  }
}

void emptyFolder(platform::FileSystem &files, const std::string &folder, const DeleteErrorHandler &onError) {
  emptyFolderAt(files, folder, onError, 0);
}

RestorePointDeletion deleteRestorePoint(platform::FileSystem &files, std::string_view backupFolder,
                                        std::string_view name, const DeleteErrorHandler &onError) {
  RestorePointDeletion result;
  if (!isRestorePointName(name)) {
    result.validName = false;
    return result;
  }
  const std::string folder = withTrailingBackslash(std::string(backupFolder)) + std::string(name);
  // The restore point itself must be a plain folder: a link in its place is removed as a link.
  const auto attributes = files.attributes(folder);
  if (attributes && isFolderLink(*attributes)) {
    result.folderRemoved = files.removeDirectory(folder);
    return result;
  }
  emptyFolder(files, folder, [&](const std::string &message) {
    result.errors.push_back(message);
    if (onError) onError(message);
  });
  result.folderRemoved = files.removeDirectory(folder);
  return result;
}

} // namespace tw::backup
