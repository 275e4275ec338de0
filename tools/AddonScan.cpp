// Listing the browser's add-ons: where each kind is registered, how its class is read and how its
// row is named.

#include "tools/Toolbar_Unit.h"

#include "lists/CheckableList.h"
#include "registry/ViewedKeys.h"
#include "registry/uUtils.h"

#include <array>
#include <cstdint>

namespace tw::tools {

// A binary value is read into a buffer of this size; a longer one cannot be shown as text.
static constexpr std::size_t MaxBinaryTextBytes = 255;

static constexpr std::string_view ClassesKey = "\\CLSID\\";

std::string addonKeysData(const AddonKeys &keys) { return keys.classParent + "\n" + keys.registrationKey; }

std::optional<AddonKeys> AddonKeysOf(std::string_view data) {
  const std::size_t cut = data.find('\n');
  if (cut == std::string_view::npos) return std::nullopt;
  return AddonKeys{std::string(data.substr(0, cut)), std::string(data.substr(cut + 1))};
}

std::string ReadValueText(RootKey root, std::string_view keyPath, std::string_view valueName) {
  TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKey(keyPath, /*canCreate=*/false)) return {};
  switch (registry.ValueKind(valueName)) {
  case RegDataKind::String:
  case RegDataKind::ExpandString:
    return registry.ReadText(valueName);
  case RegDataKind::Integer:
    return std::to_string(registry.ReadNumber(valueName));
  case RegDataKind::Binary: {
    std::array<std::uint8_t, MaxBinaryTextBytes> buffer{};
    const std::size_t size = registry.ReadBytes(valueName, buffer.data(), buffer.size());
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
      text += Hex[buffer[i] >> 4];
      text += Hex[buffer[i] & 0x0F];
      text += ',';
    }
    if (!text.empty()) text.pop_back();
    return text;
  }
  case RegDataKind::Unknown:
    break;
  }
  return {};
}

TToolbarInfo ReadClassInfo(std::string_view classId, std::string_view serverKeyName) {
  const std::string classKey = std::string(ClassesKey) + std::string(classId);
  TToolbarInfo info;
  info.name = ReadValueText(HKEY_CLASSES_ROOT, classKey, {});
  info.path = ReadValueText(HKEY_CLASSES_ROOT, classKey + "\\" + std::string(serverKeyName), {});
  return info;
}

std::string CleanAddonName(std::string_view text) {
  std::string name;
  name.reserve(text.size());
  for (char c : text)
    if (c != '&') name += c;
  if (name.empty()) return "Unknown Toolbar";
  return name;
}

void AddAddonRow(lists::CheckableList &addons, std::string_view label, std::string_view className,
                 std::string_view identity, std::string_view path, std::string data) {
  if (trimBlanks(identity).empty()) return;
  std::string name = trimBlanks(className).empty() ? std::string("(Unknown)") : CleanAddonName(className);
  if (label.find("Toolbar") != std::string_view::npos) name += " Toolbar";
  lists::Row row;
  row.caption = std::move(name);
  row.subItems = {std::string(label), std::string(identity), std::string(path)};
  row.data = std::move(data);
  addons.append(std::move(row));
}

/// The extension of a path: the text from its last "." after its last "\" or ":", lower-cased.
static std::string extensionOf(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("\\:");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (folderEnd != std::string_view::npos && dot < folderEnd)) return {};
  return lowerAscii(path.substr(dot));
}

/// The names of `root`'s `keyPath` in each registry view of the machine (values or sub-keys),
/// each with the data its rows keep: nothing in the 64-bit view; in the 32-bit view where the
/// add-on's keys are stored (AddonKeysOf). A key both views share is walked once.
template <typename Visit>
static void forEachViewedName(RootKey root, std::string_view keyPath, bool valueNames, Visit &&visit) {
  ViewedKeys viewed;
  for (platform::ViewKind view : machineViews()) {
    platform::ViewScope scope(view);
    TRegistry registry;
    registry.CurrentRoot(root);
    if (!registry.OpenRegKey(keyPath, /*canCreate=*/false)) continue;
    const std::optional<StoredKey> registration = viewed.claim(registry, keyPath);
    if (!registration) continue;
    const std::vector<std::string> names = valueNames ? registry.ListValueNames() : registry.ListSubKeyNames();
    std::string data;
    if (view == platform::ViewKind::Bits32) {
      // The classes of the 32-bit view: their key where it is stored (Wow6432Node\CLSID).
      TRegistry classes;
      classes.CurrentRoot(HKEY_CLASSES_ROOT);
      std::string classParent(ClassesKey.substr(0, ClassesKey.size() - 1));
      if (classes.OpenRegKey(classParent, /*canCreate=*/false))
        if (const std::optional<StoredKey> stored = classes.storedKey(); stored && stored->root == HKEY_CLASSES_ROOT)
          classParent = "\\" + stored->path;
      data = addonKeysData({classParent, "\\" + registration->path});
    }
    for (const std::string &name : names) visit(name, data);
  }
}

