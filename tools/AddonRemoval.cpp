// Removing checked add-ons: one undo record per checked row, then the add-on's keys and values,
// inside the same record-then-delete transaction as fixing.

#include "tools/Toolbar_Unit.h"

#include "lists/CheckableList.h"
#include "registry/KeySnapshot.h"
#include "registry/XmlStore.h"
#include "registry/uUtils.h"
#include "repair/UndoTransaction.h"

#include <array>
#include <stdexcept>

namespace tw::tools {

/// One key or value that removing an add-on records and deletes.
struct AddonEntry {
  enum class Kind { ClassKey, Value, SubKey };
  Kind kind;
  RootKey root = HKEY_CLASSES_ROOT;
  /// The key that holds the value or sub-key (empty for the class key).
  std::string parentKey;
  /// The value's or sub-key's name (the class identifier for the class key).
  std::string name;
};

/// A class identifier names one key below CLSID only when it holds no backslash.
static bool namesOneKey(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos;
}

void DeleteClassKey(std::string_view classId) {
  if (!namesOneKey(classId)) return;
  DeleteRegKey(HKEY_CLASSES_ROOT, "\\CLSID", classId);
}

/// The file name of a path (after its last "\" or ":"), lower-cased.
static std::string fileNameOf(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("\\:");
  return lowerAscii(folderEnd == std::string_view::npos ? path : path.substr(folderEnd + 1));
}

static bool isBuiltInExplorerBar(std::string_view path) {
  static constexpr std::array<std::string_view, 3> SystemLibraries = {"browseui.dll", "shell32.dll",
                                                                      "shdocvw.dll"};
  const std::string file = fileNameOf(path);
  for (std::string_view library : SystemLibraries)
    if (file == library) return true;
  return false;
}

/// The refusal message for a row, or empty text when the row may be removed.
static std::string_view refusalOf(const lists::Row &row) {
  const std::string &type = row.subItem(AddonTypeSubItem);
  if (type == UserToolbarKind && (row.caption == "Address Toolbar" || row.caption == "Links Toolbar"))
    return BuiltInToolbarRefusal;
  if ((type == MachineExplorerBarKind || type == UserExplorerBarKind) &&
      isBuiltInExplorerBar(row.subItem(AddonPathSubItem)))
    return BuiltInExplorerBarRefusal;
  return {};
}

/// The exact sub-key of the menu-extension key that a menu extension's row stands for: the name
/// kept with the row, or else the one sub-key whose name without "&" is the row's name. Empty
/// when there is none, or more than one.
static std::string menuExtensionSubKey(const lists::Row &row) {
  if (!row.data.empty()) return row.data;
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  if (!registry.OpenRegKey(MenuExtensionKey, /*canCreate=*/false)) return {};
  std::string match;
  for (const std::string &name : registry.ListSubKeyNames()) {
    if (CleanAddonName(name) != row.caption) continue;
    if (!match.empty()) return {};
    match = name;
  }
  return match;
}

/// What removing the add-on of `row` records and deletes, in that order; empty for an unknown
/// kind.
static std::vector<AddonEntry> entriesOf(const lists::Row &row) {
  using Kind = AddonEntry::Kind;
  const std::string &type = row.subItem(AddonTypeSubItem);
  const std::string &id = row.subItem(AddonEntriesSubItem);
  if (type == MenuExtensionKind) {
    const std::string subKey = menuExtensionSubKey(row);
    if (!namesOneKey(subKey)) return {};
    return {{Kind::SubKey, HKEY_CURRENT_USER, std::string(MenuExtensionKey), subKey}};
  }
  // An add-on of the 32-bit view names where its keys are stored; the others are at the fixed keys.
  const std::optional<AddonKeys> stored = AddonKeysOf(row.data);
  auto registration = [&](std::string_view fixed) { return stored ? stored->registrationKey : std::string(fixed); };
  std::vector<AddonEntry> entries;
  if (namesOneKey(id)) entries.push_back({Kind::ClassKey, HKEY_CLASSES_ROOT, stored ? stored->classParent : "\\CLSID", id});
  if (type == DownloadHandlerKind)
    entries.push_back({Kind::Value, HKEY_CURRENT_USER, std::string(BrowserKey), std::string(DownloadHandlerValue)});
  else if (type == MachineToolbarKind)
    entries.push_back({Kind::Value, HKEY_LOCAL_MACHINE, registration(MachineToolbarKey), id});
  else if (type == UserToolbarKind)
    entries.push_back({Kind::Value, HKEY_CURRENT_USER, registration(UserToolbarKey), id});
  else if (type == BrowserExtensionKind && namesOneKey(id))
    entries.push_back({Kind::SubKey, HKEY_CURRENT_USER, registration(BrowserExtensionKey), id});
  else if (type == MachineExplorerBarKind && namesOneKey(id))
    entries.push_back({Kind::SubKey, HKEY_LOCAL_MACHINE, registration(MachineExplorerBarKey), id});
  else if (type == UserExplorerBarKind && namesOneKey(id))
    entries.push_back({Kind::SubKey, HKEY_CURRENT_USER,
                       registration("\\SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars"), id});
  else if (type != DownloadHandlerKind)
    return {};
  return entries;
}

/// Records every entry under `record`, then deletes them, in the order given.
static void removeEntries(pugi::xml_node record, const std::vector<AddonEntry> &entries) {
  using Kind = AddonEntry::Kind;
  for (const AddonEntry &entry : entries) {
    if (entry.kind == Kind::Value)
      SnapshotToElement(record, entry.root, entry.parentKey, entry.name);
    else
      SnapshotToElement(record, entry.root, entry.parentKey + "\\" + entry.name, {});
  }
  for (const AddonEntry &entry : entries) {
    switch (entry.kind) {
    case Kind::ClassKey:
      if (namesOneKey(entry.name)) DeleteRegKey(entry.root, entry.parentKey, entry.name);
      break;
    case Kind::Value: DeleteRegValue(entry.root, entry.parentKey, entry.name); break;
    case Kind::SubKey: DeleteRegKey(entry.root, entry.parentKey, entry.name); break;
    }
  }
}

AddonRemovalResult RemoveCheckedAddons(repair::DocumentFile undoStore, const lists::CheckableList &addons) {
  AddonRemovalResult removal;
  if (addons.checkedRows().empty()) return removal;

  // The registry changes from here on; they reach its files only after the records are saved.
  repair::UndoTransaction transaction(undoStore);
  for (int i = addons.count() - 1; i >= 0; --i) {
    const lists::Row &row = addons.row(i);
    if (!row.checked) continue;
    pugi::xml_node record = appendUndoRecord(
        undoStore.document, {row.caption, row.subItem(AddonTypeSubItem), row.subItem(AddonPathSubItem)});
    if (const std::string_view refusal = refusalOf(row); !refusal.empty()) {
      removal.refusals.emplace_back(refusal);
      continue;
    }
    try {
      removeEntries(record, entriesOf(row));
    } catch (const std::runtime_error &error) {
      // Recording failed before anything of this add-on was erased: its record goes too.
      record.parent().remove_child(record);
      removal.result.fail(repair::ActionResult::Status::RegistryRefused, error.what());
      break;
    }
  }

  const std::size_t recorded = transaction.recordsAdded();
  const repair::ActionResult committed = transaction.commit();
  if (!committed) removal.result.fail(committed.status, committed.message);
  if (!transaction.rolledBack()) removal.result.count = static_cast<int>(recorded);
  return removal;
}

} // namespace tw::tools
