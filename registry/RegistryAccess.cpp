#include "registry/RegistryAccess.h"

#include "platform/Machine.h"
#include "platform/RegistryView.h"
#include "registry/RegistryKeys.h"

#include <algorithm>
#include <cstring>

namespace tw {

namespace api = platform;

// The read accesses OpenRegKeyForRead tries, strongest first: full read, read without the
// notify right, and the bare right to read values.
static constexpr std::uint32_t ReadAccessFull = platform::access::KeyRead;
static constexpr std::uint32_t ReadAccessNoNotify =
    platform::access::ReadControl | platform::access::QueryValue |
    platform::access::EnumerateSubKeys; // 0x20009
static constexpr std::uint32_t ReadAccessValuesOnly = platform::access::QueryValue;

static std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result += '\'';
  result += text;
  result += '\'';
  return result;
}

ERegistryException ERegistryException::invalidDataType(std::string_view valueName) {
  return ERegistryException("Invalid data type for " + quoted(valueName));
}

ERegistryException ERegistryException::cannotGetData(std::string_view valueName) {
  return ERegistryException("Failed to get data for " + quoted(valueName));
}

ERegistryException ERegistryException::cannotSetData(std::string_view valueName) {
  return ERegistryException("Failed to set data for " + quoted(valueName));
}

TRegistry::TRegistry(std::uint32_t accessMask)
    : m_api(platform::machine().registry()), m_access(accessMask), m_view(platform::viewAccessFlag()) {}

TRegistry::~TRegistry() { CloseRegKey(); }

void TRegistry::CurrentRoot(RootKey root) {
  if (root == m_root) return;
  CloseRegKey();
  m_root = root;
}

TRegistry::ResolvedPath TRegistry::resolve(std::string_view keyPath) const {
  if (!keyPath.empty() && keyPath.front() == '\\')
    return {m_root, keyPath.substr(1), /*relative=*/false};
  return {m_currentKey.value_or(m_root), keyPath, /*relative=*/true};
}

void TRegistry::makeCurrent(platform::RegKey key, const ResolvedPath &where) {
  std::string path;
  if (!where.relative)
    path.assign(where.subPath);
  else if (where.subPath.empty() || m_currentPath.empty())
    path = m_currentPath.empty() ? std::string(where.subPath) : m_currentPath;
  else
    path = m_currentPath + '\\' + std::string(where.subPath);
  CloseRegKey();
  m_currentKey = key;
  m_currentPath = std::move(path);
}

bool TRegistry::OpenRegKey(std::string_view keyPath, bool canCreate) {
  ResolvedPath where = resolve(keyPath);
  platform::RegKey key = 0;
  long status = (canCreate && !where.subPath.empty())
                    ? m_api.createKey(where.base, where.subPath, m_access | m_view, key)
                    : m_api.openKey(where.base, where.subPath, m_access | m_view, key);
  if (status != api::error::Success) return false;
  makeCurrent(key, where);
  return true;
}

std::optional<StoredKey> TRegistry::storedKey() const {
  if (!m_currentKey) return std::nullopt;
  StoredKey stored;
  if (m_api.storedKeyPath(*m_currentKey, stored.root, stored.path) != platform::error::Success) return std::nullopt;
  return stored;
}

bool TRegistry::OpenRegKeyForRead(std::string_view keyPath) {
  const std::uint32_t previousAccess = m_access;
  for (std::uint32_t access : {ReadAccessFull, ReadAccessNoNotify, ReadAccessValuesOnly}) {
    m_access = access;
    if (OpenRegKey(keyPath, /*canCreate=*/false)) return true;
  }
  m_access = previousAccess;
  return false;
}

void TRegistry::CloseRegKey() {
  if (!m_currentKey) return;
  if (!m_lazyWrite) m_api.flushKey(*m_currentKey);
  m_api.closeKey(*m_currentKey);
  m_currentKey.reset();
  m_currentPath.clear();
}

bool TRegistry::KeyPathExists(std::string_view keyPath) {
  ResolvedPath where = resolve(keyPath);
  platform::RegKey key = 0;
  if (m_api.openKey(where.base, where.subPath, ReadAccessNoNotify | m_view, key) != api::error::Success)
    return false;
  m_api.closeKey(key);
  return true;
}

bool TRegistry::HasChildKeys() {
  if (!m_currentKey) return false;
  platform::KeyInfo info;
  if (m_api.queryInfoKey(*m_currentKey, info) != api::error::Success) return false;
  return info.subKeyCount > 0;
}

