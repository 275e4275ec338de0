#include "platform/registry/RegistryEngine.h"

#include "platform/registry/RegistryText.h"

#include <cassert>
#include <cstring>
#include <limits>

namespace tw::platform::detail {

namespace {
// Handle values start above the small numbers callers might mistake for valid keys and step
// by four, as Windows handles do.
constexpr RegKey FirstHandle = 0x100;
// A program that leaks handles gets an error instead of exhausting memory.
constexpr std::size_t MaxOpenHandles = 1u << 20;
constexpr long NoSystemResources = 1450; // ERROR_NO_SYSTEM_RESOURCES
constexpr long BadPathname = 161;        // ERROR_BAD_PATHNAME
// Windows limits: key names of 255 characters, value names of 16383.
constexpr std::size_t MaxKeyNameUnits = 255;
constexpr std::size_t MaxValueNameUnits = 16383;

constexpr std::uint32_t GenericRead = 0x80000000u;
constexpr std::uint32_t GenericWrite = 0x40000000u;
constexpr std::uint32_t GenericExecute = 0x20000000u;
constexpr std::uint32_t GenericAll = 0x10000000u;
constexpr std::uint32_t MaximumAllowed = 0x02000000u;

constexpr std::string_view SymbolicLinkValueName = "SymbolicLinkValue";

std::size_t rootIndex(RegKey key) { return key - HKEY_CLASSES_ROOT; }
bool isPredefined(RegKey key) { return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA; }

std::size_t utf16Length(std::string_view text) {
  std::u16string units;
  appendUtf16(units, text);
  return units.size();
}

// Splits a key path into its names; runs of backslashes separate like one.
template <typename Visit>
void forEachName(std::string_view path, Visit &&visit) {
  const char *at = path.data();
  const char *end = at + path.size();
  while (at != end && *at == '\\') ++at;
  while (at != end) {
    const void *cut = std::memchr(at, '\\', static_cast<std::size_t>(end - at));
    const char *stop = cut ? static_cast<const char *>(cut) : end;
    const std::string_view name(at, static_cast<std::size_t>(stop - at));
    for (at = stop; at != end && *at == '\\';) ++at;
    if (!visit(name, at == end)) return;
  }
}

} // namespace

KeyId ensureKeyPath(RegistryStore &store, std::string_view path) {
  KeyId at = store.root();
  bool broken = false;
  forEachName(path, [&](std::string_view name, bool) {
    std::size_t position = 0;
    KeyId child = store.findChild(at, name, &position);
    if (child == NoKey) child = store.addChild(at, name, position, fileTimeNow());
    at = store.followLink(child);
    broken = at == NoKey;
    return !broken;
  });
  return broken ? NoKey : at;
}

RegistryEngine::RegistryEngine(std::unique_ptr<RegistryStore> store, const RootKeys &roots, FlushFunction flush)
    : m_store(std::move(store)), m_flush(std::move(flush)), m_clock(&fileTimeNow) {
  takeRoots(roots);
  m_store->forgetChanges([](std::uint8_t) { return false; }); // the tree as handed over is the baseline
}

void RegistryEngine::takeRoots(const RootKeys &roots) {
  m_roots = {roots.classesRoot, roots.currentUser, roots.localMachine, roots.users,
             NoKey,             roots.currentConfig, roots.dynData};
  for (std::size_t i = 0; i < m_roots.size(); ++i)
    if (m_roots[i] != NoKey) m_rootGenerations[i] = m_store->generation(m_roots[i]);
}

void RegistryEngine::replaceTree(std::unique_ptr<RegistryStore> fresh, const RootKeys &roots,
                                 const std::function<void()> &whileLocked) {
  std::lock_guard flushing(m_flushMutex);
  std::unique_lock lock(m_store->mutex());
  m_store->replaceTree(std::move(*fresh));
  takeRoots(roots);
  m_store->forgetChanges([](std::uint8_t) { return false; });
  {
    // Key numbers of the old tree name other keys in the new one: no handle may keep one.
    std::lock_guard handles(m_handleMutex);
    for (Handle &handle : m_handles) handle.key = NoKey;
  }
  if (whileLocked) whileLocked();
}

long RegistryEngine::resolve(RegKey handle, Resolved &out) const {
  if (isPredefined(handle)) {
    std::size_t i = rootIndex(handle);
    KeyId id = m_roots[i];
    if (id == NoKey) return error::InvalidHandle;
    if (!m_store->isLive(id) || m_store->generation(id) != m_rootGenerations[i]) return error::KeyDeleted;
    out = {id, access::KeyAllAccess, true, {false, static_cast<std::uint8_t>(i)}};
    return error::Success;
  }
  if (handle < FirstHandle || (handle - FirstHandle) % 4 != 0) return error::InvalidHandle;
  Handle slot;
  {
    std::lock_guard lock(m_handleMutex);
    std::size_t index = (handle - FirstHandle) / 4;
    if (index >= m_handles.size() || !m_handles[index].used) return error::InvalidHandle;
    slot = m_handles[index];
  }
  if (!m_store->isLive(slot.key) || m_store->generation(slot.key) != slot.generation) return error::KeyDeleted;
  out = {slot.key, slot.access, false, slot.origin};
  return error::Success;
}

long RegistryEngine::walk(KeyId from, std::string_view path, KeyId &result) const {
  if (!path.empty() && path.front() == '\\') return BadPathname;
  KeyId at = m_store->followLink(from);
  long status = at == NoKey ? error::FileNotFound : error::Success;
  if (status != error::Success) return status;
  forEachName(path, [&](std::string_view name, bool) {
    KeyId child = m_store->findChild(at, name);
    at = child == NoKey ? NoKey : m_store->followLink(child);
    if (at == NoKey) status = error::FileNotFound;
    return at != NoKey;
  });
  if (status == error::Success) result = at;
  return status;
}

long RegistryEngine::allocateHandle(KeyId key, std::uint32_t access, RegKey &result, Origin origin) {
  std::lock_guard lock(m_handleMutex);
  std::size_t index = 0;
  if (!m_freeHandles.empty()) {
    index = m_freeHandles.back();
    m_freeHandles.pop_back();
  } else {
    if (m_handles.size() >= MaxOpenHandles) return NoSystemResources;
    index = m_handles.size();
    m_handles.emplace_back();
  }
  m_handles[index] = {key, m_store->generation(key), access, true, origin};
  result = FirstHandle + static_cast<RegKey>(index * 4);
  return error::Success;
}

bool RegistryEngine::isWritable(KeyId key) const {
  if (m_readOnly) return false;
  std::uint8_t file = m_store->key(key).file;
  return file == NoFile || m_store->files()[file].writable;
}

bool RegistryEngine::isProtected(KeyId key) const {
  if (key == m_store->root()) return true;
  for (KeyId root : m_roots)
    if (root == key) return true;
  for (const BranchFile &file : m_store->files())
    if (file.branch == key) return true;
  return false;
}

std::uint32_t RegistryEngine::grantedAccess(std::uint32_t desired, KeyId key, long &error) const {
  std::uint32_t access = desired;
  if (access & GenericRead) access |= access::KeyRead;
  if (access & GenericWrite) access |= access::KeyWrite;
  if (access & GenericExecute) access |= access::KeyRead;
  if (access & GenericAll) access |= access::KeyAllAccess;
  bool maximum = (access & MaximumAllowed) != 0;
  if (maximum) access |= access::KeyAllAccess;
  access &= access::KeyAllAccess;
  error = error::Success;
  if ((access & access::Modifying) && !isWritable(key)) {
    if (maximum) return access & ~access::Modifying;
    error = error::AccessDenied;
  }
  return access;
}

RegistryEngine::Origin RegistryEngine::originOf(const Resolved &base, std::uint32_t desiredAccess) const {
  Origin origin = base.origin;
  if (!m_twoViews) origin.view32 = false;
  else if (desiredAccess & access::Wow64_32Key) origin.view32 = true;
  else if (desiredAccess & access::Wow64_64Key) origin.view32 = false;
  return origin;
}

ViewKeys RegistryEngine::viewKeys() const {
  return {m_roots[rootIndex(HKEY_CLASSES_ROOT)], m_roots[rootIndex(HKEY_CURRENT_USER)]};
}

long RegistryEngine::openKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result) {
  std::shared_lock lock(m_store->mutex());
  Resolved base;
  if (long status = resolve(parent, base); status != error::Success) return status;
  const Origin origin = originOf(base, desiredAccess);
  KeyId target = NoKey;
  if (!origin.view32) {
    if (long status = walk(base.key, subKey, target); status != error::Success) return status;
  } else {
    if (!subKey.empty() && subKey.front() == '\\') return BadPathname;
    ViewWalk reached;
    if (long status = walkView32(*m_store, viewKeys(), base.key, splitKeyPath(subKey), /*allowMissing=*/false, reached);
        status != error::Success)
      return status;
    target = reached.key;
  }
  long status = error::Success;
  std::uint32_t access = grantedAccess(desiredAccess, target, status);
  if (status != error::Success) return status;
  return allocateHandle(target, access, result, origin);
}

