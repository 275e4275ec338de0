#pragma once
// The registry tree shared by the backends: keys with sorted children and values in creation
// order. Keys and values loaded from a registry file point into the file's bytes (kept in
// memory) and are decoded only when asked for; anything changed afterwards owns its data.
// Private to the registry backends.
//
// Locking: the store itself does not lock. Its owner (RegistryEngine) holds mutex() shared
// for reading and exclusively for changes.

#include <cstdint>
#include "platform/registry/ChildIndex.h"
#include "platform/registry/ValueIndex.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

using KeyId = std::uint32_t;
inline constexpr KeyId NoKey = 0xFFFFFFFFu;
inline constexpr std::uint8_t NoFile = 0xFF;

/// A span of a file's bytes.
struct Slice {
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

/// How a value's data is held.
enum class DataKind : std::uint8_t {
  Owned,      // bytes in ValueExtra::data, exactly as stored
  FileString, // escaped text between the quotes of a "..." / str(N):"..." value
  FileDword,  // the hex digits of a dword: value
  FileHex,    // the comma-separated bytes of a hex: / hex(N): value, continuation lines included
};

struct ValueExtra {
  bool ownsName = false;
  std::string name;
  std::vector<std::uint8_t> data;
};

struct Value {
  Slice name;
  Slice text;
  std::uint32_t type = 0;
  DataKind kind = DataKind::Owned;
  std::unique_ptr<ValueExtra> extra;
};

struct KeyExtra {
  KeyExtra() = default;
  KeyExtra(const KeyExtra &) = delete;
  KeyExtra &operator=(const KeyExtra &) = delete;
  ~KeyExtra() {
    delete children.load();
    delete values.load();
  }

  bool ownsName = false;
  std::string name;
  bool hasClass = false;
  std::u16string className;
  /// The index of the sub-keys of a key with many, made by the first lookup that needs it
  /// (readers may race to it, so it is published once, atomically) and kept up to date by
  /// every change after that.
  mutable std::atomic<ChildIndex *> children{nullptr};
  /// The same for the values of a key with many.
  mutable std::atomic<ValueIndex *> values{nullptr};
};

/// Flags of a key.
namespace keyflag {
inline constexpr std::uint8_t Used = 0x01;     // the slot holds a live key
inline constexpr std::uint8_t Link = 0x02;     // symbolic link (#link)
inline constexpr std::uint8_t Changed = 0x04;  // differs from its block in the file
inline constexpr std::uint8_t InFile = 0x08;   // has a block of its own in the loaded file
} // namespace keyflag

struct Key {
  Slice name;
  Slice block; // the key's lines in its file, from '[' to the end of its last line
  std::unique_ptr<KeyExtra> extra;
  std::vector<KeyId> children; // sorted as compareNames sorts
  std::vector<Value> values;   // in creation (file) order
  std::uint64_t modified = 0;  // FILETIME
  KeyId parent = NoKey;
  std::uint32_t generation = 0;
  std::uint8_t file = NoFile;
  std::uint8_t flags = 0;
};

/// One registry file behind a branch of the tree.
struct BranchFile {
  std::string path;
  std::string bytes;    // the file as loaded; slices point here
  KeyId branch = NoKey; // the key whose sub-tree the file holds
  std::string rootText; // what follows ";; All keys relative to " (escaped)
  bool writable = true;
  std::uint64_t changes = 0; // bumped on every change below `branch`
  std::uint64_t saved = 0;   // value of `changes` that is on disk
};

/// One change recorded since the last flush, with what it takes to undo it.
struct JournalEntry {
  enum class Kind : std::uint8_t { Touch, AddValue, ReplaceValue, RemoveValue, AddKey, RemoveKey };
  Kind kind = Kind::Touch;
  std::uint8_t flags = 0;       // Touch: the key's flags before
  std::uint8_t file = NoFile;   // the file the change belongs to
  KeyId key = NoKey;
  std::uint32_t index = 0;      // value index, or the position among the parent's children
  std::uint64_t modified = 0;   // Touch: the key's time before
  Value value;                  // ReplaceValue, RemoveValue: the value before
  std::unique_ptr<Key> removed; // RemoveKey: the key as it was
};

/// A value's data decoded as stored.
struct ValueData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

class RegistryStore {
public:
  RegistryStore();

  std::shared_mutex &mutex() const { return m_mutex; }
  KeyId root() const { return 0; }

