#include "platform/registry/RegistryStore.h"

#include "platform/RegistryApi.h"
#include "platform/registry/RegistryText.h"
#include "platform/registry/WineValueSyntax.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>

namespace tw::platform::detail {

// Past this many sub-keys a key is searched through a hash index of them.
static constexpr std::size_t IndexedChildren = 32;
static constexpr std::size_t IndexedValues = 32;

// A chain of links longer than this is taken for a loop, as Wine takes it.
static constexpr int MaxLinkDepth = 16;

static constexpr std::string_view SymbolicLinkValueName = "SymbolicLinkValue";

std::uint64_t fileTimeNow() {
  // FILETIME counts 100 ns ticks from 1601-01-01; Unix time starts 11644473600 s later.
  constexpr std::uint64_t TicksFrom1601To1970 = 116444736000000000ull;
  auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
  return TicksFrom1601To1970 + static_cast<std::uint64_t>(ticks);
}

RegistryStore::RegistryStore() {
  m_keys.emplace_back();
  Key &root = m_keys.back();
  root.flags = keyflag::Used;
  root.extra = std::make_unique<KeyExtra>();
  root.extra->ownsName = true;
  root.modified = fileTimeNow();
}

KeyId RegistryStore::allocateKey() {
  if (!m_freeKeys.empty()) {
    KeyId id = m_freeKeys.back();
    m_freeKeys.pop_back();
    return id;
  }
  m_keys.emplace_back();
  return static_cast<KeyId>(m_keys.size() - 1);
}

KeyId RegistryStore::findChild(KeyId parent, std::string_view name, std::size_t *insertAt) const {
  const Key &p = m_keys[parent];
  if (!insertAt && p.extra && p.children.size() >= IndexedChildren)
    return childIndex(p).find(hashName(name), NoKey, [&](KeyId id) { return sameName(keyName(id), name); });
  const std::vector<KeyId> &children = p.children;
  std::size_t lo = 0;
  std::size_t hi = children.size();
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    int order = compareNames(keyName(children[mid]), name);
    if (order == 0) {
      if (insertAt) *insertAt = mid;
      return children[mid];
    }
    if (order < 0) lo = mid + 1;
    else hi = mid;
  }
  if (insertAt) *insertAt = lo;
  return NoKey;
}

KeyId RegistryStore::addChild(KeyId parent, std::string_view name, std::size_t position,
                              std::uint64_t modified) {
  KeyId id = allocateKey();
  Key &k = m_keys[id];
  k.extra = std::make_unique<KeyExtra>();
  k.extra->ownsName = true;
  k.extra->name.assign(name);
  k.parent = parent;
  k.file = m_keys[parent].file;
  k.modified = modified;
  k.flags = static_cast<std::uint8_t>(keyflag::Used | keyflag::Changed);
  linkChild(parent, id, position);
  record(JournalEntry::Kind::AddKey, id, static_cast<std::uint32_t>(position));
  return id;
}

KeyId RegistryStore::addChildSlice(KeyId parent, Slice name, std::uint8_t file, std::size_t position) {
  KeyId id = allocateKey();
  Key &k = m_keys[id];
  k.name = name;
  k.parent = parent;
  k.file = file;
  k.flags = keyflag::Used;
  linkChild(parent, id, position);
  return id;
}

void RegistryStore::linkChild(KeyId parent, KeyId child, std::size_t position) {
  Key &p = m_keys[parent];
  if (position == p.children.size()) p.children.push_back(child);
  else p.children.insert(p.children.begin() + static_cast<std::ptrdiff_t>(position), child);
  if (ChildIndex *index = p.extra ? p.extra->children.load(std::memory_order_relaxed) : nullptr) {
    index->insert(hashName(keyName(child)), child);
    return;
  }
  // Readers cannot add the extra part that holds the index, so it is made here.
  if (p.children.size() >= IndexedChildren && !p.extra) p.extra = std::make_unique<KeyExtra>();
}

