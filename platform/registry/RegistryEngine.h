#pragma once
// The eleven registry calls over a RegistryStore: key handles, the predefined roots, access
// rights and the read-only rules. Both backends are this engine; the wine backend adds the
// files and hands in how changes are saved. Private to the registry backends.

#include "platform/RegistryApi.h"
#include "platform/registry/RegistryStore.h"
#include "platform/registry/RegistryViews.h"
#include "platform/registry/SpinLock.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>

namespace tw::platform::detail {

/// The keys the predefined roots stand for.
struct RootKeys {
  KeyId classesRoot = NoKey;
  KeyId currentUser = NoKey;
  KeyId localMachine = NoKey;
  KeyId users = NoKey;
  KeyId currentConfig = NoKey;
  KeyId dynData = NoKey;
};

/// Opens (and creates where missing) the keys of `path` below the tree's root, following
/// links, and returns the last one. Keys created here count as changed keys of their file but
/// do not make the file need saving. NoKey only if a link on the way is broken.
KeyId ensureKeyPath(RegistryStore &store, std::string_view path);

class RegistryEngine final : public RegistryApi {
public:
  /// Saves the store's changed files and forgets the undo records of what it saved; returns a
  /// Windows error code. Without one, flushKey keeps nothing and forgets every undo record.
  using FlushFunction = std::function<long(RegistryStore &)>;

  RegistryEngine(std::unique_ptr<RegistryStore> store, const RootKeys &roots, FlushFunction flush);

  /// Refuses every change (opens asking for a modifying right fail with AccessDenied).
  void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
  bool isReadOnly() const { return m_readOnly; }
  /// Gives the registry a 32-bit view besides the 64-bit one (a 64-bit prefix): opens with
  /// access::Wow64_32Key then resolve as RegistryViews.h says. Without it both flags are ignored.
  void setTwoViews(bool twoViews) { m_twoViews = twoViews; }
  bool hasTwoViews() const override { return m_twoViews; }
  /// The clock that stamps changed keys (FILETIME); tests may fix it.
  void setClock(std::function<std::uint64_t()> clock) { m_clock = std::move(clock); }
  RegistryStore &store() { return *m_store; }

  long openKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result) override;
  long createKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result,
                 bool *created = nullptr) override;
  long closeKey(RegKey key) override;
  long queryInfoKey(RegKey key, KeyInfo &info) override;
  long enumKey(RegKey key, std::uint32_t index, std::string &name) override;
  long enumValue(RegKey key, std::uint32_t index, RegValue &value, DataForm form = DataForm::Narrow) override;
  long queryValue(RegKey key, std::string_view name, RegValue &value, DataForm form = DataForm::Narrow) override;
  long setValue(RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data, std::size_t size,
                DataForm form = DataForm::Narrow) override;
  long deleteKey(RegKey key, std::string_view subKey) override;
  long deleteValue(RegKey key, std::string_view name) override;
  long flushKey(RegKey key) override;
  long discardUnflushedChanges() override;
  long storedKeyPath(RegKey key, RegKey &root, std::string &subKey) override;
  /// The engine alone keeps nothing on disk, so no flush of it fails.
  FlushFailure lastFlushFailure() const override { return {}; }

  /// Puts the tree of `fresh` (the files read again) in place of the one in memory, with its
  /// roots; every open handle of a key below a root then fails with KeyDeleted. `whileLocked`
  /// runs while neither a reader, a writer nor a flush can see the tree, so that the owner can
  /// replace what it keeps about the files at the same moment.
  void replaceTree(std::unique_ptr<RegistryStore> fresh, const RootKeys &roots,
                   const std::function<void()> &whileLocked);

private:
  /// What a handle remembers besides its key: the view it was opened in (keys opened relative
  /// to it stay there) and the predefined root it descends from (by index, NoRoot if none).
  struct Origin {
    bool view32 = false;
    std::uint8_t root = NoRoot;
  };
  static constexpr std::uint8_t NoRoot = 0xFF;
  struct Handle {
    KeyId key = NoKey;
    std::uint32_t generation = 0;
    std::uint32_t access = 0;
    bool used = false;
    Origin origin;
  };
  struct Resolved {
    KeyId key = NoKey;
    std::uint32_t access = 0;
    bool isRoot = false;
    Origin origin;
  };

  long resolve(RegKey handle, Resolved &out) const;
  long walk(KeyId from, std::string_view path, KeyId &result) const;
  long allocateHandle(KeyId key, std::uint32_t access, RegKey &result, Origin origin);
  /// The view an open relative to `base` with `desiredAccess` works in.
  Origin originOf(const Resolved &base, std::uint32_t desiredAccess) const;
  ViewKeys viewKeys() const;
  bool isWritable(KeyId key) const;
  bool isProtected(KeyId key) const;
  std::uint32_t grantedAccess(std::uint32_t desired, KeyId key, long &error) const;
  std::uint64_t now() const { return m_clock(); }
  void fillValue(const Key &k, const Value &v, RegValue &out, DataForm form) const;
  void takeRoots(const RootKeys &roots);

  std::unique_ptr<RegistryStore> m_store;
  std::array<KeyId, 7> m_roots{};
  std::array<std::uint32_t, 7> m_rootGenerations{};
  FlushFunction m_flush;
  std::function<std::uint64_t()> m_clock;
  bool m_readOnly = false;
  bool m_twoViews = false;

  mutable SpinLock m_handleMutex;
  std::vector<Handle> m_handles;
  std::vector<std::uint32_t> m_freeHandles;
  std::mutex m_flushMutex;
};

} // namespace tw::platform::detail
