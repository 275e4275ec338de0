#pragma once
// Restore points: the sub-folders of the program's Backup folder, each named after the local
// date and time its backup started and holding one registry-editor export per root.

#include <array>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
class FileSystem;
}

namespace tw::backup {

/// The five roots a backup exports and a restore imports, in this order; each one's file in a
/// restore point is its name + ".reg".
inline constexpr std::array<std::string_view, 5> BackupRoots = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_CURRENT_CONFIG"};

/// The file of `root` in a restore point: "HKEY_USERS.reg".
std::string rootFileName(std::string_view root);

/// The name of a restore point from the date in the program's short date format ("mm/dd/yyyy")
/// and the time in the user's long time format: both joined by one blank, then every ":"
/// replaced by "_" and every "/" by "-" ("12/06/2026", "10:56:15 PM" gives
/// "12-06-2026 10_56_15 PM").
std::string restorePointName(std::string_view shortDate, std::string_view longTime);

/// The name of a restore point started at `localTime`, with the time in the C library's
/// locale time format ("%X"; the user's once the program has taken the locale).
std::string restorePointNameAt(const std::tm &localTime);

/// The name of a restore point started now.
std::string restorePointNameNow();

/// True when `name` may name a restore point: one folder name, not "." or "..", without
/// separators, drive colons or wildcards, so that nothing reached through it lies outside the
/// Backup folder.
bool isRestorePointName(std::string_view name);

/// The restore points in `backupFolder` (a Windows path, with or without a trailing backslash),
/// in the order the folder lists them: every entry whose attributes are exactly the directory
/// attribute (so no file, and no hidden, read-only, system or linked folder). Empty when the
/// folder does not exist.
std::vector<std::string> listRestorePoints(const platform::FileSystem &files, std::string_view backupFolder);

/// The names of `found` that `shown` does not hold yet (exact comparison), in their order: what
/// a refresh appends to the list.
std::vector<std::string> newRestorePoints(const std::vector<std::string> &shown,
                                          const std::vector<std::string> &found);

} // namespace tw::backup