long RegistryEngine::createKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result,
                               bool *created) {
  if (!subKey.empty() && subKey.front() == '\\') return BadPathname;
  std::unique_lock lock(m_store->mutex());
  Resolved base;
  if (long status = resolve(parent, base); status != error::Success) return status;
  const Origin origin = originOf(base, desiredAccess);
  KeyId at = m_store->followLink(base.key);
  if (at == NoKey) return error::FileNotFound;

  // Find the first missing name; everything before it must exist (links are followed).
  std::vector<std::string_view> missing;
  long status = error::Success;
  if (origin.view32) {
    std::vector<std::string_view> names = splitKeyPath(subKey);
    ViewWalk reached;
    if (long s = walkView32(*m_store, viewKeys(), base.key, names, /*allowMissing=*/true, reached); s != error::Success)
      return s;
    at = reached.key;
    missing.assign(names.begin() + static_cast<std::ptrdiff_t>(reached.firstMissing), names.end());
  } else forEachName(subKey, [&](std::string_view name, bool) {
    if (!missing.empty()) {
      missing.push_back(name);
      return true;
    }
    KeyId child = m_store->findChild(at, name);
    if (child == NoKey) {
      missing.push_back(name);
      return true;
    }
    at = m_store->followLink(child);
    if (at == NoKey) status = error::FileNotFound;
    return at != NoKey;
  });
  if (status != error::Success) return status;
  for (std::string_view name : missing)
    if (utf16Length(name) > MaxKeyNameUnits) return error::InvalidParameter;
  if (!missing.empty() && (!(base.access & access::CreateSubKey) || !isWritable(at))) return error::AccessDenied;
  KeyId finalKey = missing.empty() ? at : NoKey;
  std::uint32_t access = grantedAccess(desiredAccess, at, status);
  if (status != error::Success) return status;

  std::uint64_t stamp = now();
  for (std::string_view name : missing) {
    std::size_t position = 0;
    m_store->findChild(at, name, &position);
    KeyId child = m_store->addChild(at, name, position, stamp);
    m_store->touch(at, stamp);
    at = child;
  }
  if (finalKey == NoKey) finalKey = at;
  if (long s = allocateHandle(finalKey, access, result, origin); s != error::Success) return s;
  if (created) *created = !missing.empty();
  return error::Success;
}

