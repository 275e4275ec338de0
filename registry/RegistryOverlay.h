#pragma once
// A registry whose changes are held in memory above another one. An action that must not
// change the registry before its undo records are saved works on an overlay: its deletions,
// new values and new keys are seen at once by its own later reads (enumeration, existence
// tests, snapshots), while the registry below stays untouched until apply() replays them, in
// the order they were made. Whether the registry below keeps writes in memory or writes them
// through at once (advapi32) makes no difference to the action.
//
// Keys are told apart by the path they were reached by, compared as the registry compares
// names; HKEY_CLASSES_ROOT and HKEY_CURRENT_CONFIG count as the keys of HKEY_LOCAL_MACHINE
// that Wine maps them to. Handles of the overlay are its own; opening a key that the overlay
// has not made opens it below as well, so that the registry below decides access rights.

#include "platform/Machine.h"
#include "platform/RegistryApi.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tw {

class RegistryOverlay final : public platform::RegistryApi {
public:
  explicit RegistryOverlay(platform::RegistryApi &below);
  ~RegistryOverlay() override;
  RegistryOverlay(const RegistryOverlay &) = delete;
  RegistryOverlay &operator=(const RegistryOverlay &) = delete;

  /// Tags every later change with what `tagger` returns at the moment it is made (the undo
  /// record being written), so that the outcome of each change can be told per tag.
  void setTagger(std::function<std::uintptr_t()> tagger) { m_tagger = std::move(tagger); }

  /// What became of one held change when it was replayed.
  struct ChangeOutcome {
    std::uintptr_t tag = 0;
    bool applied = false;
  };
  struct ApplyResult {
    /// One per change, in the order they were made.
    std::vector<ChangeOutcome> changes;
    /// The first change the registry below refused, naming the key or value and the error;
    /// empty when every change was made.
    std::string problem;
    bool allApplied() const { return problem.empty(); }
  };
  /// Replays every held change on the registry below, in the order made; a refused change is
  /// skipped and the rest go on. The overlay is empty afterwards. Nothing is flushed.
  ApplyResult apply();
  /// Number of changes held.
  std::size_t changeCount() const;

  long openKey(platform::RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
               platform::RegKey &result) override;
  long createKey(platform::RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
                 platform::RegKey &result, bool *created = nullptr) override;
  long closeKey(platform::RegKey key) override;
  long queryInfoKey(platform::RegKey key, platform::KeyInfo &info) override;
  long enumKey(platform::RegKey key, std::uint32_t index, std::string &name) override;
  long enumValue(platform::RegKey key, std::uint32_t index, platform::RegValue &value,
                 platform::DataForm form = platform::DataForm::Narrow) override;
  long queryValue(platform::RegKey key, std::string_view name, platform::RegValue &value,
                  platform::DataForm form = platform::DataForm::Narrow) override;
  long setValue(platform::RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data,
                std::size_t size, platform::DataForm form = platform::DataForm::Narrow) override;
  long deleteKey(platform::RegKey key, std::string_view subKey) override;
  long deleteValue(platform::RegKey key, std::string_view name) override;
  /// Writes nothing: the held changes reach the registry below through apply().
  long flushKey(platform::RegKey key) override;
  /// Forgets every held change.
  long discardUnflushedChanges() override;
  platform::FlushFailure lastFlushFailure() const override { return m_below.lastFlushFailure(); }
  std::string readOnlyReason() const override { return m_below.readOnlyReason(); }
  bool hasTwoViews() const override { return m_below.hasTwoViews(); }
  /// Where a key is stored; a key made by the action is stored where its path says.
  long storedKeyPath(platform::RegKey key, platform::RegKey &root, std::string &subKey) override;

private:
  struct ValueChange {
    std::string folded;
    std::string name;
    bool deleted = false;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> raw;
  };
  /// A key the action changed, by its folded path.
  struct Node {
    std::string name;
    bool deleted = false;
    /// Made by the action: whatever the registry below holds under this path is not seen.
    bool created = false;
    /// A sub-key of it was deleted or made here, so its list of sub-keys is merged.
    bool childrenChanged = false;
    /// In the order first changed; `valueIndex` finds them by folded name.
    std::vector<ValueChange> values;
    std::unordered_map<std::string, std::size_t> valueIndex;