/// Toolbars: the values of the key whose names begin with "{" name their classes. The default
/// value (empty name) stays in the walk and gives no row, its identity being empty.
static void listToolbarValues(lists::CheckableList &found, RootKey root, std::string_view keyPath,
                              std::string_view serverKeyName, std::string_view label) {
  forEachViewedName(root, keyPath, /*valueNames=*/true, [&](const std::string &name, const std::string &data) {
    if (!name.empty() && name.front() != '{') return;
    const TToolbarInfo info = ReadClassInfo(name, serverKeyName);
    AddAddonRow(found, label, info.name, name, info.path, data);
  });
}

/// Extensions and explorer bars: each sub-key names a class, listed when its server is a ".dll".
static void listClassSubKeys(lists::CheckableList &found, RootKey root, std::string_view keyPath,
                             std::string_view label) {
  forEachViewedName(root, keyPath, /*valueNames=*/false, [&](const std::string &name, const std::string &data) {
    const TToolbarInfo info = ReadClassInfo(name, "InprocServer32");
    if (extensionOf(info.path) != ".dll") return;
    AddAddonRow(found, label, info.name, name, info.path, data);
  });
}

static std::vector<std::string> subKeyNamesOf(RootKey root, std::string_view keyPath) {
  TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKey(keyPath, /*canCreate=*/false)) return {};
  return registry.ListSubKeyNames();
}

static void listMenuExtensions(lists::CheckableList &found) {
  for (const std::string &name : subKeyNamesOf(HKEY_CURRENT_USER, MenuExtensionKey)) {
    const std::string page = ReadValueText(HKEY_CURRENT_USER, std::string(MenuExtensionKey) + "\\" + name, {});
    AddAddonRow(found, MenuExtensionKind, name, MenuExtensionIdentity, page, name);
  }
}

static void listDownloadHandler(lists::CheckableList &found) {
  const std::string classId = ReadValueText(HKEY_CURRENT_USER, BrowserKey, DownloadHandlerValue);
  const TToolbarInfo info = ReadClassInfo(classId, "InprocServer32");
  AddAddonRow(found, DownloadHandlerKind, info.name, classId, info.path);
}

static void listAddons(lists::CheckableList &found, const AddonKinds &kinds) {
  if (kinds.toolbars) {
    listToolbarValues(found, HKEY_LOCAL_MACHINE, MachineToolbarKey, "InprocServer32", MachineToolbarKind);
    listToolbarValues(found, HKEY_CURRENT_USER, UserToolbarKey, "InProcServer32", UserToolbarKind);
  }
  if (kinds.browserExtensions)
    listClassSubKeys(found, HKEY_CURRENT_USER, BrowserExtensionKey, BrowserExtensionKind);
  if (kinds.explorerBars) {
    listClassSubKeys(found, HKEY_LOCAL_MACHINE, MachineExplorerBarKey, MachineExplorerBarKind);
    listClassSubKeys(found, HKEY_CURRENT_USER, UserExplorerBarKey, UserExplorerBarKind);
  }
  if (kinds.menuExtensions) listMenuExtensions(found);
  if (kinds.downloadHandler) listDownloadHandler(found);
}

repair::ActionResult ScanAddons(lists::CheckableList &addons, const AddonKinds &kinds) {
  repair::ActionResult result = repair::ActionResult::ok();
  // The rows are gathered apart and handed to the list at once, so that a view follows one
  // bulk change rather than a sort per row; a failed read still hands over what was found.
  lists::CheckableList found(/*sorted=*/true);
  try {
    listAddons(found, kinds);
  } catch (const ERegistryException &error) {
    result.fail(repair::ActionResult::Status::RegistryRefused, error.what());
  }
  std::vector<lists::Row> rows;
  rows.reserve(static_cast<std::size_t>(found.count()));
  for (int i = 0; i < found.count(); ++i) rows.push_back(found.row(i));
  addons.clear();
  addons.appendRows(std::move(rows));
  result.count = addons.count();
  return result;
}

} // namespace tw::tools