long RegistryEngine::closeKey(RegKey key) {
  if (isPredefined(key)) return error::Success;
  if (key < FirstHandle || (key - FirstHandle) % 4 != 0) return error::InvalidHandle;
  std::lock_guard lock(m_handleMutex);
  std::size_t index = (key - FirstHandle) / 4;
  if (index >= m_handles.size() || !m_handles[index].used) return error::InvalidHandle;
  m_handles[index].used = false;
  m_freeHandles.push_back(static_cast<std::uint32_t>(index));
  return error::Success;
}

long RegistryEngine::queryInfoKey(RegKey key, KeyInfo &info) {
  std::shared_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::QueryValue)) return error::AccessDenied;
  const Key &k = m_store->key(r.key);
  KeyInfo out;
  out.subKeyCount = static_cast<std::uint32_t>(k.children.size());
  for (KeyId child : k.children)
    out.maxSubKeyNameLength =
        std::max(out.maxSubKeyNameLength, static_cast<std::uint32_t>(m_store->keyName(child).size()));
  out.valueCount = static_cast<std::uint32_t>(k.values.size());
  for (const Value &v : k.values) {
    out.maxValueNameLength =
        std::max(out.maxValueNameLength, static_cast<std::uint32_t>(m_store->valueName(k, v).size()));
    // Large enough for the data in either form: UTF-8 text can be longer than its UTF-16.
    std::size_t size = m_store->valueSize(k, v);
    if (isStringType(v.type)) {
      std::vector<std::uint8_t> narrow;
      m_store->appendNarrowData(k, v, narrow);
      size = std::max(size, narrow.size());
    }
    out.maxValueDataLength = std::max(out.maxValueDataLength, static_cast<std::uint32_t>(size));
  }
  if (k.extra && k.extra->hasClass) appendUtf8(out.className, k.extra->className.data(), k.extra->className.size());
  out.lastWriteTime = k.modified;
  info = std::move(out);
  return error::Success;
}

long RegistryEngine::enumKey(RegKey key, std::uint32_t index, std::string &name) {
  std::shared_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::EnumerateSubKeys)) return error::AccessDenied;
  const Key &k = m_store->key(r.key);
  if (index >= k.children.size()) return error::NoMoreItems;
  name.assign(m_store->keyName(k.children[index]));
  return error::Success;
}

void RegistryEngine::fillValue(const Key &k, const Value &v, RegValue &out, DataForm form) const {
  out.name.assign(m_store->valueName(k, v));
  out.type = v.type;
  out.data.clear(); // keeps the caller's capacity: a reused RegValue costs no allocation
  if (form == DataForm::Narrow) m_store->appendNarrowData(k, v, out.data);
  else m_store->appendValueData(k, v, out.data);
}