    ValueChange *findValue(const std::string &folded);
    const ValueChange *findValue(const std::string &folded) const;
  };
  /// Finds nodes by a part of a longer folded path as well.
  struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
  };
  enum class Presence { Gone, Here, Below };
  struct Change {
    enum class Kind { CreateKey, SetValue, DeleteValue, DeleteKey };
    Kind kind;
    platform::RegKey root;
    std::string path;
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> raw;
    std::uintptr_t tag = 0;
  };
  /// An open key: a handle of the overlay, or a predefined root.
  struct Handle {
    bool used = false;
    std::string folded;
    platform::RegKey root = 0;
    std::string path;
    /// The key's handle in the registry below; 0 when it exists only here.
    platform::RegKey below = 0;
    std::uint32_t access = 0;
    /// m_structureVersion when the key was last found present.
    std::uint64_t presentAt = 0;
    /// The key's node, as found when m_version was `nodeAt` (nodes stay where they are until
    /// every change is forgotten, which bumps m_version).
    const Node *node = nullptr;
    std::uint64_t nodeAt = ~std::uint64_t{0};
    /// Enumerations merged from below and here, valid while `cacheVersion` is current.
    std::uint64_t cacheVersion = ~std::uint64_t{0};
    std::vector<std::string> children;
    std::vector<platform::RegValue> values;
  };

  /// NotSupported for an open or create in the 32-bit view of a registry that has two.
  long refusedView(std::uint32_t desiredAccess) const;
  long view(platform::RegKey key, Handle *&out);
  Presence presence(const std::string &folded) const;
  const Node *findNode(const std::string &folded) const;
  /// The handle's node, looked up once per change.
  const Node *nodeOf(Handle &h);
  /// The node of a key whose sub-keys changed, keeping what it was (a reset node keeps the mark).
  void markChildrenChanged(const std::string &folded);
  /// Makes the node of `folded` a fresh one, keeping whether its sub-keys changed.
  Node &resetNode(const std::string &folded);
  long allocate(const Handle &handle, platform::RegKey &result);
  static void appendPath(Handle &key, std::string_view subKey);
  std::vector<std::string> mergedChildren(const Handle &h);
  std::vector<platform::RegValue> mergedValues(const Handle &h);
  /// Makes the handle's merged sub-keys and values current.
  void refreshMerged(Handle &h);
  void record(Change change);
  void markStructural(const std::string &folded);
  /// Drops every held change (the lock held).
  void forgetChanges();
  static void toForm(const platform::RegValue &raw, platform::RegValue &out, platform::DataForm form);

  platform::RegistryApi &m_below;
  std::function<std::uintptr_t()> m_tagger;
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, Node, PathHash, std::equal_to<>> m_nodes;
  /// True once a key was deleted or made here: until then every key is as below.
  bool m_structural = false;
  /// The fewest backslashes in the folded path of a key deleted or made here: keys above that
  /// depth are as below.
  std::size_t m_shallowest = ~std::size_t{0};
  /// Bumped whenever a key is deleted or made.
  std::uint64_t m_structureVersion = 0;
  /// Folded paths of the keys made here, in order, for listing sub-keys.
  std::set<std::string, std::less<>> m_created;
  std::vector<Change> m_changes;
  std::uint64_t m_version = 0;
  std::vector<Handle> m_handles;
  /// The predefined roots.
  std::array<Handle, 7> m_roots;
  /// Where openKey puts a key together before it takes a slot.
  Handle m_building;
  std::vector<std::size_t> m_freeHandles;
};

/// The machine of an action whose registry changes are held in an overlay: `outer` with the
/// overlay as its registry.
class OverlayMachine final : public platform::Machine {
public:
  OverlayMachine(platform::Machine &outer, RegistryOverlay &registry) : m_outer(outer), m_registry(registry) {}
  platform::RegistryApi &registry() override { return m_registry; }
  platform::FileSystem &files() override { return m_outer.files(); }
  platform::SystemInfo &system() override { return m_outer.system(); }
  platform::ProcessLauncher &processes() override { return m_outer.processes(); }

private:
  platform::Machine &m_outer;
  RegistryOverlay &m_registry;
};

} // namespace tw
