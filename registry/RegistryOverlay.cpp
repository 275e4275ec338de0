#include "registry/RegistryOverlay.h"

#include "platform/registry/RegistryText.h"
#include "registry/RegistryAccess.h"

#include <algorithm>
#include <array>

namespace tw {

namespace api = platform;
namespace error = platform::error;

namespace {

// Handle values as the backends give them: above the small numbers and four apart.
constexpr api::RegKey FirstHandle = 0x100;
constexpr long BadPathname = 161; // ERROR_BAD_PATHNAME

bool isPredefined(api::RegKey key) { return key >= api::HKEY_CLASSES_ROOT && key <= api::HKEY_DYN_DATA; }

/// Appends the name as the registry compares it.
void appendFolded(std::string &folded, std::string_view name) {
  const std::size_t start = folded.size();
  folded.append(name);
  bool ascii = true;
  for (std::size_t i = start; i < folded.size(); ++i) {
    const auto c = static_cast<unsigned char>(folded[i]);
    ascii = ascii && c < 0x80;
    if (static_cast<unsigned>(c - 'A') < 26u) folded[i] = static_cast<char>(c + 32);
  }
  if (ascii) return;
  folded.resize(start);
  std::u16string units;
  api::detail::appendUtf16(units, name);
  for (char16_t &unit : units) unit = api::detail::foldCase(unit);
  api::detail::appendUtf8(folded, units.data(), units.size());
}

std::string foldName(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  appendFolded(folded, name);
  return folded;
}

std::size_t depthOf(std::string_view folded) {
  return static_cast<std::size_t>(std::count(folded.begin(), folded.end(), '\\'));
}

/// The folded path of a root, where keys reached through it are kept apart from the others.
std::string rootPath(api::RegKey root) {
  switch (root) {
  case api::HKEY_CLASSES_ROOT: return "hkey_local_machine\\software\\classes";
  case api::HKEY_CURRENT_CONFIG: return "hkey_local_machine\\system\\currentcontrolset\\hardware profiles\\current";
  default: {
    const std::string name = RootKeyToFullName(root);
    return name.empty() ? "#" + std::to_string(root) : foldName(name);
  }
  }
}

/// Calls `visit` with each name of a key path; runs of backslashes separate like one.
template <typename Visit>
void forEachName(std::string_view path, Visit &&visit) {
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    if (cut != 0) visit(path.substr(0, cut));
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
}

/// The names of a key path.
std::vector<std::string_view> namesOf(std::string_view path) {
  std::vector<std::string_view> names;
  forEachName(path, [&names](std::string_view name) { names.push_back(name); });
  return names;
}

std::string parentOf(const std::string &folded) { return folded.substr(0, folded.rfind('\\')); }

std::uint32_t grantedAccess(std::uint32_t desired) {
  std::uint32_t access = desired;
  if (access & 0x80000000u) access |= api::access::KeyRead;      // GENERIC_READ
  if (access & 0x40000000u) access |= api::access::KeyWrite;     // GENERIC_WRITE
  if (access & 0x20000000u) access |= api::access::KeyRead;      // GENERIC_EXECUTE
  if (access & 0x12000000u) access |= api::access::KeyAllAccess; // GENERIC_ALL, MAXIMUM_ALLOWED
  return access & api::access::KeyAllAccess;
}

std::string errorText(long code) {
  switch (code) {
  case error::FileNotFound: return "it does not exist (error 2)";
  case error::AccessDenied: return "access is denied (error 5)";
  default: return "error " + std::to_string(code);
  }
}

} // namespace

RegistryOverlay::RegistryOverlay(api::RegistryApi &below) : m_below(below) {
  for (api::RegKey root = api::HKEY_CLASSES_ROOT; root <= api::HKEY_DYN_DATA; ++root) {
    Handle &handle = m_roots[root - api::HKEY_CLASSES_ROOT];
    handle.used = true;
    handle.folded = rootPath(root);
    handle.root = root;
    handle.below = root;
    handle.access = api::access::KeyAllAccess;
  }
}

RegistryOverlay::~RegistryOverlay() {
  for (const Handle &handle : m_handles)
    if (handle.used && handle.below != 0) m_below.closeKey(handle.below);
}

std::size_t RegistryOverlay::changeCount() const {
  std::lock_guard lock(m_mutex);
  return m_changes.size();
}

RegistryOverlay::ValueChange *RegistryOverlay::Node::findValue(const std::string &folded) {
  auto it = valueIndex.find(folded);
  return it == valueIndex.end() ? nullptr : &values[it->second];
}

const RegistryOverlay::ValueChange *RegistryOverlay::Node::findValue(const std::string &folded) const {
  auto it = valueIndex.find(folded);
  return it == valueIndex.end() ? nullptr : &values[it->second];
}

const RegistryOverlay::Node *RegistryOverlay::findNode(const std::string &folded) const {
  auto it = m_nodes.find(folded);
  return it == m_nodes.end() ? nullptr : &it->second;
}

const RegistryOverlay::Node *RegistryOverlay::nodeOf(Handle &h) {
  if (h.nodeAt != m_version) {
    h.node = findNode(h.folded);
    h.nodeAt = m_version;
  }
  return h.node;
}

void RegistryOverlay::markChildrenChanged(const std::string &folded) { m_nodes[folded].childrenChanged = true; }

RegistryOverlay::Node &RegistryOverlay::resetNode(const std::string &folded) {
  Node &node = m_nodes[folded];
  const bool childrenChanged = node.childrenChanged;
  node = Node{};
  node.childrenChanged = childrenChanged;
  return node;
}

// The nearest key the action deleted or made, from the key itself upwards, decides: a deleted
// one hides everything below it, and below a key made here only keys made here exist.
RegistryOverlay::Presence RegistryOverlay::presence(const std::string &folded) const {
  if (!m_structural) return Presence::Below;
  std::string_view path = folded;
  for (std::size_t depth = depthOf(folded), self = 1; depth >= m_shallowest; --depth, self = 0) {
    auto it = m_nodes.find(path);
    if (it != m_nodes.end()) {
      if (it->second.deleted) return Presence::Gone;
      if (it->second.created) return self ? Presence::Here : Presence::Gone;
    }
    const std::size_t cut = path.rfind('\\');
    if (cut == std::string_view::npos) break;
    path = path.substr(0, cut);
  }
  return Presence::Below;
}

long RegistryOverlay::refusedView(std::uint32_t desiredAccess) const {
  // The action's steps name every key where it is stored (rows of the 32-bit half name their
  // Wow6432Node). Through the 32-bit view one stored key would answer to two paths here, and a
  // deletion held under one would not be seen under the other, so that view is refused rather
  // than guessed at.
  if ((desiredAccess & api::access::Wow64_32Key) && m_below.hasTwoViews()) return error::NotSupported;
  return error::Success;
}

long RegistryOverlay::storedKeyPath(api::RegKey key, api::RegKey &root, std::string &subKey) {
  std::lock_guard lock(m_mutex);
  Handle *handle = nullptr;
  if (long status = view(key, handle); status != error::Success) return status;
  if (handle->below != 0 && !isPredefined(key)) return m_below.storedKeyPath(handle->below, root, subKey);
  root = handle->root;
  subKey = handle->path;
  return error::Success;
}

long RegistryOverlay::view(api::RegKey key, Handle *&out) {
  if (isPredefined(key)) {
    out = &m_roots[key - api::HKEY_CLASSES_ROOT];
    return error::Success;
  }
  if (key < FirstHandle || (key - FirstHandle) % 4 != 0) return error::InvalidHandle;
  const std::size_t index = (key - FirstHandle) / 4;
  if (index >= m_handles.size() || !m_handles[index].used) return error::InvalidHandle;
  Handle &handle = m_handles[index];
  // A key deleted since it was opened, or deleted and made again, is another key now.
  if (handle.presentAt != m_structureVersion) {
    const Presence now = presence(handle.folded);
    if (now == Presence::Gone || (now == Presence::Here) != (handle.below == 0)) return error::KeyDeleted;
    handle.presentAt = m_structureVersion;
  }
  out = &handle;
  return error::Success;
}

long RegistryOverlay::allocate(const Handle &handle, api::RegKey &result) {
  std::size_t index = m_handles.size();
  if (!m_freeHandles.empty()) {
    index = m_freeHandles.back();
    m_freeHandles.pop_back();
  } else {
    m_handles.emplace_back();
  }
  // A slot keeps the room of its texts from one key to the next.
  Handle &slot = m_handles[index];
  slot.used = true;
  slot.folded.assign(handle.folded);
  slot.root = handle.root;
  slot.path.assign(handle.path);
  slot.below = handle.below;
  slot.access = handle.access;
  slot.presentAt = m_structureVersion;
  slot.cacheVersion = ~std::uint64_t{0};
  slot.node = nullptr;
  slot.nodeAt = ~std::uint64_t{0};
  slot.children.clear();
  slot.values.clear();
  result = FirstHandle + static_cast<api::RegKey>(index * 4);
  return error::Success;
}

// Appends the names of `subKey` to the key's path and folded path; runs of backslashes separate
// like one.
void RegistryOverlay::appendPath(Handle &key, std::string_view subKey) {
  const bool plain = !subKey.empty() && subKey.front() != '\\' && subKey.back() != '\\' &&
                     subKey.find("\\\\") == std::string_view::npos;
  if (plain) {
    // The usual case, a path of single backslashes, is folded in one piece.
    key.folded += '\\';
    appendFolded(key.folded, subKey);
    if (!key.path.empty()) key.path += '\\';
    key.path += subKey;
    return;
  }
  forEachName(subKey, [&key](std::string_view name) {
    key.folded += '\\';
    appendFolded(key.folded, name);
    if (!key.path.empty()) key.path += '\\';
    key.path += name;
  });
}

long RegistryOverlay::openKey(api::RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
                              api::RegKey &result) {
  if (long status = refusedView(desiredAccess); status != error::Success) return status;
  std::lock_guard lock(m_mutex);
  Handle *from = nullptr;
  if (long status = view(parent, from); status != error::Success) return status;
  // Built in a handle kept for the purpose, whose texts keep their room.
  Handle &opened = m_building;
  opened.root = from->root;
  opened.folded.assign(from->folded);
  opened.path.assign(from->path);
  opened.below = 0;
  appendPath(opened, subKey);
  const api::RegKey fromBelow = from->below;
  const Presence where = presence(opened.folded);
  if (where == Presence::Below && fromBelow != 0) {
    // The registry below answers, and decides what may be done with the key.
    if (long status = m_below.openKey(fromBelow, subKey, desiredAccess, opened.below); status != error::Success)
      return status;
    opened.access = grantedAccess(desiredAccess);
    return allocate(opened, result);
  }
  if (!subKey.empty() && subKey.front() == '\\') return BadPathname;
  if (where != Presence::Here) return error::FileNotFound;
  opened.access = grantedAccess(desiredAccess);
  return allocate(opened, result);
}

long RegistryOverlay::createKey(api::RegKey parent, std::string_view subKey, std::uint32_t desiredAccess,
                                api::RegKey &result, bool *created) {
  if (long status = refusedView(desiredAccess); status != error::Success) return status;
  if (!subKey.empty() && subKey.front() == '\\') return BadPathname;
  const long opened = openKey(parent, subKey, desiredAccess, result);
  if (opened == error::Success) {
    if (created) *created = false;
    return error::Success;
  }
  std::lock_guard lock(m_mutex);
  Handle *from = nullptr;
  if (long status = view(parent, from); status != error::Success) return status;
  if (!(from->access & api::access::CreateSubKey)) return error::AccessDenied;
  // The deepest key of the path that exists must let sub-keys be made below it.
  const std::vector<std::string_view> names = namesOf(subKey);
  const api::RegKey root = from->root;
  std::string folded = from->folded;
  std::string path = from->path;
  bool below = from->below != 0;
  std::size_t missing = 0;
  for (; missing < names.size(); ++missing) {
    const std::string childFolded = folded + "\\" + foldName(names[missing]);
    const std::string childPath = path.empty() ? std::string(names[missing]) : path + "\\" + std::string(names[missing]);
    const Presence where = presence(childFolded);
    if (where == Presence::Gone) break;
    if (where == Presence::Below) {
      api::RegKey probe = 0;
      if (!below || m_below.openKey(root, childPath, api::access::KeyRead, probe) != error::Success) break;
      m_below.closeKey(probe);
    }
    below = where == Presence::Below;
    folded = childFolded;
    path = childPath;
  }
  // Every key of the path exists: it could not be opened as asked.
  if (missing == names.size()) return opened;
  if (below) {
    api::RegKey probe = 0;
    if (long status = m_below.openKey(root, path, api::access::CreateSubKey, probe); status != error::Success)
      return status;
    m_below.closeKey(probe);
  }
  for (; missing < names.size(); ++missing) {
    markChildrenChanged(folded);
    folded += "\\" + foldName(names[missing]);
    if (!path.empty()) path += '\\';
    path += names[missing];
    Node &node = resetNode(folded);
    node.name = std::string(names[missing]);
    node.created = true;
    m_created.insert(folded);
    markStructural(folded);
  }
  record({Change::Kind::CreateKey, root, path, {}, 0, {}, 0});
  Handle made;
  made.root = root;
  made.folded = folded;
  made.path = path;
  made.access = grantedAccess(desiredAccess);
  if (created) *created = true;
  return allocate(made, result);
}

long RegistryOverlay::closeKey(api::RegKey key) {
  if (isPredefined(key)) return error::Success;
  std::lock_guard lock(m_mutex);
  if (key < FirstHandle || (key - FirstHandle) % 4 != 0) return error::InvalidHandle;
  const std::size_t index = (key - FirstHandle) / 4;
  if (index >= m_handles.size() || !m_handles[index].used) return error::InvalidHandle;
  Handle &handle = m_handles[index];
  if (handle.below != 0) m_below.closeKey(handle.below);
  handle.used = false;
  handle.below = 0;
  m_freeHandles.push_back(index);
  return error::Success;
}

std::vector<std::string> RegistryOverlay::mergedChildren(const Handle &h) {
  std::vector<std::string> names;
  std::string name;
  if (h.below != 0)
    for (std::uint32_t i = 0; m_below.enumKey(h.below, i, name) == error::Success; ++i)
      if (presence(h.folded + "\\" + foldName(name)) != Presence::Gone) names.push_back(name);
  // Keys made here, in their place in the order of names.
  const std::string prefix = h.folded + "\\";
  for (auto it = m_created.lower_bound(prefix); it != m_created.end() && it->starts_with(prefix); ++it) {
    if (it->find('\\', prefix.size()) != std::string::npos) continue;
    const std::string &made = m_nodes.at(*it).name;
    auto place = std::lower_bound(names.begin(), names.end(), made, [](const std::string &a, const std::string &b) {
      return api::detail::compareNames(a, b) < 0;
    });
    if (place == names.end() || !api::detail::sameName(*place, made)) names.insert(place, made);
  }
  return names;
}

std::vector<api::RegValue> RegistryOverlay::mergedValues(const Handle &h) {
  std::vector<api::RegValue> values;
  const Node *node = findNode(h.folded);
  std::vector<bool> placed(node ? node->values.size() : 0, false);
  if (h.below != 0) {
    api::RegValue value;
    for (std::uint32_t i = 0; m_below.enumValue(h.below, i, value, api::DataForm::Raw) == error::Success; ++i) {
      const ValueChange *change = node ? node->findValue(foldName(value.name)) : nullptr;
      if (change) {
        // A value replaced keeps its place.
        placed[static_cast<std::size_t>(change - node->values.data())] = true;
        if (change->deleted) continue;
        value.type = change->type;
        value.data = change->raw;
      }
      values.push_back(value);
    }
  }
  for (std::size_t i = 0; i < placed.size(); ++i)
    if (!placed[i] && !node->values[i].deleted)
      values.push_back({node->values[i].name, node->values[i].type, node->values[i].raw});
  return values;
}

void RegistryOverlay::toForm(const api::RegValue &raw, api::RegValue &out, api::DataForm form) {
  out.name = raw.name;
  out.type = raw.type;
  if (form == api::DataForm::Narrow && api::isStringType(raw.type)) {
    const std::string text = api::detail::utf16leBytesToUtf8(raw.data.data(), raw.data.size());
    out.data.assign(text.begin(), text.end());
  } else {
    out.data = raw.data;
  }
}

long RegistryOverlay::queryInfoKey(api::RegKey key, api::KeyInfo &info) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  api::KeyInfo out;
  if (h->below != 0) {
    if (long status = m_below.queryInfoKey(h->below, out); status != error::Success) return status;
  } else if (!(h->access & api::access::QueryValue)) {
    return error::AccessDenied;
  }
  const Node *node = nodeOf(*h);
  if (h->below == 0 || (node && node->childrenChanged)) {
    const std::vector<std::string> children = mergedChildren(*h);
    out.subKeyCount = static_cast<std::uint32_t>(children.size());
    out.maxSubKeyNameLength = 0;
    for (const std::string &name : children)
      out.maxSubKeyNameLength = std::max(out.maxSubKeyNameLength, static_cast<std::uint32_t>(name.size()));
  }
  if (h->below == 0 || (node && !node->values.empty())) {
    const std::vector<api::RegValue> values = mergedValues(*h);
    out.valueCount = static_cast<std::uint32_t>(values.size());
    out.maxValueNameLength = 0;
    out.maxValueDataLength = 0;
    for (const api::RegValue &value : values) {
      out.maxValueNameLength = std::max(out.maxValueNameLength, static_cast<std::uint32_t>(value.name.size()));
      api::RegValue narrow;
      toForm(value, narrow, api::DataForm::Narrow);
      out.maxValueDataLength = std::max(
          out.maxValueDataLength, static_cast<std::uint32_t>(std::max(value.data.size(), narrow.data.size())));
    }
  }
  info = std::move(out);
  return error::Success;
}

