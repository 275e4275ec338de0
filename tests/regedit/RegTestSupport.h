#pragma once
// Helpers shared by the registry editor's tests: UTF-16 file bytes from readable text, and
// readable text from UTF-16 file bytes.

#include "platform/RegistryApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit::test {

/// UTF-16LE bytes with the byte-order mark of the UTF-8 text `text`.
std::string utf16File(std::string_view text);
/// UTF-16LE bytes (no mark) of `text`.
std::string utf16Bytes(std::u16string_view text);
/// The UTF-8 text of UTF-16LE file bytes; "<no byte-order mark>" or "<odd size>" when they
/// are not such a file.
std::string textOfUtf16File(const std::string &bytes);

/// Raw data of a string value: UTF-16LE of `text` plus a terminating zero.
std::vector<std::uint8_t> sz(std::u16string_view text);
std::vector<std::uint8_t> bytes(std::initializer_list<int> values);

/// Sets a value below `root\path` through the registry interface, creating the key.
void setRaw(platform::RegistryApi &registry, platform::RegKey root, std::string_view path,
            std::string_view name, std::uint32_t type, const std::vector<std::uint8_t> &data);
/// The raw value, or a value of type 0xFFFFFFFF when it cannot be read.
platform::RegValue getRaw(platform::RegistryApi &registry, platform::RegKey root,
                          std::string_view path, std::string_view name);
/// True when the key exists.
bool keyExists(platform::RegistryApi &registry, platform::RegKey root, std::string_view path);

/// Forwards every call to another registry; tests override the calls they make fail.
class ForwardingRegistry : public platform::RegistryApi {
public:
  explicit ForwardingRegistry(platform::RegistryApi &inner) : m_inner(inner) {}

  long openKey(platform::RegKey p, std::string_view s, std::uint32_t a,
               platform::RegKey &r) override {
    return m_inner.openKey(p, s, a, r);
  }
  long createKey(platform::RegKey p, std::string_view s, std::uint32_t a, platform::RegKey &r,
                 bool *c) override {
    return m_inner.createKey(p, s, a, r, c);
  }
  long closeKey(platform::RegKey k) override { return m_inner.closeKey(k); }
  long queryInfoKey(platform::RegKey k, platform::KeyInfo &i) override {
    return m_inner.queryInfoKey(k, i);
  }
  long enumKey(platform::RegKey k, std::uint32_t i, std::string &n) override {
    return m_inner.enumKey(k, i, n);
  }
  long enumValue(platform::RegKey k, std::uint32_t i, platform::RegValue &v,
                 platform::DataForm f) override {
    return m_inner.enumValue(k, i, v, f);
  }
  long queryValue(platform::RegKey k, std::string_view n, platform::RegValue &v,
                  platform::DataForm f) override {
    return m_inner.queryValue(k, n, v, f);
  }
  long setValue(platform::RegKey k, std::string_view n, std::uint32_t t, const std::uint8_t *d,
                std::size_t s, platform::DataForm f) override {
    return m_inner.setValue(k, n, t, d, s, f);
  }
  long deleteKey(platform::RegKey k, std::string_view s) override {
    return m_inner.deleteKey(k, s);
  }
  long deleteValue(platform::RegKey k, std::string_view n) override {
    return m_inner.deleteValue(k, n);
  }
  long flushKey(platform::RegKey k) override { return m_inner.flushKey(k); }
  long discardUnflushedChanges() override { return m_inner.discardUnflushedChanges(); }
  bool hasTwoViews() const override { return m_inner.hasTwoViews(); }
  long storedKeyPath(platform::RegKey key, platform::RegKey &root, std::string &subKey) override {
    return m_inner.storedKeyPath(key, root, subKey);
  }
  platform::FlushFailure lastFlushFailure() const override { return m_inner.lastFlushFailure(); }

private:
  platform::RegistryApi &m_inner;
};

} // namespace tw::regedit::test
