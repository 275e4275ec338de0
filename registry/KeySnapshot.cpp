#include "registry/KeySnapshot.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace tw {

// A recorded key deeper than Windows allows can only come from a loop of links.
static constexpr int MaxKeyDepth = 512;

// Every 25 bytes after the 26th, the binary text carries a "\" marker after the comma, so
// the text of a long value breaks into lines of equal length where the file is shown.
static constexpr std::size_t BinaryMarkerSpacing = 25;

static constexpr char HexDigits[] = "0123456789ABCDEF";

/// The SUBKEY root name: the full names, and the performance data root as well, which the
/// record names although no scan reports it.
static std::string recordedRootName(RootKey root) {
  if (root == HKEY_PERFORMANCE_DATA) return "HKEY_PERFORMANCE_DATA";
  return RootKeyToFullName(root);
}

std::string EscapeBackslashes(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    result += c;
    if (c == '\\') result += '\\';
  }
  return result;
}

static std::string encodeNumber(std::int32_t number) {
  const auto bits = static_cast<std::uint32_t>(number);
  std::string text(8, '0');
  for (int i = 0; i < 8; ++i) text[7 - i] = HexDigits[(bits >> (4 * i)) & 0xF];
  return text;
}

static std::string encodeBytes(const std::vector<std::uint8_t> &bytes) {
  std::string text;
  text.reserve(bytes.size() * 3 + bytes.size() / BinaryMarkerSpacing);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += HexDigits[bytes[i] >> 4];
    text += HexDigits[bytes[i] & 0xF];
    if (i + 1 == bytes.size()) break;
    text += ',';
    if (i > 0 && i % BinaryMarkerSpacing == 0) text += '\\';
  }
  return text;
}

void SnapshotValue(TRegistry &registry, pugi::xml_node item, std::string_view valueName) {
  // Everything is read before the item is touched, so a value that cannot be read leaves no
  // half-written item behind.
  const char *type = "rdString";
  std::string value;
  switch (registry.ValueKind(valueName)) {
  case RegDataKind::String:
  case RegDataKind::ExpandString: value = EscapeBackslashes(registry.ReadText(valueName)); break;
  case RegDataKind::Integer:
    type = "rdInteger";
    value = encodeNumber(registry.ReadNumber(valueName));
    break;
  case RegDataKind::Binary:
    type = "rdBinary";
    value = encodeBytes(registry.ReadBytes(valueName));
    break;
  case RegDataKind::Unknown: break;
  }
  const std::string name(valueName);
  item.append_attribute("NAME").set_value(name.c_str());
  item.append_attribute("TYPE").set_value(type);
  item.append_attribute("VALUE").set_value(value.c_str());
}

/// Appends an ITEM for one value of the registry object's open key. A value that cannot be
/// read takes its item away again before the error goes on to the caller.
static void appendValueItem(pugi::xml_node record, TRegistry &registry, const std::string &subKey,
                            std::string_view valueName) {
  pugi::xml_node item = record.append_child("ITEM");
  item.append_attribute("SUBKEY").set_value(subKey.c_str());
  try {
    SnapshotValue(registry, item, valueName);
  } catch (...) {
    record.remove_child(item);
    throw;
  }
}

static std::string absolutePath(std::string_view keyPath) {
  if (!keyPath.empty() && keyPath.front() == '\\') return std::string(keyPath);
  return '\\' + std::string(keyPath);
}

static void snapshotKeyTree(pugi::xml_node record, TRegistry &registry, const std::string &keyPath,
                            int depth) {
  if (depth > MaxKeyDepth || !registry.KeyPathExists(keyPath)) return;
  if (!registry.OpenRegKey(keyPath, /*canCreate=*/false)) return;
  const std::vector<std::string> valueNames = registry.ListValueNames();
  const std::vector<std::string> subKeyNames = registry.ListSubKeyNames();
  const std::string subKey = recordedRootName(registry.CurrentRoot()) + keyPath;
  try {
    for (const std::string &valueName : valueNames)
      appendValueItem(record, registry, subKey, valueName);
  } catch (...) {
    registry.CloseRegKey();
    throw;
  }
  registry.CloseRegKey();
  for (const std::string &subKeyName : subKeyNames)
    snapshotKeyTree(record, registry, keyPath + '\\' + subKeyName, depth + 1);
}