std::vector<std::string> TRegistry::ListSubKeyNames() {
  std::vector<std::string> names;
  if (!m_currentKey) return names;
  platform::KeyInfo info;
  if (m_api.queryInfoKey(*m_currentKey, info) != api::error::Success) return names;
  names.reserve(info.subKeyCount);
  for (std::uint32_t index = 0; index < info.subKeyCount; ++index) {
    std::string name;
    if (m_api.enumKey(*m_currentKey, index, name) != api::error::Success) break;
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> TRegistry::ListValueNames() {
  std::vector<std::string> names;
  for (platform::RegValue &value : listStoredValues()) names.push_back(std::move(value.name));
  return names;
}

std::vector<platform::RegValue> TRegistry::listStoredValues() {
  std::vector<platform::RegValue> values;
  if (!m_currentKey) return values;
  platform::KeyInfo info;
  if (m_api.queryInfoKey(*m_currentKey, info) != api::error::Success) return values;
  values.reserve(info.valueCount);
  for (std::uint32_t index = 0; index < info.valueCount; ++index) {
    platform::RegValue value;
    if (m_api.enumValue(*m_currentKey, index, value, platform::DataForm::Raw) != api::error::Success) break;
    values.push_back(std::move(value));
  }
  return values;
}

std::optional<platform::RegValue> TRegistry::queryValue(std::string_view valueName,
                                                        platform::DataForm form) {
  if (!m_currentKey) return std::nullopt;
  platform::RegValue value;
  if (m_api.queryValue(*m_currentKey, valueName, value, form) != api::error::Success)
    return std::nullopt;
  return value;
}

static RegDataKind kindOfType(std::uint32_t type) {
  switch (type) {
  case platform::regtype::Sz: return RegDataKind::String;
  case platform::regtype::ExpandSz: return RegDataKind::ExpandString;
  case platform::regtype::Dword: return RegDataKind::Integer;
  case platform::regtype::Binary: return RegDataKind::Binary;
  default: return RegDataKind::Unknown;
  }
}

RegDataKind TRegistry::ValueKind(std::string_view valueName) {
  auto value = queryValue(valueName);
  return value ? kindOfType(value->type) : RegDataKind::Unknown;
}

int TRegistry::ValueSize(std::string_view valueName) {
  auto value = queryValue(valueName);
  if (!value) return -1;
  return static_cast<int>(std::min<std::size_t>(value->data.size(), INT32_MAX));
}

std::string TRegistry::ReadText(std::string_view valueName) {
  auto value = queryValue(valueName);
  if (!value || value->data.empty()) return {};
  RegDataKind kind = kindOfType(value->type);
  if (kind != RegDataKind::String && kind != RegDataKind::ExpandString)
    throw ERegistryException::invalidDataType(valueName);
  const auto *text = reinterpret_cast<const char *>(value->data.data());
  std::string_view whole(text, value->data.size());
  return std::string(whole.substr(0, whole.find('\0')));
}

std::int32_t TRegistry::ReadNumber(std::string_view valueName) {
  auto value = queryValue(valueName);
  // A number is read into four bytes: a missing value or longer data cannot be read into them.
  if (!value || value->data.size() > sizeof(std::uint32_t))
    throw ERegistryException::cannotGetData(valueName);
  if (kindOfType(value->type) != RegDataKind::Integer)
    throw ERegistryException::invalidDataType(valueName);
  // Shorter data fills the low bytes, as the registry hands a short number over.
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < value->data.size(); ++i)
    number |= static_cast<std::uint32_t>(value->data[i]) << (8 * i);
  return static_cast<std::int32_t>(number);
}

static bool holdsBytes(const platform::RegValue &value) {
  RegDataKind kind = kindOfType(value.type);
  return kind == RegDataKind::Binary || kind == RegDataKind::Unknown;
}

std::size_t TRegistry::ReadBytes(std::string_view valueName, std::uint8_t *buffer,
                                 std::size_t bufferSize) {
  auto value = queryValue(valueName);
  if (!value) return 0;
  if (!holdsBytes(*value) || value->data.size() > bufferSize)
    throw ERegistryException::invalidDataType(valueName);
  if (!value->data.empty()) std::memcpy(buffer, value->data.data(), value->data.size());
  return value->data.size();
}

std::vector<std::uint8_t> TRegistry::ReadBytes(std::string_view valueName) {
  auto value = queryValue(valueName);
  if (!value) return {};
  if (!holdsBytes(*value)) throw ERegistryException::invalidDataType(valueName);
  return std::move(value->data);
}

void TRegistry::writeValue(std::string_view valueName, std::uint32_t type,
                           const std::uint8_t *data, std::size_t size, platform::DataForm form) {
  if (!m_currentKey) throw ERegistryException::cannotSetData(valueName);
  if (m_api.setValue(*m_currentKey, valueName, type, data, size, form) != api::error::Success)
    throw ERegistryException::cannotSetData(valueName);
}

void TRegistry::WriteText(std::string_view valueName, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  writeValue(valueName, platform::regtype::Sz, reinterpret_cast<const std::uint8_t *>(data.data()),
             data.size());
}

void TRegistry::WriteNumber(std::string_view valueName, std::int32_t number) {
  const auto bits = static_cast<std::uint32_t>(number);
  const std::uint8_t data[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                static_cast<std::uint8_t>(bits >> 16),
                                static_cast<std::uint8_t>(bits >> 24)};
  writeValue(valueName, platform::regtype::Dword, data, sizeof data);
}

void TRegistry::WriteBytes(std::string_view valueName, const std::uint8_t *bytes,
                           std::size_t count) {
  writeValue(valueName, platform::regtype::Binary, bytes, count);
}

std::optional<platform::RegValue> TRegistry::readRawValue(std::string_view valueName) {
  return queryValue(valueName, platform::DataForm::Raw);
}

void TRegistry::writeRawValue(std::string_view valueName, std::uint32_t type,
                              const std::uint8_t *data, std::size_t size) {
  writeValue(valueName, type, data, size, platform::DataForm::Raw);
}

bool TRegistry::DeleteNamedValue(std::string_view valueName) {
  if (!m_currentKey) return false;
  return m_api.deleteValue(*m_currentKey, valueName) == api::error::Success;
}

bool TRegistry::DeleteKeyTree(std::string_view keyPath) {
  // An empty path names the open key or the root itself: emptying that is never what a
  // caller that names a key to delete means, and deleteKeyTree refuses it.
  ResolvedPath where = resolve(keyPath);
  return deleteKeyTree(m_api, where.base, where.subPath, m_access | m_view) == api::error::Success;
}

// --- Root names -------------------------------------------------------------------------

namespace {
struct RootName {
  RootKey root;
  std::string_view fullName;
  std::string_view shortName;
};
} // namespace

static constexpr RootName RootNames[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_USERS, "HKEY_USERS", "HKU"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"},
    {HKEY_DYN_DATA, "HKEY_DYN_DATA", "HKDD"},
};

std::string RootKeyToFullName(RootKey root) {
  for (const RootName &name : RootNames)
    if (name.root == root) return std::string(name.fullName);
  return {};
}

RootKey FullNameToRootKey(std::string_view fullName) {
  // Only these four are told apart; every other text, classes root and dynamic data
  // included, is taken as the classes root.
  for (RootKey root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG})
    if (RootKeyToFullName(root) == fullName) return root;
  return HKEY_CLASSES_ROOT;
}

