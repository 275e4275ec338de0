#include "tools/uStartup.h"

#include "platform/Machine.h"
#include "platform/SystemInfo.h"
#include "registry/ViewedKeys.h"
#include "registry/uUtils.h"
#include "tools/RegistryChange.h"

namespace tw::tools {

int startupKindOf(const std::optional<platform::VersionRecord> &version) {
  const int kind = classifyWindowsVersion(version);
  if (kind != 0 || !version) return kind;
  // Vista and every later NT keep the Run keys and the startupreg records of XP and 2003.
  if (version->platformId == 2 && version->majorVersion >= 6) return 7;
  return 0;
}

int startupWindowsKind() { return startupKindOf(platform::machine().system().version()); }

static bool isNineXRules(int kind) { return kind >= 1 && kind <= 4; }
static bool isNtRules(int kind) { return kind >= 5 && kind <= 7; }

static std::string locationText(RootKey root, std::string_view keyPath) {
  return RootKeyToShortName(root) + "\\" + std::string(keyPath);
}

void ListRunKey(lists::CheckableList &list, RootKey root, std::string_view keyPath, bool checked) {
  // Both halves of a 64-bit machine start programs at logon: the 32-bit programs' entries are
  // listed after the 64-bit ones, at the key where they are stored.
  ViewedKeys viewed;
  std::vector<lists::Row> rows;
  try {
    for (platform::ViewKind view : machineViews()) {
      platform::ViewScope scope(view);
      TRegistry registry;
      registry.CurrentRoot(root);
      if (!registry.OpenRegKeyForRead(keyPath)) continue;
      const std::optional<StoredKey> stored = viewed.claim(registry, keyPath);
      if (!stored) continue;
      const std::string location = locationText(stored->root, stored->path);
      const std::vector<std::string> names = registry.ListValueNames();
      rows.reserve(rows.size() + names.size());
      for (const std::string &name : names) {
        std::string command = registry.ReadText(name);
        rows.push_back({name, {std::move(command), location}, checked, -1, {}});
      }
    }
  } catch (const ERegistryException &) {
    // The rows read before the value that fails still reach the list.
    list.appendRows(std::move(rows));
    throw;
  }
  list.appendRows(std::move(rows));
}

void ListStartupRegRecords(lists::CheckableList &list, RootKey root, std::string_view keyPath) {
  TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKeyForRead(keyPath) || !registry.HasChildKeys()) return;
  const std::vector<std::string> names = registry.ListSubKeyNames();
  registry.CloseRegKey();
  std::vector<lists::Row> rows;
  rows.reserve(names.size());
  const std::string base(keyPath);
  try {
    for (const std::string &name : names) {
      if (!registry.OpenRegKeyForRead(base + "\\" + name)) continue;
      std::string item = registry.ReadText("item");
      std::string command = registry.ReadText("command");
      std::string location = registry.ReadText("hkey") + "\\" + registry.ReadText("key");
      registry.CloseRegKey();
      rows.push_back({std::move(item), {std::move(command), std::move(location)}, false, -1, name});
    }
  } catch (const ERegistryException &) {
    list.appendRows(std::move(rows));
    throw;
  }
  list.appendRows(std::move(rows));
}

repair::ActionResult fillStartupList(lists::CheckableList &list, StartupStates &states, int kind) {
  repair::ActionResult result = repair::ActionResult::ok();
  list.clear();
  try {
    if (isNineXRules(kind)) {
      ListRunKey(list, HKEY_LOCAL_MACHINE, RunKey, true);
      ListRunKey(list, HKEY_LOCAL_MACHINE, RunServicesKey, true);
      ListRunKey(list, HKEY_LOCAL_MACHINE, std::string(RunKey) + "-", false);
      ListRunKey(list, HKEY_LOCAL_MACHINE, std::string(RunServicesKey) + "-", false);
    } else if (isNtRules(kind)) {
      ListRunKey(list, HKEY_LOCAL_MACHINE, RunKey, true);
      ListRunKey(list, HKEY_CURRENT_USER, RunKey, true);
      ListStartupRegRecords(list, HKEY_LOCAL_MACHINE, StartupRegKey);
    }
  } catch (const ERegistryException &error) {
    result.fail(repair::ActionResult::Status::RegistryRefused, error.what());
  }
  states.assign(static_cast<std::size_t>(list.count()), false);
  for (int i = 0; i < list.count(); ++i) states[static_cast<std::size_t>(i)] = list.row(i).checked;
  return result;
}

// --- Moving one entry --------------------------------------------------------------------