/// The index `slot` holds, made by `build` for the first reader that needs it: readers may race
/// to it, so it is made under `lock` and published once, atomically.
template <typename Index, typename Build>
static const Index &publishedIndex(std::atomic<Index *> &slot, std::mutex &lock, Build &&build) {
  if (Index *index = slot.load(std::memory_order_acquire)) return *index;
  std::lock_guard guard(lock);
  if (Index *index = slot.load(std::memory_order_acquire)) return *index;
  auto index = std::make_unique<Index>();
  build(*index);
  slot.store(index.get(), std::memory_order_release);
  return *index.release();
}

const ChildIndex &RegistryStore::childIndex(const Key &parent) const {
  return publishedIndex(parent.extra->children, m_indexMutex, [&](ChildIndex &index) {
    index.reserve(parent.children.size());
    for (KeyId c : parent.children) index.insert(hashName(keyName(c)), c);
  });
}

std::size_t RegistryStore::positionAmongSiblings(KeyId id) const {
  const Key &k = m_keys[id];
  const std::vector<KeyId> &siblings = m_keys[k.parent].children;
  // The list is sorted by name, so a binary search finds the key; the walk is only a fallback.
  std::size_t position = 0;
  if (findChild(k.parent, keyName(id), &position) == id) return position;
  return static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), id) - siblings.begin());
}

void RegistryStore::unlinkChild(KeyId parent, KeyId child, std::size_t position) {
  Key &p = m_keys[parent];
  p.children.erase(p.children.begin() + static_cast<std::ptrdiff_t>(position));
  if (ChildIndex *index = p.extra ? p.extra->children.load(std::memory_order_relaxed) : nullptr)
    index->erase(hashName(keyName(child)), child);
}

void RegistryStore::removeKey(KeyId id) {
  assert(id != root() && "the tree's root is never removed");
  assert(m_keys[id].children.empty() && "only keys without sub-keys are removed");
  Key &k = m_keys[id];
  const auto position = static_cast<std::uint32_t>(positionAmongSiblings(id));
  unlinkChild(k.parent, id, position);
  record(JournalEntry::Kind::RemoveKey, id, position);
  m_journal.back().removed = std::make_unique<Key>(std::move(k));
  std::uint32_t generation = m_journal.back().removed->generation + 1;
  k = Key();
  k.generation = generation;
  m_pendingFreeKeys.push_back(id);
}

void RegistryStore::record(JournalEntry::Kind kind, KeyId id, std::uint32_t index) {
  JournalEntry &e = m_journal.emplace_back();
  e.kind = kind;
  e.key = id;
  e.index = index;
  e.file = m_keys[id].file;
  e.modified = m_keys[id].modified;
  e.flags = m_keys[id].flags;
}

void RegistryStore::replaceTree(RegistryStore &&other) {
  m_keys = std::move(other.m_keys);
  m_freeKeys = std::move(other.m_freeKeys);
  m_pendingFreeKeys = std::move(other.m_pendingFreeKeys);
  m_journal = std::move(other.m_journal);
  m_files = std::move(other.m_files);
}

void RegistryStore::releasePendingSlots() {
  m_freeKeys.insert(m_freeKeys.end(), m_pendingFreeKeys.begin(), m_pendingFreeKeys.end());
  m_pendingFreeKeys.clear();
}

void RegistryStore::rollBack() {
  while (!m_journal.empty()) {
    JournalEntry e = std::move(m_journal.back());
    m_journal.pop_back();
    Key &k = m_keys[e.key];
    auto at = [](auto &vec, std::uint32_t i) { return vec.begin() + static_cast<std::ptrdiff_t>(i); };
    switch (e.kind) {
    case JournalEntry::Kind::Touch:
      k.modified = e.modified;
      k.flags = e.flags;
      break;
    case JournalEntry::Kind::AddValue:
      k.values.pop_back();
      dropValueIndex(k);
      break;
    case JournalEntry::Kind::ReplaceValue: k.values[e.index] = std::move(e.value); break;
    case JournalEntry::Kind::RemoveValue:
      k.values.insert(at(k.values, e.index), std::move(e.value));
      dropValueIndex(k);
      break;
    case JournalEntry::Kind::AddKey: {
      unlinkChild(k.parent, e.key, positionAmongSiblings(e.key));
      std::uint32_t generation = k.generation + 1;
      k = Key();
      k.generation = generation;
      m_pendingFreeKeys.push_back(e.key);
      break;
    }
    case JournalEntry::Kind::RemoveKey: {
      // The slot is still free: slots are not reused while an undo may need them.
      std::erase(m_pendingFreeKeys, e.key);
      k = std::move(*e.removed);
      linkChild(k.parent, e.key, e.index);
      break;
    }
    }
  }
  for (BranchFile &file : m_files) file.changes = file.saved;
  releasePendingSlots();
}

