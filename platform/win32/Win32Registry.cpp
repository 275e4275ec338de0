#include "platform/win32/Win32Registry.h"

#include "platform/registry/RegistryText.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace tw::platform {

namespace {

using win32::toUtf8;
using win32::toWide;

// Handles of opened keys are small numbers of our own; the predefined roots keep theirs.
constexpr RegKey FirstHandle = 0x10000;
constexpr DWORD MaxKeyNameUnits = 256;

// Registry data as the narrow calls hand it over: string types as UTF-8 with their
// terminating zeros, everything else as stored.
std::vector<std::uint8_t> toNarrowData(std::uint32_t type, std::vector<std::uint8_t> stored) {
  if (!isStringType(type)) return stored;
  std::string text = detail::utf16leBytesToUtf8(stored.data(), stored.size());
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class Win32Registry final : public RegistryApi {
public:
  ~Win32Registry() override {
    for (HKEY key : m_handles)
      if (key) ::RegCloseKey(key);
  }

  long openKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result) override {
    HKEY base = lookup(parent);
    if (!base) return error::InvalidHandle;
    const Origin origin = originOf(parent, desiredAccess);
    HKEY opened = nullptr;
    LONG status = ::RegOpenKeyExW(base, toWide(subKey).c_str(), 0, desiredAccess | origin.view, &opened);
    if (status != ERROR_SUCCESS) return status;
    result = remember(opened, origin);
    return error::Success;
  }

  long createKey(RegKey parent, std::string_view subKey, std::uint32_t desiredAccess, RegKey &result,
                 bool *created) override {
    HKEY base = lookup(parent);
    if (!base) return error::InvalidHandle;
    const Origin origin = originOf(parent, desiredAccess);
    HKEY opened = nullptr;
    DWORD disposition = 0;
    LONG status = ::RegCreateKeyExW(base, toWide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    desiredAccess | origin.view, nullptr, &opened, &disposition);
    if (status != ERROR_SUCCESS) return status;
    result = remember(opened, origin);
    if (created) *created = disposition == REG_CREATED_NEW_KEY;
    return error::Success;
  }

  long closeKey(RegKey key) override {
    if (predefined(key)) return error::Success;
    HKEY handle = nullptr;
    {
      std::lock_guard lock(m_mutex);
      std::size_t index = slot(key);
      if (index >= m_handles.size() || !m_handles[index]) return error::InvalidHandle;
      handle = m_handles[index];
      m_handles[index] = nullptr;
      m_free.push_back(index);
    }
    return ::RegCloseKey(handle);
  }

  long queryInfoKey(RegKey key, KeyInfo &info) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    DWORD classUnits = 0, subKeys = 0, values = 0;
    FILETIME written{};
    LONG status = ::RegQueryInfoKeyW(handle, nullptr, &classUnits, nullptr, &subKeys, nullptr, nullptr, &values,
                                     nullptr, nullptr, nullptr, &written);
    if (status != ERROR_SUCCESS) return status;
    KeyInfo out;
    out.subKeyCount = subKeys;
    out.valueCount = values;
    out.lastWriteTime = (std::uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    if (classUnits > 0) {
      std::wstring className(classUnits + 1, L'\0');
      DWORD size = classUnits + 1;
      if (::RegQueryInfoKeyW(handle, className.data(), &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        out.className = toUtf8(className.data(), size);
    }
    // The lengths callers size their buffers by are those of the narrow forms.
    for (DWORD index = 0; index < subKeys; ++index) {
      std::string name;
      if (enumKey(key, index, name) != error::Success) break;
      out.maxSubKeyNameLength = std::max(out.maxSubKeyNameLength, static_cast<std::uint32_t>(name.size()));
    }
    for (DWORD index = 0; index < values; ++index) {
      RegValue value;
      if (enumValue(key, index, value, DataForm::Raw) != error::Success) break;
      std::size_t size = value.data.size();
      if (isStringType(value.type)) size = std::max(size, toNarrowData(value.type, value.data).size());
      out.maxValueNameLength = std::max(out.maxValueNameLength, static_cast<std::uint32_t>(value.name.size()));
      out.maxValueDataLength = std::max(out.maxValueDataLength, static_cast<std::uint32_t>(size));
    }
    info = std::move(out);
    return error::Success;
  }

  long enumKey(RegKey key, std::uint32_t index, std::string &name) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    std::wstring buffer(MaxKeyNameUnits, L'\0');
    for (;;) {
      DWORD units = static_cast<DWORD>(buffer.size());
      LONG status = ::RegEnumKeyExW(handle, index, buffer.data(), &units, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_MORE_DATA && buffer.size() < 32768) {
        buffer.resize(buffer.size() * 4);
        continue;
      }
      if (status != ERROR_SUCCESS) return status;
      name = toUtf8(buffer.data(), units);
      return error::Success;
    }
  }

  long enumValue(RegKey key, std::uint32_t index, RegValue &value, DataForm form) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    std::wstring name(256, L'\0');
    std::vector<std::uint8_t> data(256);
    for (;;) {
      DWORD nameUnits = static_cast<DWORD>(name.size());
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      LONG status = ::RegEnumValueW(handle, index, name.data(), &nameUnits, nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
        // Either buffer may be short: the name's limit is 16,383 units, the data says its size.
        if (name.size() < 16384) name.resize(16384);
        data.resize(std::max<std::size_t>(data.size() * 2, size));
        continue;
      }
      if (status != ERROR_SUCCESS) return status;
      data.resize(size);
      value.name = toUtf8(name.data(), nameUnits);
      value.type = type;
      value.data = form == DataForm::Narrow ? toNarrowData(type, std::move(data)) : std::move(data);
      return error::Success;
    }
  }

  long queryValue(RegKey key, std::string_view name, RegValue &value, DataForm form) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    std::wstring wideName = toWide(name);
    std::vector<std::uint8_t> data(256);
    for (;;) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(data.size());
      LONG status = ::RegQueryValueExW(handle, wideName.c_str(), nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
        data.resize(size);
        continue;
      }
      if (status != ERROR_SUCCESS) return status;
      data.resize(size);
      value.name.assign(name);
      value.type = type;
      value.data = form == DataForm::Narrow ? toNarrowData(type, std::move(data)) : std::move(data);
      return error::Success;
    }
  }

  long setValue(RegKey key, std::string_view name, std::uint32_t type, const std::uint8_t *data, std::size_t size,
                DataForm form) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    if (size > 0 && data == nullptr) return error::InvalidParameter;
    if (size > MAXDWORD) return error::InvalidParameter;
    std::string converted;
    if (form == DataForm::Narrow && isStringType(type)) {
      std::string_view text(reinterpret_cast<const char *>(data), size);
      detail::appendUtf16leBytes(converted, text);
      if (text.empty() || text.back() != '\0') converted.append(2, '\0');
      data = reinterpret_cast<const std::uint8_t *>(converted.data());
      size = converted.size();
    }
    return ::RegSetValueExW(handle, toWide(name).c_str(), 0, type, data, static_cast<DWORD>(size));
  }

  long deleteKey(RegKey key, std::string_view subKey) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    return ::RegDeleteKeyW(handle, toWide(subKey).c_str());
  }

  long deleteValue(RegKey key, std::string_view name) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    return ::RegDeleteValueW(handle, toWide(name).c_str());
  }

  long flushKey(RegKey key) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    LONG status = ::RegFlushKey(handle);
    std::lock_guard lock(m_mutex);
    m_lastFlushFailure = FlushFailure{};
    if (status != ERROR_SUCCESS) m_lastFlushFailure.cause = FlushFailure::Cause::WriteFailed;
    return status;
  }

  FlushFailure lastFlushFailure() const override {
    std::lock_guard lock(m_mutex);
    return m_lastFlushFailure;
  }

  long discardUnflushedChanges() override { return error::NotSupported; }

  // A 64-bit program, or a 32-bit one on a 64-bit Windows, reaches both views.
  bool hasTwoViews() const override {
    if (sizeof(void *) == 8) return true;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
  }

  long storedKeyPath(RegKey key, RegKey &root, std::string &subKey) override {
    HKEY handle = lookup(key);
    if (!handle) return error::InvalidHandle;
    if (predefined(key)) {
      root = key;
      subKey.clear();
      return error::Success;
    }
    RegKey openedUnder = 0;
    {
      std::lock_guard lock(m_mutex);
      openedUnder = m_origins[slot(key)].root;
    }
    std::optional<std::wstring> name = objectName(handle);
    if (!name) return error::NotSupported;
    // The root the key was opened under names it when it holds it; otherwise the narrowest.
    const RegKey candidates[] = {openedUnder, 0x80000000u, 0x80000005u, 0x80000001u, 0x80000002u, 0x80000003u};
    for (RegKey candidate : candidates) {
      std::optional<std::wstring> rootName = kernelNameOfRoot(candidate);
      if (!rootName || name->size() < rootName->size()) continue;
      if (::CompareStringOrdinal(name->c_str(), static_cast<int>(rootName->size()), rootName->c_str(),
                                 static_cast<int>(rootName->size()), TRUE) != CSTR_EQUAL)
        continue;
      if (name->size() > rootName->size() && (*name)[rootName->size()] != L'\\') continue;
      const std::size_t start = std::min(name->size(), rootName->size() + 1);
      root = candidate;
      subKey = toUtf8(name->data() + start, name->size() - start);
      return error::Success;
    }
    return error::FileNotFound;
  }