namespace {

/// One entry's way from its old place to its new one.
struct StartupMove {
  RootKey root = 0;        ///< the root of the entry's start-up key
  std::string keyPath;     ///< the start-up key the row names (below the root)
  std::string rootText;    ///< the short root name the row names
  std::string item;        ///< the value name
  std::string command;
  bool enabled = false;    ///< the place it goes to: active or disabled
  bool ntRules = false;
  std::string recordName;  ///< NT: the startupreg sub-key of the entry
  std::string targetKey;   ///< 9x: the key the value moves into
};

std::string recordPath(const std::string &name) { return std::string(StartupRegKey) + "\\" + name; }

bool isRecordName(std::string_view name) { return !name.empty() && name.find('\\') == std::string_view::npos; }

std::string entryName(std::string_view item, std::string_view location) {
  return (item.empty() ? std::string("(the entry without a name)") : "\"" + std::string(item) + "\"") +
         " in " + std::string(location);
}

StartupChangeResult notMoved(std::string reason) { return {StartupChangeKind::NotMoved, std::move(reason)}; }

/// Works out the move, or why there is none.
std::optional<StartupMove> planMove(std::string_view item, std::string_view command, std::string_view location,
                                    bool enabled, int kind, std::string_view recordName, std::string &whyNot) {
  StartupMove move;
  move.item = std::string(item);
  move.command = std::string(command);
  move.enabled = enabled;
  const std::size_t slash = location.find('\\');
  move.rootText = std::string(location.substr(0, slash));
  move.root = ShortNameToRootKey(move.rootText);
  if (slash != std::string_view::npos) move.keyPath = std::string(location.substr(slash + 1));
  if (move.root == 0 || move.keyPath.empty()) {
    whyNot = "its location does not name a registry key";
    return std::nullopt;
  }
  if (isNineXRules(kind)) {
    if (enabled) {
      if (move.keyPath.back() != '-') {
        whyNot = "it is not in a key of disabled entries";
        return std::nullopt;
      }
      move.targetKey = move.keyPath.substr(0, move.keyPath.size() - 1);
    } else {
      move.targetKey = move.keyPath + "-";
    }
    return move;
  }
  if (!isNtRules(kind)) {
    whyNot = "the startup places of this version of Windows are not known";
    return std::nullopt;
  }
  move.ntRules = true;
  move.recordName = std::string(recordName.empty() ? item : recordName);
  // A record is a sub-key named after the entry: without a name it would be the startupreg key
  // itself, which holds every other disabled entry.
  if (!isRecordName(item) || !isRecordName(move.recordName)) {
    whyNot = item.empty() ? "an entry without a name cannot be recorded as disabled"
                          : "an entry whose name holds a backslash cannot be recorded as disabled";
    return std::nullopt;
  }
  return move;
}

/// True when the value exists in the key.
bool hasValue(TRegistry &registry, const std::string &name) { return registry.ValueSize(name) >= 0; }

/// Writes the entry at its new place. On failure nothing is left there.
StartupChangeResult placeEntry(const StartupMove &move) {
  TRegistry registry(platform::access::KeyAllAccess);
  try {
    if (!move.ntRules || move.enabled) {
      // The value goes into a start-up key (9x either way, NT when enabling); it must still be
      // where the row was listed from.
      registry.CurrentRoot(move.root);
      if (!move.ntRules) {
        if (!registry.OpenRegKey(move.keyPath, /*canCreate=*/false) || !hasValue(registry, move.item))
          return notMoved("it is no longer in " + move.rootText + "\\" + move.keyPath);
      } else {
        TRegistry records;
        records.CurrentRoot(HKEY_LOCAL_MACHINE);
        if (!records.KeyPathExists(recordPath(move.recordName)))
          return notMoved("its record is no longer in HKLM\\" + std::string(StartupRegKey));
      }
      const std::string &target = move.ntRules ? move.keyPath : move.targetKey;
      if (!registry.OpenRegKey("\\" + target, /*canCreate=*/true))
        return notMoved(move.rootText + "\\" + target + " cannot be opened for changing");
      if (hasValue(registry, move.item))
        return notMoved(move.rootText + "\\" + target + " already holds a value of that name");
      registry.WriteText(move.item, move.command);
      return {StartupChangeKind::Moved, {}};
    }

    // NT, disabling: the record goes below startupreg.
    registry.CurrentRoot(move.root);
    if (!registry.OpenRegKey(move.keyPath, /*canCreate=*/false) || !hasValue(registry, move.item))
      return notMoved("it is no longer in " + move.rootText + "\\" + move.keyPath);
    registry.CloseRegKey();
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    const std::string record = recordPath(move.recordName);
    if (registry.KeyPathExists(record))
      return notMoved("a disabled entry of that name is already recorded in HKLM\\" + std::string(StartupRegKey));
    if (!registry.OpenRegKey(record, /*canCreate=*/true))
      return notMoved("HKLM\\" + record + " cannot be created");
    try {
      registry.WriteText("command", move.command);
      registry.WriteText("hkey", move.rootText);
      registry.WriteText("inimapping", "0");
      registry.WriteText("item", move.item);
      registry.WriteText("key", move.keyPath);
    } catch (const ERegistryException &) {
      // A half-written record is no record; the key did not exist before.
      registry.CloseRegKey();
      registry.DeleteKeyTree(record);
      throw;
    }
    return {StartupChangeKind::Moved, {}};
  } catch (const ERegistryException &error) {
    return notMoved(error.what());
  }
}

/// Removes the entry from its old place, once its new place is written.
StartupChangeResult removeOrigin(const StartupMove &move) {
  TRegistry registry(platform::access::KeyAllAccess);
  bool removed = false;
  if (move.ntRules && move.enabled) {
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    removed = registry.DeleteKeyTree(recordPath(move.recordName));
  } else {
    registry.CurrentRoot(move.root);
    removed = registry.OpenRegKey(move.keyPath, /*canCreate=*/false) && registry.DeleteNamedValue(move.item);
  }
  if (removed) return {StartupChangeKind::Moved, {}};
  return {StartupChangeKind::LeftInBoth, "its old place could not be removed, so it is now listed twice"};
}

} // namespace