std::optional<RootKey> RootKeyOfName(std::string_view fullName) {
  for (const RootName &name : RootNames) {
    if (name.fullName.size() != fullName.size()) continue;
    bool same = true;
    for (std::size_t i = 0; same && i < fullName.size(); ++i) {
      char c = fullName[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == name.fullName[i];
    }
    if (same) return name.root;
  }
  return std::nullopt;
}

RootKey ShortNameToRootKey(std::string_view shortName) {
  for (const RootName &name : RootNames)
    if (name.shortName == shortName) return name.root;
  return 0;
}

std::string RootKeyToShortName(RootKey root) {
  for (const RootName &name : RootNames)
    if (name.root == root) return std::string(name.shortName);
  return {};
}

// --- Key texts --------------------------------------------------------------------------

RootKey RootOfKeyText(std::string_view keyText) {
  auto first = keyText.find('\\');
  if (first == std::string_view::npos) return FullNameToRootKey({});
  return FullNameToRootKey(keyText.substr(0, first));
}

std::string KeyPathOfKeyText(std::string_view keyText) {
  auto first = keyText.find('\\');
  auto last = keyText.rfind('\\');
  if (first == std::string_view::npos || first == last) return {};
  return std::string(keyText.substr(first, last - first));
}

std::string LastNameOfKeyText(std::string_view keyText) {
  auto last = keyText.rfind('\\');
  if (last == std::string_view::npos) return std::string(keyText);
  return std::string(keyText.substr(last + 1));
}

// --- Routines ---------------------------------------------------------------------------

bool RegKeyExists(RootKey root, std::string_view keyPath) {
  TRegistry registry;
  registry.CurrentRoot(root);
  return registry.KeyPathExists(keyPath);
}

void DeleteRegValue(RootKey root, std::string_view keyPath, std::string_view valueName) {
  TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKey(keyPath, /*canCreate=*/false)) return;
  registry.DeleteNamedValue(valueName);
  registry.CloseRegKey();
}

void DeleteRegKey(RootKey root, std::string_view parentKeyPath, std::string_view subKeyName) {
  if (subKeyName.empty()) return;
  TRegistry registry;
  registry.CurrentRoot(root);
  if (!registry.OpenRegKey(parentKeyPath, /*canCreate=*/false)) return;
  registry.DeleteKeyTree(subKeyName);
  registry.CloseRegKey();
}

std::string RegistryFlushResult::description() const {
  return written ? "the registry's changes were saved" : problem;
}

RegistryFlushResult FlushRegistry() {
  platform::RegistryApi &registry = platform::machine().registry();
  RegistryFlushResult result;
  // The classes root and the current configuration live inside the local machine's file, so
  // these three roots cover every file the registry is kept in.
  for (RootKey root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS}) {
    long status = registry.flushKey(root);
    if (status == api::error::Success) continue;
    result.failure = registry.lastFlushFailure();
    result.problem = result.failure.failed()
                         ? result.failure.description()
                         : "the changes to " + RootKeyToFullName(root) +
                               " could not be saved (error " + std::to_string(status) + ")";
    return result;
  }
  result.written = true;
  return result;
}

std::string registryReadOnlyReason() {
  return platform::machine().registry().readOnlyReason();
}

} // namespace tw