void RegistryOverlay::refreshMerged(Handle &h) {
  if (h.cacheVersion == m_version) return;
  h.children = mergedChildren(h);
  h.values = mergedValues(h);
  h.cacheVersion = m_version;
}

long RegistryOverlay::enumKey(api::RegKey key, std::uint32_t index, std::string &name) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  if (const Node *node = nodeOf(*h); h->below != 0 && !(node && node->childrenChanged))
    return m_below.enumKey(h->below, index, name);
  if (!(h->access & api::access::EnumerateSubKeys)) return error::AccessDenied;
  refreshMerged(*h);
  if (index >= h->children.size()) return error::NoMoreItems;
  name = h->children[index];
  return error::Success;
}

long RegistryOverlay::enumValue(api::RegKey key, std::uint32_t index, api::RegValue &value, api::DataForm form) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  const Node *node = nodeOf(*h);
  if (h->below != 0 && (!node || node->values.empty())) return m_below.enumValue(h->below, index, value, form);
  if (!(h->access & api::access::QueryValue)) return error::AccessDenied;
  refreshMerged(*h);
  if (index >= h->values.size()) return error::NoMoreItems;
  toForm(h->values[index], value, form);
  return error::Success;
}

long RegistryOverlay::queryValue(api::RegKey key, std::string_view name, api::RegValue &value,
                                 api::DataForm form) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  if (const Node *node = nodeOf(*h); node && !node->values.empty()) {
    if (const ValueChange *change = node->findValue(foldName(name))) {
      if (!(h->access & api::access::QueryValue)) return error::AccessDenied;
      if (change->deleted) return error::FileNotFound;
      toForm({change->name, change->type, change->raw}, value, form);
      return error::Success;
    }
  }
  if (h->below != 0) return m_below.queryValue(h->below, name, value, form);
  if (!(h->access & api::access::QueryValue)) return error::AccessDenied;
  return error::FileNotFound;
}

