#include "tools/uAddRemove.h"

#include "platform/Machine.h"
#include "platform/Process.h"
#include "registry/RegistryAccess.h"
#include "tools/RegistryChange.h"

namespace tw::tools {

using Status = repair::ActionResult::Status;

/// Adds the entries below one uninstall key to `rows`; false when the key cannot be opened.
static bool readUninstallKey(std::string_view keyPath, std::vector<lists::Row> &rows) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  if (!registry.OpenRegKeyForRead(keyPath)) return false;
  if (!registry.HasChildKeys()) return true;
  const std::vector<std::string> names = registry.ListSubKeyNames();
  registry.CloseRegKey();
  const std::string base = std::string(keyPath) + "\\";
  for (const std::string &name : names) {
    std::string entryKey = base + name;
    if (!registry.OpenRegKeyForRead(entryKey)) continue;
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
    opened = readUninstallKey(UninstallKey, rows);
    if (opened) readUninstallKey(UninstallKey32, rows);
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
    if (keyPath.size() <= parent.size() + 1 || !keyPath.starts_with(parent) || keyPath[parent.size()] != '\\')
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