long RegistryEngine::enumValue(RegKey key, std::uint32_t index, RegValue &value, DataForm form) {
  std::shared_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::QueryValue)) return error::AccessDenied;
  const Key &k = m_store->key(r.key);
  if (index >= k.values.size()) return error::NoMoreItems;
  fillValue(k, k.values[index], value, form);
  return error::Success;
}

long RegistryEngine::queryValue(RegKey key, std::string_view name, RegValue &value, DataForm form) {
  std::shared_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::QueryValue)) return error::AccessDenied;
  long index = m_store->findValue(r.key, name);
  if (index < 0) return error::FileNotFound;
  const Key &k = m_store->key(r.key);
  fillValue(k, k.values[static_cast<std::size_t>(index)], value, form);
  return error::Success;
}

long RegistryEngine::setValue(RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data,
                              std::size_t size, DataForm form) {
  if (size > 0 && data == nullptr) return error::InvalidParameter;
  if (size > std::numeric_limits<std::uint32_t>::max()) return error::InvalidParameter;
  if (utf16Length(name) > MaxValueNameUnits) return error::InvalidParameter;
  std::string converted;
  if (form == DataForm::Narrow && isStringType(type)) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    appendUtf16leBytes(converted, text);
    if (text.empty() || text.back() != '\0') converted.append(2, '\0');
    data = reinterpret_cast<const std::uint8_t *>(converted.data());
    size = converted.size();
  }
  std::unique_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::SetValue) || !isWritable(r.key)) return error::AccessDenied;
  // A link holds nothing but its target.
  if ((m_store->key(r.key).flags & keyflag::Link) && (type != regtype::Link || !sameName(name, SymbolicLinkValueName)))
    return error::AccessDenied;
  m_store->setValue(r.key, name, type, data, size, now());
  return error::Success;
}

long RegistryEngine::deleteKey(RegKey key, std::string_view subKey) {
  std::unique_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  KeyId target = r.key;
  if (subKey.empty()) {
    if (!(r.access & access::Delete)) return error::AccessDenied;
  } else if (long status = walk(r.key, subKey, target); status != error::Success) {
    return status;
  }
  if (!isWritable(target) || isProtected(target)) return error::AccessDenied;
  if (!m_store->key(target).children.empty()) return error::AccessDenied;
  KeyId parent = m_store->key(target).parent;
  m_store->markFileChanged(m_store->key(target).file);
  m_store->removeKey(target);
  m_store->touch(parent, now());
  return error::Success;
}

long RegistryEngine::deleteValue(RegKey key, std::string_view name) {
  std::unique_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (!(r.access & access::SetValue) || !isWritable(r.key)) return error::AccessDenied;
  long index = m_store->findValue(r.key, name);
  if (index < 0) return error::FileNotFound;
  m_store->deleteValue(r.key, static_cast<std::size_t>(index), now());
  return error::Success;
}

long RegistryEngine::flushKey(RegKey key) {
  // Saving needs the tree to hold still: writers and readers wait until it is done.
  std::lock_guard flushing(m_flushMutex);
  std::unique_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  if (m_flush) return m_flush(*m_store);
  m_store->forgetChanges([](std::uint8_t) { return false; });
  return error::Success;
}

long RegistryEngine::storedKeyPath(RegKey key, RegKey &root, std::string &subKey) {
  std::shared_lock lock(m_store->mutex());
  Resolved r;
  if (long status = resolve(key, r); status != error::Success) return status;
  // The root the key was opened under names it when it holds it; otherwise the narrowest root
  // that does (the classes before the machine, the current user before the users).
  constexpr std::array<RegKey, 5> Narrowest = {HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER,
                                               HKEY_LOCAL_MACHINE, HKEY_USERS};
  std::array<RegKey, 6> candidates{};
  std::size_t count = 0;
  if (r.origin.root != NoRoot) candidates[count++] = HKEY_CLASSES_ROOT + r.origin.root;
  for (RegKey each : Narrowest) candidates[count++] = each;
  for (std::size_t c = 0; c < count; ++c) {
    KeyId rootKey = m_roots[rootIndex(candidates[c])];
    if (rootKey == NoKey) continue;
    std::vector<std::string_view> names;
    KeyId at = r.key;
    while (at != NoKey && at != rootKey) {
      names.push_back(m_store->keyName(at));
      at = m_store->key(at).parent;
    }
    if (at != rootKey) continue;
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
      if (!path.empty()) path += '\\';
      path.append(*name);
    }
    root = candidates[c];
    subKey = std::move(path);
    return error::Success;
  }
  return error::FileNotFound;
}

long RegistryEngine::discardUnflushedChanges() {
  std::unique_lock lock(m_store->mutex());
  m_store->rollBack();
  return error::Success;
}

} // namespace tw::platform::detail
