#pragma once
// A backup and a restore as the two workers run them: the registry editor exports the five
// roots into a new restore point, or imports the five files of a chosen one, with the status
// texts of the page in their sequence. Every failure is kept and told at the end: a root whose
// editor could not start, failed or wrote no file, a restore the registry cannot take.
//
// A restore changes the registry behind the program's back (the editor is another process);
// when it is over, the machine's registry reads its files again, so the next scan sees the
// restored entries and the next fix can save.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
class Machine;
}

namespace tw::backup {

/// The texts the page's status label shows.
inline constexpr std::string_view BackupWaitStatus = "Backup will be started in 1 second";
inline constexpr std::string_view DoneStatus = "Done !";
/// "Backing up " + root + "..."
std::string backingUpStatus(std::string_view root);
/// "Restoring " + root
std::string restoringStatus(std::string_view root);

/// One root whose export or import failed, and why.
struct RootFailure {
  std::string root;
  std::string reason;
};

/// What a backup or restore run did.
struct RunReport {
  enum class Kind { Backup, Restore };
  Kind kind = Kind::Backup;
  /// The restore point, as a Windows path (backup target or restore source).
  std::string restorePoint;
  /// Set when nothing was run, saying why.
  std::string refusal;
  std::vector<RootFailure> failures;
  /// What the user should know although every root went through (the registry belonged to a
  /// running wineserver during a backup; the registry could not be read again after a restore).
  std::vector<std::string> notes;

  bool succeeded() const { return refusal.empty() && failures.empty(); }
  /// The message for the user: empty when everything went through and there is nothing to
  /// note; otherwise which roots failed and why, and the notes.
  std::string description() const;
};

/// Makes the restore point `name` in `backupFolder` (Windows paths) and returns its path; the
/// folder may exist already (a backup started in the same second). Empty when it could not be
/// made.
std::string createRestorePoint(platform::Machine &machine, std::string_view backupFolder, std::string_view name);

using StatusHandler = std::function<void(const std::string &status)>;
using Pause = std::function<void()>;

/// Exports the five roots into `restorePoint` (a folder made by createRestorePoint; empty when
/// that failed), each after `status` has shown BackupWaitStatus and `pause` has run, with
/// backingUpStatus before and DoneStatus after the export.
RunReport runBackup(platform::Machine &machine, const std::string &restorePoint, const StatusHandler &status,
                    const Pause &pause);

/// Why a restore from `restorePoint` (a Windows path; empty when none was chosen) cannot run, or
/// empty when it can: no restore point chosen, its folder missing, or a registry that may only be
/// read.
std::string whyRestoreCannotRun(platform::Machine &machine, const std::string &restorePoint);

/// Imports the five files of `restorePoint` in root order, with restoringStatus before and
/// DoneStatus after each, then has the machine's registry read its files again. Runs nothing
/// when whyRestoreCannotRun has a reason (the report's refusal).
RunReport runRestore(platform::Machine &machine, const std::string &restorePoint, const StatusHandler &status);

} // namespace tw::backup
