#pragma once
// Deleting a restore point: its files go one by one, every file that cannot be deleted is
// reported with the " Delete error: " message, and the folder goes when it is empty.
//
// Nothing outside the restore point is touched: a link to a folder (Wine's drives are links,
// and a restore point may hold one) is removed itself, never emptied, and sub-folders are
// entered only when they are plain folders.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
class FileSystem;
}

namespace tw::backup {

/// Called with " Delete error: " + the entry's name for every entry that could not be deleted.
using DeleteErrorHandler = std::function<void(const std::string &message)>;

/// The message for an entry that could not be deleted: " Delete error: " + its name.
std::string deleteErrorMessage(std::string_view entryName);

/// Deletes every file of `folder` (a Windows path without trailing backslash) and empties its
/// plain sub-folders the same way, which stay. A link to a folder is removed as a link. Every
/// entry that cannot be deleted goes to `onError` and the routine goes on with the next one.
void emptyFolder(platform::FileSystem &files, const std::string &folder, const DeleteErrorHandler &onError);

/// What deleting a restore point did.
struct RestorePointDeletion {
  bool validName = true;        ///< false: the name could lead out of the Backup folder; nothing was touched
  bool folderRemoved = false;   ///< the restore point's folder is gone
  std::vector<std::string> errors; ///< the " Delete error: " messages, in order
};

/// Empties the restore point `name` of `backupFolder` and removes its folder (which stays when
/// it is not empty then). `onError`, when given, hears every " Delete error: " message as it
/// happens.
RestorePointDeletion deleteRestorePoint(platform::FileSystem &files, std::string_view backupFolder,
                                        std::string_view name, const DeleteErrorHandler &onError = {});

} // namespace tw::backup
