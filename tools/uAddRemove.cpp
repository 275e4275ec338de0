#include "tools/uAddRemove.h"

#include "platform/Machine.h"
#include "platform/Process.h"
#include "registry/RegistryAccess.h"
#include "registry/ViewedKeys.h"
#include "registry/uUtils.h"
#include "tools/RegistryChange.h"

namespace tw::tools {

using Status = repair::ActionResult::Status;

/// Adds the entries below the uninstall key of the calling thread's registry view to `rows`,
/// each with the key where it is stored; false when the key cannot be opened. A key `viewed`
/// has seen (one both views share) adds nothing.
static bool readUninstallKey(ViewedKeys &viewed, std::vector<lists::Row> &rows) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKeyForRead(UninstallKey)) return false;
  const std::optional<StoredKey> stored = viewed.claim(registry, UninstallKey);
  if (!stored || stored->root != HKEY_LOCAL_MACHINE || !registry.HasChildKeys()) return true;
  const std::vector<std::string> names = registry.ListSubKeyNames();
  registry.CloseRegKey();
  const std::string base = std::string(UninstallKey) + "\\";
  for (const std::string &name : names) {
    if (!registry.OpenRegKeyForRead(base + name)) continue;
    std::string entryKey = stored->path + "\\" + name;
    std::string displayName = registry.ReadText("DisplayName");
    std::string uninstallString = registry.ReadText("UninstallString");
    registry.CloseRegKey();
    if (displayName.empty()) continue;
    rows.push_back({std::move(displayName), {std::move(uninstallString)}, false, -1, std::move(entryKey)});
  }
  return true;
}

repair::ActionResult ListUninstallEntries(lists::CheckableList &list) {
  repair::ActionResult result = repair::ActionResult::ok();
  std::vector<lists::Row> rows;
  bool opened = false;
  try {
    // A 64-bit machine keeps the 32-bit programs' entries in the 32-bit view, listed alike.
    ViewedKeys viewed;
    // Without the machine's own uninstall key the list stays as it is.
    for (platform::ViewKind view : machineViews()) {
      platform::ViewScope scope(view);
      const bool read = readUninstallKey(viewed, rows);
      if (view == platform::ViewKind::Bits64) opened = read;
      if (!opened) break;
    }
  } catch (const ERegistryException &error) {
    opened = true;
    result.fail(Status::RegistryRefused, error.what());
  }
  if (!opened) return result;
  list.clear();
  list.appendRows(std::move(rows));
  return result;
}

/// True when `keyPath` names one entry directly below one of the uninstall keys.
static bool isUninstallEntryKey(std::string_view keyPath) {
  for (std::string_view parent : {UninstallKey, UninstallKey32}) {
    // Key names compare without regard to case: the stored key may spell Wow6432Node its own way.
    if (keyPath.size() <= parent.size() + 1 || lowerAscii(keyPath.substr(0, parent.size())) != lowerAscii(parent) ||
        keyPath[parent.size()] != '\\')
      continue;
    const std::string_view name = keyPath.substr(parent.size() + 1);
    if (name.find('\\') == std::string_view::npos) return true;
  }
  return false;
}

repair::ActionResult DeleteCheckedUninstallEntries(lists::CheckableList &list) {
  repair::ActionResult result = repair::ActionResult::ok();
  const std::vector<int> checked = list.checkedRows();
  if (checked.empty()) return ListUninstallEntries(list);

  RegistryChange change;
  if (change.refused()) {
    result.fail(Status::RegistryRefused, "No entry was deleted: " + change.refusal());
    return result;
  }
  {
    TRegistry registry;
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    for (int i : checked) {
      const std::string &keyPath = list.row(i).data;
      // Only ever the one entry the row was listed from, never its uninstall key or beyond.
      if (!isUninstallEntryKey(keyPath)) continue;
      if (registry.DeleteKeyTree("\\" + keyPath)) ++result.count;
    }
  }
  if (RegistryFlushResult saved = change.flush(); !saved) {
    result.count = 0;
    result.fail(Status::RegistryNotSaved,
                "No entry was deleted, because the registry could not be saved: " + saved.description() + ".");
  }
  repair::ActionResult listed = ListUninstallEntries(list);
  if (!listed) result.fail(listed.status, listed.message);
  return result;
}

repair::ActionResult startCheckedUninstallers(const lists::CheckableList &list) {
  repair::ActionResult result = repair::ActionResult::ok();
  platform::ProcessLauncher &processes = platform::machine().processes();
  std::vector<int> withCommand;
  for (int i : list.checkedRows())
    if (!list.row(i).subItem(UninstallPathSubItem).empty()) withCommand.push_back(i);
  if (withCommand.empty()) return result;
  if (std::string problem = processes.startProblem(); !problem.empty()) {
    result.fail(Status::RegistryRefused,
                "Starting uninstallers needs Wine, and " + problem + ". Nothing was started.");
    return result;
  }
  for (int i : withCommand) {
    const lists::Row &row = list.row(i);
    const std::string &command = row.subItem(UninstallPathSubItem);
    if (processes.startDetached(command)) {
      ++result.count;
      continue;
    }
    result.fail(Status::RegistryRefused,
                "The uninstaller of \"" + row.caption + "\" could not be started: " + command);
  }
  return result;
}

} // namespace tw::tools
