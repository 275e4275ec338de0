#include "backup/BackupRun.h"

#include "backup/RegistryEditorRun.h"
#include "backup/RestorePoints.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "registry/PrefixLock.h"
#include "registry/ProgramFiles.h"

namespace tw::backup {

std::string backingUpStatus(std::string_view root) { return "Backing up " + std::string(root) + "..."; }

std::string restoringStatus(std::string_view root) { return "Restoring " + std::string(root); }

static std::string withoutTrailingBackslash(std::string folder) {
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string RunReport::description() const {
  const std::string what = kind == Kind::Backup ? "The backup to " : "The restore from ";
  std::string text;
  if (!refusal.empty()) return what + restorePoint + " did not run: " + refusal;
  if (!failures.empty()) {
    text = what + restorePoint + " failed for " + std::to_string(failures.size()) + " of " +
           std::to_string(BackupRoots.size()) + " roots:";
    for (const RootFailure &failure : failures) text += "\n" + failure.root + ": " + failure.reason;
    if (kind == Kind::Backup) text += "\nThe restore point does not hold these roots.";
  }
  for (const std::string &note : notes) {
    if (!text.empty()) text += "\n";
    text += note;
  }
  return text;
}

std::string createRestorePoint(platform::Machine &machine, std::string_view backupFolder, std::string_view name) {
  platform::FileSystem &files = machine.files();
  const std::string folder = withTrailingBackslash(std::string(backupFolder)) + std::string(name);
  if (files.createDirectory(folder) || files.directoryExists(folder)) return folder;
  return {};
}

RunReport runBackup(platform::Machine &machine, const std::string &restorePoint, const StatusHandler &status,
                    const Pause &pause) {
  RunReport report;
  report.kind = RunReport::Kind::Backup;
  report.restorePoint = restorePoint;
  if (const std::string reason = machine.registry().readOnlyReason(); !reason.empty())
    report.notes.push_back("Note: " + reason + " The restore point holds the registry as its files on disk hold it.");
  const std::string folder = withoutTrailingBackslash(restorePoint);
  const std::string editor = registryEditorPath();
  for (std::string_view root : BackupRoots) {
    status(std::string(BackupWaitStatus));
    if (pause) pause();
    status(backingUpStatus(root));
    std::string reason = "the restore point folder could not be created";
    // Without a folder of its own the export would land in whatever folder is current.
    if (!folder.empty()) {
      reason = failureReason(RunHiddenAndWait(machine.processes(), editor, exportCommandLine(root), folder));
      if (reason.empty() && !machine.files().fileExists(folder + "\\" + rootFileName(root)))
        reason = "the registry editor wrote no file " + rootFileName(root);
    }
    if (!reason.empty()) report.failures.push_back({std::string(root), std::move(reason)});
    status(std::string(DoneStatus));
  }
  return report;
}

std::string whyRestoreCannotRun(platform::Machine &machine, const std::string &restorePoint) {
  if (restorePoint.empty()) return "no restore point is selected; select the restore point to restore in the list";
  if (!machine.files().directoryExists(withoutTrailingBackslash(restorePoint)))
    return "the restore point folder " + restorePoint + " does not exist";
  if (const std::string reason = machine.registry().readOnlyReason(); !reason.empty())
    return "the registry cannot be changed. " + reason;
  return {};
}

RunReport runRestore(platform::Machine &machine, const std::string &restorePoint, const StatusHandler &status) {
  RunReport report;
  report.kind = RunReport::Kind::Restore;
  report.restorePoint = restorePoint;
  report.refusal = whyRestoreCannotRun(machine, restorePoint);
  if (!report.refusal.empty()) return report;

  // The registry changes from here on: each import rewrites the registry files, so no other
  // program may change them (or the undo store that describes them) until the files are read again.
  const PrefixLock lock = PrefixLock::take(machine);
  if (!lock) {
    report.refusal = lock.description();
    return report;
  }
  const std::string folder = withoutTrailingBackslash(restorePoint);
  const std::string editor = registryEditorPath();
  for (std::string_view root : BackupRoots) {
    status(restoringStatus(root));
    const ChildRun run = RunHiddenAndWait(machine.processes(), editor, importCommandLine(root), folder);
    if (std::string reason = failureReason(run); !reason.empty())
      report.failures.push_back({std::string(root), std::move(reason)});
    status(std::string(DoneStatus));
  }
  // The editor wrote the files; the program works on what they hold now.
  std::string problem;
  if (machine.registry().reloadBackingStore(&problem) != 0) report.notes.push_back(problem);
  return report;
}

} // namespace tw::backup