StartupChangeResult SetStartupItemEnabled(std::string_view itemName, std::string_view command,
                                          std::string_view location, bool enabled, int kind,
                                          std::string_view recordName) {
  std::string whyNot;
  const auto move = planMove(itemName, command, location, enabled, kind, recordName, whyNot);
  if (!move) return notMoved(std::move(whyNot));
  StartupChangeResult placed = placeEntry(*move);
  if (!placed) return placed;
  return removeOrigin(*move);
}

bool startupChangesPending(const lists::CheckableList &list, const StartupStates &states) {
  for (int i = 0; i < list.count(); ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (at >= states.size() || list.row(i).checked != states[at]) return true;
  }
  return false;
}

repair::ActionResult applyStartupChanges(lists::CheckableList &list, StartupStates &states, int kind) {
  using Status = repair::ActionResult::Status;
  repair::ActionResult result = repair::ActionResult::ok();
  states.resize(static_cast<std::size_t>(list.count()), false);
  if (!startupChangesPending(list, states)) return result;

  RegistryChange change;
  if (change.refused()) {
    result.fail(Status::RegistryRefused, "No startup entry was changed: " + change.refusal());
    return result;
  }

  struct Placed {
    StartupMove move;
    std::string name;
  };
  std::vector<Placed> placed;
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &row = list.row(i);
    if (row.checked == states[static_cast<std::size_t>(i)]) continue;
    const std::string &location = row.subItem(StartupLocationSubItem);
    const std::string name = entryName(row.caption, location);
    std::string whyNot;
    auto move = planMove(row.caption, row.subItem(StartupCommandSubItem), location, row.checked, kind, row.data,
                         whyNot);
    if (!move) {
      result.fail(Status::RegistryRefused, name + " was not changed: " + whyNot + ".");
      continue;
    }
    if (StartupChangeResult done = placeEntry(*move); !done) {
      result.fail(Status::RegistryRefused, name + " was not changed: " + done.reason + ".");
      continue;
    }
    placed.push_back({std::move(*move), name});
  }
  if (placed.empty()) return result;

  // Every entry is in its new place on disk before any old place goes.
  if (RegistryFlushResult saved = change.flush(); !saved) {
    result.fail(Status::RegistryNotSaved,
                "No startup entry was changed, because the registry could not be saved: " + saved.description() + ".");
    return result;
  }
  for (const Placed &entry : placed) {
    if (StartupChangeResult done = removeOrigin(entry.move); !done) {
      result.fail(Status::RegistryRefused, entry.name + ": " + done.reason + ".");
      continue;
    }
    ++result.count;
  }
  if (RegistryFlushResult saved = change.flush(); !saved) {
    result.count = 0;
    result.fail(Status::RegistryNotSaved, "The changed entries are now both enabled and disabled, because the "
                                          "registry could not be saved after their new places were written: " +
                                              saved.description() + ".");
    return result;
  }
  for (int i = 0; i < list.count(); ++i) states[static_cast<std::size_t>(i)] = list.row(i).checked;
  return result;
}

} // namespace tw::tools