  // --- keys -------------------------------------------------------------------------------
  bool isLive(KeyId id) const { return id < m_keys.size() && (m_keys[id].flags & keyflag::Used); }
  std::uint32_t generation(KeyId id) const { return m_keys[id].generation; }
  const Key &key(KeyId id) const { return m_keys[id]; }
  Key &key(KeyId id) { return m_keys[id]; }
  std::string_view keyName(KeyId id) const {
    const Key &k = m_keys[id];
    if (k.extra && k.extra->ownsName) return k.extra->name;
    // Loading checked every slice against its file.
    return std::string_view(m_files[k.file].bytes.data() + k.name.offset, k.name.length);
  }
  /// The child named `name` (compared as Wine compares), or NoKey; `insertAt` (optional)
  /// receives the position where such a child belongs.
  KeyId findChild(KeyId parent, std::string_view name, std::size_t *insertAt = nullptr) const;
  /// Adds a child with an owned name at `position` (from findChild), in the parent's file.
  KeyId addChild(KeyId parent, std::string_view name, std::size_t position, std::uint64_t modified);
  /// Adds a child whose name is a slice of `file`'s bytes (loading).
  KeyId addChildSlice(KeyId parent, Slice name, std::uint8_t file, std::size_t position);
  /// Removes a key that has no children.
  void removeKey(KeyId id);
  /// Follows a link key to its target (up to a fixed depth); `id` itself if not a link;
  /// NoKey if the target does not exist.
  KeyId followLink(KeyId id) const { return (m_keys[id].flags & keyflag::Link) ? followLinkTarget(id) : id; }

  // --- values -----------------------------------------------------------------------------
  std::string_view valueName(const Key &k, const Value &v) const;
  /// Index of the value named `name`, or -1.
  long findValue(KeyId id, std::string_view name) const;
  /// Lets a key with many values be given its value index by the first lookup that needs it
  /// (loading adds values without it).
  void prepareValueIndex(Key &k);
  ValueData valueData(const Key &k, const Value &v) const;
  /// Appends the value's data as stored.
  void appendValueData(const Key &k, const Value &v, std::vector<std::uint8_t> &out) const;
  /// Appends string data as WTF-8 (with its terminating zeros), other data as stored.
  void appendNarrowData(const Key &k, const Value &v, std::vector<std::uint8_t> &out) const;
  /// Size in bytes of the value's data as stored (decoding file text when needed).
  std::size_t valueSize(const Key &k, const Value &v) const;

  // --- changes (callers hold the lock exclusively) ----------------------------------------
  /// Creates or replaces a value; false when nothing changed (same type and data).
  bool setValue(KeyId id, std::string_view name, std::uint32_t type, const std::uint8_t *data,
                std::size_t size, std::uint64_t now);
  void deleteValue(KeyId id, std::size_t index, std::uint64_t now);
  /// Marks a key changed now: new modification time, its file has unsaved changes.
  void touch(KeyId id, std::uint64_t now);
  void setClassName(KeyId id, std::u16string className);

  // --- undo -------------------------------------------------------------------------------
  /// Takes back every recorded change, newest first.
  void rollBack();
  /// Forgets the recorded changes of the files for which `keep(file)` is false; the others
  /// stay undoable. Keys outside any file count as file NoFile.
  template <typename Keep>
  void forgetChanges(Keep &&keep) {
    std::erase_if(m_journal, [&](const JournalEntry &e) { return !keep(e.file); });
    if (m_journal.empty()) releasePendingSlots();
  }
  bool hasUnflushedChanges() const { return !m_journal.empty(); }

  // --- files ------------------------------------------------------------------------------
  std::vector<BranchFile> &files() { return m_files; }
  const std::vector<BranchFile> &files() const { return m_files; }
  std::string_view fileText(std::uint8_t file, Slice s) const {
    return std::string_view(m_files[file].bytes).substr(s.offset, s.length);
  }
  void markFileChanged(std::uint8_t file) {
    if (file != NoFile) ++m_files[file].changes;
  }
  std::size_t keySlots() const { return m_keys.size(); }
  /// Takes over the keys, files and undo records of `other` (read afresh from the files), in
  /// place of this store's; the locks stay. Callers hold the lock exclusively.
  void replaceTree(RegistryStore &&other);
  void reserveKeys(std::size_t n) { m_keys.reserve(n); }

private:
  KeyId followLinkTarget(KeyId id) const;
  KeyId allocateKey();
  void linkChild(KeyId parent, KeyId child, std::size_t position);
  const ChildIndex &childIndex(const Key &parent) const;
  const ValueIndex &valueIndex(const Key &k) const;
  /// Forgets the value index of the key, to be made afresh by the next lookup that needs it.
  static void dropValueIndex(Key &k);
  /// Where the key stands in its parent's list of sub-keys.
  std::size_t positionAmongSiblings(KeyId id) const;
  void unlinkChild(KeyId parent, KeyId child, std::size_t position);
  void record(JournalEntry::Kind kind, KeyId id, std::uint32_t index);
  void releasePendingSlots();
  std::vector<Key> m_keys; // slot 0 is the tree's root
  std::vector<KeyId> m_freeKeys;
  // Slots of keys removed since the last flush; reused only once no undo can bring them back.
  std::vector<KeyId> m_pendingFreeKeys;
  std::vector<JournalEntry> m_journal;
  mutable std::mutex m_indexMutex; // serialises the making of sub-key and value indexes by readers
  std::vector<BranchFile> m_files;
  mutable std::shared_mutex m_mutex;
};

/// The current time as a Windows FILETIME.
std::uint64_t fileTimeNow();

} // namespace tw::platform::detail
