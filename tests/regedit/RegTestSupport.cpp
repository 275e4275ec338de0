#include "RegTestSupport.h"

#include <stdexcept>

namespace tw::regedit::test {

std::string utf16Bytes(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

namespace {
std::u16string widen(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = b;
    std::size_t n = 1;
    if (b >= 0xF0)
      cp = b & 0x07, n = 4;
    else if (b >= 0xE0)
      cp = b & 0x0F, n = 3;
    else if (b >= 0xC0)
      cp = b & 0x1F, n = 2;
    for (std::size_t k = 1; k < n; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}
} // namespace

std::string utf16File(std::string_view text) { return "\xFF\xFE" + utf16Bytes(widen(text)); }

std::string textOfUtf16File(const std::string &bytes) {
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE")
    return "<no byte-order mark>";
  if (bytes.size() % 2 != 0)
    return "<odd size>";
  std::string out;
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    char32_t cp = static_cast<unsigned char>(bytes[i]) |
                  static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                           static_cast<unsigned char>(bytes[i + 3]) << 8;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::vector<std::uint8_t> sz(std::u16string_view text) {
  const std::string raw = utf16Bytes(text);
  std::vector<std::uint8_t> out(raw.begin(), raw.end());
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values)
    out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

void setRaw(platform::RegistryApi &registry, platform::RegKey root, std::string_view path,
            std::string_view name, std::uint32_t type, const std::vector<std::uint8_t> &data) {
  platform::RegKey key = 0;
  if (registry.createKey(root, path, platform::access::KeyAllAccess, key) != 0)
    throw std::runtime_error("cannot create key " + std::string(path));
  const long rc =
      registry.setValue(key, name, type, data.data(), data.size(), platform::DataForm::Raw);
  registry.closeKey(key);
  if (rc != 0)
    throw std::runtime_error("cannot set value " + std::string(name));
}

platform::RegValue getRaw(platform::RegistryApi &registry, platform::RegKey root,
                          std::string_view path, std::string_view name) {
  platform::RegValue value;
  value.type = 0xFFFFFFFFu;
  platform::RegKey key = 0;
  if (registry.openKey(root, path, platform::access::KeyRead, key) != 0)
    return value;
  if (registry.queryValue(key, name, value, platform::DataForm::Raw) != 0)
    value.type = 0xFFFFFFFFu;
  registry.closeKey(key);
  return value;
}

bool keyExists(platform::RegistryApi &registry, platform::RegKey root, std::string_view path) {
  platform::RegKey key = 0;
  if (registry.openKey(root, path, platform::access::KeyRead, key) != 0)
    return false;
  registry.closeKey(key);
  return true;
}

} // namespace tw::regedit::test