void SnapshotKeyTree(pugi::xml_node record, TRegistry &registry, std::string_view keyPath) {
  snapshotKeyTree(record, registry, absolutePath(keyPath), 0);
}

void SnapshotToElement(pugi::xml_node record, RootKey root, std::string_view keyPath,
                       std::string_view valueName) {
  // The record must name the key absolutely, or it could not be written back where it was.
  const std::string path = absolutePath(keyPath);
  TRegistry registry;
  registry.CurrentRoot(root);
  if (valueName.empty()) {
    SnapshotKeyTree(record, registry, path);
    return;
  }
  if (!registry.OpenRegKey(path, /*canCreate=*/false)) return;
  appendValueItem(record, registry, recordedRootName(root) + path, valueName);
}

// --- Writing back ---------------------------------------------------------------------------

/// The recorded text with its escapes undone: "\\" gives "\", a lone "\" (a binary line
/// marker) is dropped.
static std::string decodeRecordedText(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      result += '\\';
      ++i;
    }
  }
  return result;
}

/// The value of a hexadecimal number that fits in 32 bits; nothing for any other text.
static std::optional<std::uint32_t> parseHex(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    number = number * 16 + static_cast<std::uint64_t>(digit);
    if (number > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(number);
}

/// The bytes of a decoded binary text; the empty text is a zero-length value.
static std::vector<std::uint8_t> decodeBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  if (text.empty()) return bytes;
  bytes.reserve(text.size() / 3 + 1);
  for (;;) {
    auto comma = text.find(',');
    std::string_view piece = text.substr(0, comma);
    auto number = parseHex(piece);
    if (!number) throw RestoreError("'" + std::string(piece) + "' is not a valid integer value");
    bytes.push_back(static_cast<std::uint8_t>(*number & 0xFF));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return bytes;
}

void RestoreItem(std::string_view subKey, std::string_view name, std::string_view type,
                 std::string_view value) {
  auto slash = subKey.find('\\');
  std::string_view rootName = subKey.substr(0, slash);
  std::string_view keyPath = slash == std::string_view::npos ? std::string_view{} : subKey.substr(slash);
  const std::string decoded = decodeRecordedText(value);

  // Malformed data is found before anything is written.
  std::vector<std::uint8_t> bytes;
  if (type == "rdBinary") bytes = decodeBytes(decoded);

  TRegistry registry;
  registry.CurrentRoot(FullNameToRootKey(rootName));
  const bool keyOpen = registry.OpenRegKey(keyPath, /*canCreate=*/true);
  if (name.empty() && type.empty() && value.empty()) {
    // The key alone is restored; a key that cannot be made must not pass for restored.
    if (!keyOpen) throw RestoreError("Failed to create key '" + std::string(subKey) + "'");
    return;
  }
  // Without an open key the write below is refused and reports the value it was for.
  if (type == "rdString") {
    registry.WriteText(name, decoded);
  } else if (type == "rdInteger") {
    registry.WriteNumber(name, static_cast<std::int32_t>(parseHex(decoded).value_or(0)));
  } else if (type == "rdBinary") {
    registry.WriteBytes(name, bytes.data(), bytes.size());
  }
}

static const char *const ItemAttributes[] = {"SUBKEY", "NAME", "TYPE", "VALUE"};

void restoreItemElement(pugi::xml_node item) {
  const bool keyOnly = !item.first_attribute() || !item.first_attribute().next_attribute();
  for (const char *attribute : ItemAttributes) {
    if (item.attribute(attribute)) continue;
    if (keyOnly && std::string_view(attribute) != "SUBKEY") continue;
    throw RestoreError(std::string("Could not convert the record: an ITEM lacks its ") + attribute +
                       " attribute");
  }
  if (keyOnly) {
    RestoreItem(item.attribute("SUBKEY").value(), {}, {}, {});
    return;
  }
  RestoreItem(item.attribute("SUBKEY").value(), item.attribute("NAME").value(),
              item.attribute("TYPE").value(), item.attribute("VALUE").value());
}

void restoreRecord(pugi::xml_node record) {
  for (pugi::xml_node item : record.children()) {
    if (item.type() != pugi::node_element) continue;
    restoreItemElement(item);
  }
}

} // namespace tw