KeyId RegistryStore::followLinkTarget(KeyId id) const {
  for (int depth = 0; depth <= MaxLinkDepth; ++depth) {
    if (!(m_keys[id].flags & keyflag::Link)) return id;
    long index = findValue(id, SymbolicLinkValueName);
    if (index < 0) return NoKey;
    const Key &k = m_keys[id];
    ValueData target = valueData(k, k.values[static_cast<std::size_t>(index)]);
    std::string path = utf16leBytesToUtf8(target.bytes.data(), target.bytes.size());
    // Targets are absolute: \Registry\Machine\...
    constexpr std::string_view Prefix = "\\Registry\\";
    if (path.size() <= Prefix.size() || !sameName(std::string_view(path).substr(0, Prefix.size()), Prefix))
      return NoKey;
    KeyId at = root();
    std::string_view rest = std::string_view(path).substr(Prefix.size());
    while (!rest.empty()) {
      std::size_t cut = rest.find('\\');
      std::string_view part = rest.substr(0, cut);
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
      if (part.empty()) continue;
      at = findChild(at, part);
      if (at == NoKey) return NoKey;
      if (!rest.empty()) {
        at = followLink(at); // links inside the target path count towards their own depth
        if (at == NoKey) return NoKey;
      }
    }
    id = at;
  }
  return NoKey;
}

std::string_view RegistryStore::valueName(const Key &k, const Value &v) const {
  if (v.extra && v.extra->ownsName) return v.extra->name;
  if (v.name.length == 0) return {};
  return fileText(k.file, v.name);
}

const ValueIndex &RegistryStore::valueIndex(const Key &k) const {
  return publishedIndex(k.extra->values, m_indexMutex, [&](ValueIndex &index) {
    index.reserve(k.values.size());
    for (std::size_t i = 0; i < k.values.size(); ++i)
      index.append(hashName(valueName(k, k.values[i])), static_cast<std::uint32_t>(i));
  });
}

void RegistryStore::dropValueIndex(Key &k) {
  if (!k.extra) return;
  delete k.extra->values.exchange(nullptr, std::memory_order_relaxed);
}

void RegistryStore::prepareValueIndex(Key &k) {
  // Readers cannot add the extra part that holds the index, so it is made here.
  if (k.values.size() >= IndexedValues && !k.extra) k.extra = std::make_unique<KeyExtra>();
}

long RegistryStore::findValue(KeyId id, std::string_view name) const {
  const Key &k = m_keys[id];
  if (k.extra && k.values.size() >= IndexedValues) {
    const std::uint32_t found = valueIndex(k).find(hashName(name), [&](std::uint32_t i) {
      return sameName(valueName(k, k.values[i]), name);
    });
    return found == ValueIndex::None ? -1 : static_cast<long>(found);
  }
  for (std::size_t i = 0; i < k.values.size(); ++i)
    if (sameName(valueName(k, k.values[i]), name)) return static_cast<long>(i);
  return -1;
}

ValueData RegistryStore::valueData(const Key &k, const Value &v) const {
  ValueData out;
  out.type = v.type;
  appendValueData(k, v, out.bytes);
  return out;
}

void RegistryStore::appendValueData(const Key &k, const Value &v, std::vector<std::uint8_t> &out) const {
  switch (v.kind) {
  case DataKind::Owned:
    if (v.extra) out.insert(out.end(), v.extra->data.begin(), v.extra->data.end());
    break;
  case DataKind::FileString: decodeStringBytes(fileText(k.file, v.text), out); break;
  case DataKind::FileDword: {
    std::uint32_t dw = decodeDword(fileText(k.file, v.text));
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(dw >> shift));
    break;
  }
  case DataKind::FileHex: decodeHexBytes(fileText(k.file, v.text), out); break;
  }
}

