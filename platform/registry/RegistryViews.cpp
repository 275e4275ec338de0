#include "platform/registry/RegistryViews.h"

#include "platform/RegistryApi.h"
#include "platform/registry/RegistryText.h"

namespace tw::platform::detail {

static constexpr std::string_view Wow6432Node = "Wow6432Node";

static bool isWowName(std::string_view name) { return sameName(name, Wow6432Node); }

std::vector<std::string_view> splitKeyPath(std::string_view path) {
  std::vector<std::string_view> names;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view name = path.substr(0, cut);
    if (!name.empty()) names.push_back(name);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return names;
}

namespace {

// The view rules over one store, for one walk.
class View32 {
public:
  View32(const RegistryStore &store, const ViewKeys &keys) : m_store(store), m_keys(keys) {}

  KeyId parent(KeyId key) const { return m_store.key(key).parent; }

  // The Wow6432Node a key is redirected to (followed if it is a link), or NoKey. A Wow6432Node
  // is never redirected to its own Wow6432Node.
  KeyId redirection(KeyId key) const {
    if (isWowName(m_store.keyName(key))) return NoKey;
    KeyId wow = m_store.findChild(key, Wow6432Node);
    return wow == NoKey ? NoKey : m_store.followLink(wow);
  }

  // True for the classes' Wow6432Node, whose missing names fall back to the classes key.
  bool isShared(KeyId key) const {
    if (key == NoKey || !isWowName(m_store.keyName(key))) return false;
    KeyId classes = parent(key);
    if (classes == NoKey) return false;
    if (classes == m_keys.machineClasses) return true;
    if (!sameName(m_store.keyName(classes), "Classes")) return false;
    KeyId software = parent(classes);
    return software != NoKey && sameName(m_store.keyName(software), "Software") && parent(software) == m_keys.currentUser;
  }

  // The key a 32-bit program reaches when it opens `key` itself: the key below the nearest
  // Wow6432Node above it that has the same path, or `key` when there is none (NoKey when the
  // Wow6432Node lacks it). Depth is bounded by the tree's, which loading caps.
  KeyId counterpart(KeyId key) const {
    if (KeyId wow = redirection(key); wow != NoKey) return wow;
    KeyId up = parent(key);
    if (up == NoKey) return key;
    if (isWowName(m_store.keyName(key)) && redirection(up) == key) return key;
    KeyId upCounterpart = counterpart(up);
    if (upCounterpart == up) return key;
    if (upCounterpart == NoKey) return NoKey;
    KeyId same = m_store.findChild(upCounterpart, m_store.keyName(key));
    return same == NoKey ? NoKey : m_store.followLink(same);
  }

private:
  const RegistryStore &m_store;
  const ViewKeys &m_keys;
};

} // namespace

long walkView32(const RegistryStore &store, const ViewKeys &keys, KeyId from,
                const std::vector<std::string_view> &names, bool allowMissing, ViewWalk &out) {
  View32 view(store, keys);
  KeyId at = store.followLink(from);
  if (at == NoKey) return error::FileNotFound;
  if (names.empty() || !isWowName(names.front())) {
    KeyId start = view.counterpart(at);
    if (start != NoKey) at = start;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    KeyId child = store.findChild(at, names[i]);
    if (child == NoKey && view.isShared(at)) {
      at = view.parent(at);
      child = store.findChild(at, names[i]);
    }
    if (child == NoKey) {
      if (!allowMissing) return error::FileNotFound;
      out = {at, i};
      return error::Success;
    }
    if (store.key(child).flags & keyflag::Link) {
      child = store.followLink(child);
      if (child == NoKey) return error::FileNotFound;
      if (last && view.isShared(child)) child = view.parent(child);
    } else if (!last && !isWowName(names[i + 1])) {
      if (KeyId wow = view.redirection(child); wow != NoKey) child = wow;
    }
    at = child;
  }
  if (KeyId wow = view.redirection(at); wow != NoKey && !view.isShared(wow)) at = wow;
  out = {at, names.size()};
  return error::Success;
}

} // namespace tw::platform::detail