void RegistryOverlay::markStructural(const std::string &folded) {
  m_structural = true;
  m_shallowest = std::min(m_shallowest, depthOf(folded));
  ++m_structureVersion;
}

void RegistryOverlay::record(Change change) {
  if (m_tagger) change.tag = m_tagger();
  m_changes.push_back(std::move(change));
  ++m_version;
}

long RegistryOverlay::setValue(api::RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data,
                               std::size_t size, api::DataForm form) {
  if (size > 0 && data == nullptr) return error::InvalidParameter;
  std::vector<std::uint8_t> raw(data, data + size);
  if (form == api::DataForm::Narrow && api::isStringType(type)) {
    std::string units;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    api::detail::appendUtf16leBytes(units, text);
    if (text.empty() || text.back() != '\0') units.append(2, '\0');
    raw.assign(units.begin(), units.end());
  }
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  if (!(h->access & api::access::SetValue)) return error::AccessDenied;
  Node &node = m_nodes[h->folded];
  std::string folded = foldName(name);
  ValueChange *same = node.findValue(folded);
  if (!same) {
    node.valueIndex.emplace(folded, node.values.size());
    same = &node.values.emplace_back(ValueChange{std::move(folded), std::string(name), false, 0, {}});
  }
  same->deleted = false;
  same->type = type;
  same->raw = raw;
  record({Change::Kind::SetValue, h->root, h->path, std::string(name), type, std::move(raw), 0});
  return error::Success;
}