void RegistryStore::appendNarrowData(const Key &k, const Value &v, std::vector<std::uint8_t> &out) const {
  if (!isStringType(v.type)) {
    appendValueData(k, v, out);
    return;
  }
  if (v.kind == DataKind::FileString) {
    // Text without escapes is its own UTF-8 form.
    std::string_view text = fileText(k.file, v.text);
    if (text.find('\\') != std::string_view::npos) {
      decodeStringNarrow(text, out);
      return;
    }
    out.reserve(out.size() + text.size() + 1); // one allocation for the text and its zero
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return;
  }
  std::vector<std::uint8_t> stored;
  appendValueData(k, v, stored);
  std::string text = utf16leBytesToUtf8(stored.data(), stored.size());
  out.insert(out.end(), text.begin(), text.end());
}

std::size_t RegistryStore::valueSize(const Key &k, const Value &v) const {
  switch (v.kind) {
  case DataKind::Owned: return v.extra ? v.extra->data.size() : 0;
  case DataKind::FileString: return stringByteCount(fileText(k.file, v.text));
  case DataKind::FileDword: return 4;
  case DataKind::FileHex: return countHexBytes(fileText(k.file, v.text));
  }
  return 0;
}

bool RegistryStore::setValue(KeyId id, std::string_view name, std::uint32_t type, const std::uint8_t *data,
                             std::size_t size, std::uint64_t now) {
  long index = findValue(id, name);
  Key &k = m_keys[id];
  if (index >= 0) {
    Value &existing = k.values[static_cast<std::size_t>(index)];
    if (existing.type == type) {
      ValueData old = valueData(k, existing);
      if (old.bytes.size() == size && (size == 0 || std::memcmp(old.bytes.data(), data, size) == 0)) return false;
    }
    Value replacement;
    replacement.type = type;
    replacement.kind = DataKind::Owned;
    replacement.extra = std::make_unique<ValueExtra>();
    replacement.extra->ownsName = true;
    replacement.extra->name.assign(valueName(k, existing)); // the name keeps the case it was created with
    replacement.extra->data.assign(data, data + size);
    record(JournalEntry::Kind::ReplaceValue, id, static_cast<std::uint32_t>(index));
    m_journal.back().value = std::move(existing);
    k.values[static_cast<std::size_t>(index)] = std::move(replacement);
  } else {
    Value v;
    v.type = type;
    v.kind = DataKind::Owned;
    v.extra = std::make_unique<ValueExtra>();
    v.extra->ownsName = true;
    v.extra->name.assign(name);
    v.extra->data.assign(data, data + size);
    k.values.push_back(std::move(v));
    const auto position = static_cast<std::uint32_t>(k.values.size() - 1);
    if (ValueIndex *values = k.extra ? k.extra->values.load(std::memory_order_relaxed) : nullptr)
      values->append(hashName(name), position);
    else
      prepareValueIndex(k);
    record(JournalEntry::Kind::AddValue, id, position);
  }
  touch(id, now);
  return true;
}

void RegistryStore::deleteValue(KeyId id, std::size_t index, std::uint64_t now) {
  Key &k = m_keys[id];
  if (ValueIndex *values = k.extra ? k.extra->values.load(std::memory_order_relaxed) : nullptr)
    values->remove(hashName(valueName(k, k.values[index])), static_cast<std::uint32_t>(index));
  record(JournalEntry::Kind::RemoveValue, id, static_cast<std::uint32_t>(index));
  m_journal.back().value = std::move(k.values[index]);
  k.values.erase(k.values.begin() + static_cast<std::ptrdiff_t>(index));
  touch(id, now);
}

void RegistryStore::touch(KeyId id, std::uint64_t now) {
  record(JournalEntry::Kind::Touch, id, 0);
  Key &k = m_keys[id];
  k.modified = now;
  k.flags |= keyflag::Changed;
  markFileChanged(k.file);
}

void RegistryStore::setClassName(KeyId id, std::u16string className) {
  Key &k = m_keys[id];
  if (!k.extra) k.extra = std::make_unique<KeyExtra>();
  k.extra->hasClass = true;
  k.extra->className = std::move(className);
}

} // namespace tw::platform::detail