private:
  // windows.h spells the roots as macros of its own, so they are given by value here: the
  // predefined handles are the same numbers, sign-extended to a pointer.
  static HKEY predefined(RegKey key) {
    switch (key) {
    case 0x80000000u: // classes root
    case 0x80000001u: // current user
    case 0x80000002u: // local machine
    case 0x80000003u: // users
    case 0x80000005u: // current config
      return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(key)));
    default: return nullptr;
    }
  }

  static std::size_t slot(RegKey key) {
    if (key < FirstHandle || (key - FirstHandle) % 4 != 0) return SIZE_MAX;
    return (key - FirstHandle) / 4;
  }

  /// What an opened key remembers: the view it was opened in (keys opened relative to it with
  /// no view flag stay there) and the predefined root it descends from.
  struct Origin {
    std::uint32_t view = 0;
    RegKey root = 0;
  };

  Origin originOf(RegKey parent, std::uint32_t desiredAccess) {
    Origin origin;
    if (predefined(parent)) {
      origin.root = parent;
    } else {
      std::lock_guard lock(m_mutex);
      std::size_t index = slot(parent);
      if (index < m_origins.size()) origin = m_origins[index];
    }
    if (desiredAccess & access::Wow64Views) origin.view = desiredAccess & access::Wow64Views;
    return origin;
  }

  // The kernel's name of a predefined root; the current user's is asked for, since it holds
  // the user's SID. Nothing for a handle that is no root.
  static std::optional<std::wstring> kernelNameOfRoot(RegKey root) {
    switch (root) {
    case 0x80000000u: return std::wstring(L"\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES");
    case 0x80000002u: return std::wstring(L"\\REGISTRY\\MACHINE");
    case 0x80000003u: return std::wstring(L"\\REGISTRY\\USER");
    case 0x80000005u:
      return std::wstring(L"\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT");
    case 0x80000001u: {
      HKEY user = nullptr;
      if (::RegOpenCurrentUser(KEY_QUERY_VALUE, &user) != ERROR_SUCCESS) return std::nullopt;
      std::optional<std::wstring> name = objectName(user);
      ::RegCloseKey(user);
      return name;
    }
    default: return std::nullopt;
    }
  }

  // The kernel's name of a key ("\REGISTRY\MACHINE\SOFTWARE\..."), from NtQueryKey, which
  // advapi32 offers no call for; nothing when ntdll does not give it.
  static std::optional<std::wstring> objectName(HKEY handle) {
    using NtQueryKeyFunction = LONG(NTAPI *)(HANDLE, int, PVOID, ULONG, PULONG);
    constexpr int KeyNameInformation = 3;
    static const auto query = reinterpret_cast<NtQueryKeyFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    if (!query) return std::nullopt;
    std::vector<std::uint8_t> buffer(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
      ULONG needed = 0;
      LONG status = query(handle, KeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
      if (status == 0) {
        ULONG bytes = 0;
        std::memcpy(&bytes, buffer.data(), sizeof(bytes));
        if (bytes > buffer.size() - sizeof(ULONG)) return std::nullopt;
        std::wstring name(bytes / sizeof(wchar_t), L'\0');
        std::memcpy(name.data(), buffer.data() + sizeof(ULONG), name.size() * sizeof(wchar_t));
        return name;
      }
      if (needed <= buffer.size()) return std::nullopt;
      buffer.resize(needed);
    }
    return std::nullopt;
  }

  HKEY lookup(RegKey key) {
    if (HKEY root = predefined(key)) return root;
    std::lock_guard lock(m_mutex);
    std::size_t index = slot(key);
    return index < m_handles.size() ? m_handles[index] : nullptr;
  }

  RegKey remember(HKEY handle, Origin origin) {
    std::lock_guard lock(m_mutex);
    std::size_t index;
    if (!m_free.empty()) {
      index = m_free.back();
      m_free.pop_back();
      m_handles[index] = handle;
      m_origins[index] = origin;
    } else {
      index = m_handles.size();
      m_handles.push_back(handle);
      m_origins.push_back(origin);
    }
    return FirstHandle + static_cast<RegKey>(index) * 4;
  }

  mutable std::mutex m_mutex;
  FlushFailure m_lastFlushFailure;
  std::vector<HKEY> m_handles;
  std::vector<Origin> m_origins; // by handle slot, as m_handles
  std::vector<std::size_t> m_free;
};

} // namespace

std::unique_ptr<RegistryApi> makeWin32Registry() { return std::make_unique<Win32Registry>(); }

} // namespace tw::platform