long RegistryOverlay::deleteValue(api::RegKey key, std::string_view name) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  if (!(h->access & api::access::SetValue)) return error::AccessDenied;
  std::string folded = foldName(name);
  auto node = m_nodes.find(h->folded);
  if (ValueChange *change = node != m_nodes.end() ? node->second.findValue(folded) : nullptr) {
    if (change->deleted) return error::FileNotFound;
    change->deleted = true;
    change->raw.clear();
    record({Change::Kind::DeleteValue, h->root, h->path, std::string(name), 0, {}, 0});
    return error::Success;
  }
  if (h->below == 0) return error::FileNotFound;
  api::RegValue present;
  if (long status = m_below.queryValue(h->below, name, present, api::DataForm::Raw); status != error::Success)
    return status;
  Node &changed = m_nodes[h->folded];
  changed.valueIndex.emplace(folded, changed.values.size());
  changed.values.push_back(ValueChange{std::move(folded), present.name, true, 0, {}});
  record({Change::Kind::DeleteValue, h->root, h->path, std::string(name), 0, {}, 0});
  return error::Success;
}

long RegistryOverlay::deleteKey(api::RegKey key, std::string_view subKey) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  if (long status = view(key, h); status != error::Success) return status;
  if (subKey.empty() && !(h->access & api::access::Delete)) return error::AccessDenied;
  if (!subKey.empty() && subKey.front() == '\\') return BadPathname;
  Handle target;
  target.root = h->root;
  target.folded = h->folded;
  target.path = h->path;
  std::string lastName = h->path.substr(h->path.rfind('\\') + 1);
  forEachName(subKey, [&](std::string_view name) {
    target.folded += '\\';
    appendFolded(target.folded, name);
    if (!target.path.empty()) target.path += '\\';
    target.path += name;
    lastName = std::string(name);
  });
  // The roots themselves are never deleted.
  if (target.path.empty()) return error::AccessDenied;
  const Presence where = presence(target.folded);
  if (where == Presence::Gone) return error::FileNotFound;
  if (where == Presence::Below) {
    // The registry below decides whether the key exists and may be deleted.
    if (h->below == 0) return error::FileNotFound;
    if (long status = m_below.openKey(h->below, subKey, api::access::Delete | api::access::EnumerateSubKeys,
                                      target.below);
        status != error::Success)
      return status;
  }
  const bool hasChildren = !mergedChildren(target).empty();
  if (target.below != 0) m_below.closeKey(target.below);
  if (hasChildren) return error::AccessDenied;
  markChildrenChanged(parentOf(target.folded));
  Node &node = resetNode(target.folded);
  node.name = lastName;
  node.deleted = true;
  m_created.erase(target.folded);
  markStructural(target.folded);
  record({Change::Kind::DeleteKey, target.root, target.path, {}, 0, {}, 0});
  return error::Success;
}

long RegistryOverlay::flushKey(api::RegKey key) {
  std::lock_guard lock(m_mutex);
  Handle *h = nullptr;
  return view(key, h);
}

void RegistryOverlay::forgetChanges() {
  m_nodes.clear();
  m_created.clear();
  m_structural = false;
  m_shallowest = ~std::size_t{0};
  ++m_structureVersion;
  m_changes.clear();
  ++m_version;
}

long RegistryOverlay::discardUnflushedChanges() {
  std::lock_guard lock(m_mutex);
  forgetChanges();
  return error::Success;
}

RegistryOverlay::ApplyResult RegistryOverlay::apply() {
  std::lock_guard lock(m_mutex);
  ApplyResult result;
  for (const Change &change : m_changes) {
    long status = error::Success;
    api::RegKey key = 0;
    switch (change.kind) {
    case Change::Kind::CreateKey:
      status = m_below.createKey(change.root, change.path, api::access::KeyRead, key);
      break;
    case Change::Kind::SetValue:
    case Change::Kind::DeleteValue:
      status = m_below.openKey(change.root, change.path, api::access::SetValue, key);
      if (status != error::Success) break;
      status = change.kind == Change::Kind::SetValue
                   ? m_below.setValue(key, change.name, change.type, change.raw.data(), change.raw.size(),
                                      api::DataForm::Raw)
                   : m_below.deleteValue(key, change.name);
      break;
    case Change::Kind::DeleteKey:
      status = m_below.deleteKey(change.root, change.path);
      break;
    }
    if (key != 0) m_below.closeKey(key);
    result.changes.push_back({change.tag, status == error::Success});
    if (status == error::Success || !result.problem.empty()) continue;
    std::string entry = RootKeyToFullName(change.root) + "\\" + change.path;
    if (change.kind == Change::Kind::SetValue || change.kind == Change::Kind::DeleteValue)
      entry += "\\" + change.name;
    const bool removal = change.kind == Change::Kind::DeleteKey || change.kind == Change::Kind::DeleteValue;
    result.problem = entry + " could not be " + (removal ? "removed: " : "written: ") + errorText(status);
  }
  forgetChanges();
  return result;
}

} // namespace tw
