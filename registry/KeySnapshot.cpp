#include "registry/KeySnapshot.h"

#include "platform/registry/RegistryText.h"

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

bool undoStoreCanHold(std::string_view text) {
  // XML has no way to write a NUL character, not even as a character reference.
  return text.find('\0') == std::string_view::npos;
}

std::string visibleName(std::string_view text) {
  std::string shown;
  for (char c : text) {
    if (c == '\0') shown += "\\0";
    else shown += c;
  }
  return shown;
}

/// Throws UnrecordableEntry when the undo store cannot keep `name`, part of `where`.
static void requireRecordable(std::string_view name, std::string_view where) {
  if (undoStoreCanHold(name)) return;
  throw UnrecordableEntry("the name \"" + visibleName(name) + "\" in " + visibleName(where) +
                          " holds a NUL character, which the undo store cannot keep");
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

/// True when the stored UTF-16LE data is one text the narrow read gives whole and the narrow
/// write stores again unchanged: whole units, well-paired surrogates, no zero but one at the end.
static bool isSingleText(const std::vector<std::uint8_t> &data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::size_t units = data.size() / 2;
  bool expectLowSurrogate = false;
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned unit = data[2 * i] | static_cast<unsigned>(data[2 * i + 1]) << 8;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (expectLowSurrogate != low) return false;
    expectLowSurrogate = unit >= 0xD800 && unit <= 0xDBFF;
    if (unit == 0 && i + 1 != units) return false;
  }
  return data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

/// True when TYPE and VALUE give the stored value back with its type and every byte.
static bool carriedExactly(const platform::RegValue &stored) {
  switch (stored.type) {
  case platform::regtype::Binary: return true;
  case platform::regtype::Dword: return stored.data.size() == sizeof(std::uint32_t);
  case platform::regtype::Sz: return isSingleText(stored.data);
  default: return false;
  }
}

/// The RAW text of a stored value: its type in decimal, a colon, its bytes in hex.
static std::string encodeRaw(const platform::RegValue &stored) {
  std::string text = std::to_string(stored.type);
  text.reserve(text.size() + 1 + 2 * stored.data.size());
  text += ':';
  for (std::uint8_t byte : stored.data) {
    text += HexDigits[byte >> 4];
    text += HexDigits[byte & 0xF];
  }
  return text;
}

/// The text of a string value as the narrow reads give it: UTF-8, cut at the first zero.
static std::string textOf(const platform::RegValue &stored) {
  const std::string text = platform::detail::utf16leBytesToUtf8(stored.data.data(), stored.data.size());
  return text.substr(0, text.find('\0'));
}

/// Sets NAME, TYPE, VALUE and, where those cannot give the value back exactly, RAW from the
/// value as stored. Everything is worked out before the item is touched, so a value that cannot
/// be recorded leaves no half-written item behind.
static void describeStoredValue(pugi::xml_node item, const platform::RegValue &stored) {
  const char *type = "rdString";
  std::string value;
  switch (stored.type) {
  case platform::regtype::Sz:
  case platform::regtype::ExpandSz: value = EscapeBackslashes(textOf(stored)); break;
  case platform::regtype::Dword: {
    // A number is read into four bytes: longer data cannot be read into them.
    if (stored.data.size() > sizeof(std::uint32_t)) throw ERegistryException::cannotGetData(stored.name);
    // Shorter data fills the low bytes, as the registry hands a short number over.
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < stored.data.size(); ++i) number |= static_cast<std::uint32_t>(stored.data[i]) << (8 * i);
    type = "rdInteger";
    value = encodeNumber(static_cast<std::int32_t>(number));
    break;
  }
  case platform::regtype::Binary:
    type = "rdBinary";
    value = encodeBytes(stored.data);
    break;
  default: break;
  }
  // Binary data is always carried whole; every other value is checked against its stored form.
  std::string raw;
  if (stored.type != platform::regtype::Binary && !carriedExactly(stored)) raw = encodeRaw(stored);
  item.append_attribute("NAME").set_value(stored.name.c_str());
  item.append_attribute("TYPE").set_value(type);
  item.append_attribute("VALUE").set_value(value.c_str());
  if (!raw.empty()) item.append_attribute("RAW").set_value(raw.c_str());
}

void SnapshotValue(TRegistry &registry, pugi::xml_node item, std::string_view valueName) {
  std::optional<platform::RegValue> stored = registry.readRawValue(valueName);
  if (stored) {
    // The record names the value as it was asked for.
    stored->name = std::string(valueName);
    describeStoredValue(item, *stored);
    return;
  }
  // A value that cannot be read is recorded as an empty text, which gives back an empty value.
  const std::string name(valueName);
  item.append_attribute("NAME").set_value(name.c_str());
  item.append_attribute("TYPE").set_value("rdString");
  item.append_attribute("VALUE").set_value("");
}

/// Appends an ITEM under `subKey` for the value `name`, which `describe` fills in. An item that
/// cannot be filled in is taken away again before the error goes on to the caller.
template <typename Describe>
static void appendValueItem(pugi::xml_node record, const std::string &subKey, std::string_view name,
                            Describe &&describe) {
  requireRecordable(name, subKey);
  pugi::xml_node item = record.append_child("ITEM");
  item.append_attribute("SUBKEY").set_value(subKey.c_str());
  try {
    describe(item);
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
  // A key that is missing, or that cannot be opened, has nothing to record.
  if (depth > MaxKeyDepth || !registry.OpenRegKey(keyPath, /*canCreate=*/false)) return;
  // Each value is read once, with the listing, as stored.
  const std::vector<platform::RegValue> values = registry.listStoredValues();
  const std::vector<std::string> subKeyNames = registry.ListSubKeyNames();
  const std::string subKey = recordedRootName(registry.CurrentRoot()) + keyPath;
  try {
    // The whole level is checked before any of it is recorded.
    requireRecordable(keyPath, subKey);
    for (const std::string &subKeyName : subKeyNames) requireRecordable(subKeyName, subKey);
    for (const platform::RegValue &stored : values)
      appendValueItem(record, subKey, stored.name, [&](pugi::xml_node item) { describeStoredValue(item, stored); });
  } catch (...) {
    registry.CloseRegKey();
    throw;
  }
  registry.CloseRegKey();
  // A key without values would otherwise leave no trace, and the restore could not make it again.
  if (values.empty()) record.append_child("ITEM").append_attribute("SUBKEY").set_value(subKey.c_str());
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
  requireRecordable(path, recordedRootName(root) + path);
  TRegistry registry;
  registry.CurrentRoot(root);
  if (valueName.empty()) {
    SnapshotKeyTree(record, registry, path);
    return;
  }
  if (!registry.OpenRegKey(path, /*canCreate=*/false)) return;
  appendValueItem(record, recordedRootName(root) + path, valueName,
                  [&](pugi::xml_node item) { SnapshotValue(registry, item, valueName); });
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

/// The value of one hexadecimal digit of either case; -1 for any other character.
static int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/// The value of a hexadecimal number that fits in 32 bits; nothing for any other text.
static std::optional<std::uint32_t> parseHex(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
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

namespace {
/// A value as the RAW attribute gives it: its registry type and stored bytes.
struct ExactValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};
} // namespace

/// The value of a decimal number that fits in 32 bits; nothing for any other text.
static std::optional<std::uint32_t> parseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
    if (number > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(number);
}

/// The type and data a RAW text names, or what is wrong with it.
static std::optional<ExactValue> parseRaw(std::string_view text, std::string &problem) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    problem = "no colon after the value type";
    return std::nullopt;
  }
  const std::string_view typeText = text.substr(0, colon);
  const std::optional<std::uint32_t> type = parseDecimal(typeText);
  if (!type) {
    problem = "value type '" + std::string(typeText) + "' is not a decimal number below 2^32";
    return std::nullopt;
  }
  ExactValue exact;
  exact.type = *type;
  const std::string_view hex = text.substr(colon + 1);
  if (hex.size() % 2 != 0) {
    problem = "odd number of hex digits in the data";
    return std::nullopt;
  }
  exact.data.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexDigitValue(hex[i]);
    const int low = hexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) {
      problem = "'" + std::string(hex.substr(i, 2)) + "' at data offset " + std::to_string(i) +
                " is not a hex byte";
      return std::nullopt;
    }
    exact.data.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return exact;
}

namespace {
/// One item checked and decoded, ready to be written back.
struct PreparedItem {
  RootKey root = HKEY_CLASSES_ROOT;
  std::string keyPath;
  std::string subKey;
  std::string name;
  std::string type;
  bool keyOnly = false;
  std::optional<ExactValue> exact;
  std::string text;
  std::uint32_t number = 0;
  std::vector<std::uint8_t> bytes;
};
} // namespace

/// True for the root names a record's SUBKEY may begin with: the five roots the program records.
static bool isRecordedRootName(std::string_view rootName) {
  return rootName == "HKEY_CLASSES_ROOT" || rootName == "HKEY_CURRENT_USER" ||
         rootName == "HKEY_LOCAL_MACHINE" || rootName == "HKEY_USERS" ||
         rootName == "HKEY_CURRENT_CONFIG";
}

/// Checks and decodes one item; throws RestoreError, naming the item, when it cannot be written
/// back exactly.
static PreparedItem prepareItem(std::string_view subKey, std::string_view name, std::string_view type,
                                std::string_view value, std::optional<std::string_view> raw) {
  PreparedItem item;
  auto slash = subKey.find('\\');
  std::string_view rootName = subKey.substr(0, slash);
  item.subKey = std::string(subKey);
  item.keyPath = slash == std::string_view::npos ? std::string() : std::string(subKey.substr(slash));
  item.name = std::string(name);
  item.type = std::string(type);
  const std::string what = "the value '" + item.name + "' of " + item.subKey;
  // Any other root name would be taken for HKEY_CLASSES_ROOT and the value written there.
  if (!isRecordedRootName(rootName))
    throw RestoreError("Could not convert the record: " + what + " is under '" + std::string(rootName) +
                       "', which is not a registry root the program records");
  const std::string decoded = decodeRecordedText(value);

  // The exact form, when recorded, stands for the value and the texts before it are not used.
  if (raw) {
    std::string problem;
    item.exact = parseRaw(*raw, problem);
    if (!item.exact)
      throw RestoreError("Could not convert the record: the RAW attribute of " + what + " is damaged (" +
                         problem + ")");
    return item;
  }
  if (name.empty() && type.empty() && value.empty()) {
    item.keyOnly = true;
    return item;
  }
  if (type == "rdString") {
    item.text = decoded;
  } else if (type == "rdInteger") {
    const std::optional<std::uint32_t> number = parseHex(decoded);
    if (!number)
      throw RestoreError("Could not convert the record: " + what + " is an rdInteger whose VALUE '" +
                         std::string(value) + "' is not a hexadecimal number");
    item.number = *number;
  } else if (type == "rdBinary") {
    item.bytes = decodeBytes(decoded);
  } else {
    throw RestoreError("Could not convert the record: " + what + " has the TYPE '" + item.type +
                       "', which the program does not know, and no RAW attribute");
  }
  return item;
}

/// Writes one prepared item back; throws RestoreError for a key that cannot be created and
/// ERegistryException for a value the registry refuses.
static void writeItem(const PreparedItem &item) {
  TRegistry registry;
  registry.CurrentRoot(FullNameToRootKey(item.subKey.substr(0, item.subKey.find('\\'))));
  const bool keyOpen = registry.OpenRegKey(item.keyPath, /*canCreate=*/true);
  // Without an open key the writes below are refused and report the value they were for.
  if (item.exact) {
    registry.writeRawValue(item.name, item.exact->type, item.exact->data.data(), item.exact->data.size());
    return;
  }
  if (item.keyOnly) {
    // The key alone is restored; a key that cannot be made must not pass for restored.
    if (!keyOpen) throw RestoreError("Failed to create key '" + item.subKey + "'");
    return;
  }
  if (item.type == "rdString") registry.WriteText(item.name, item.text);
  else if (item.type == "rdInteger") registry.WriteNumber(item.name, static_cast<std::int32_t>(item.number));
  else registry.WriteBytes(item.name, item.bytes.data(), item.bytes.size());
}

void RestoreItem(std::string_view subKey, std::string_view name, std::string_view type,
                 std::string_view value, std::optional<std::string_view> raw) {
  writeItem(prepareItem(subKey, name, type, value, raw));
}

static const char *const ItemAttributes[] = {"SUBKEY", "NAME", "TYPE", "VALUE"};

static PreparedItem prepareItemElement(pugi::xml_node item) {
  const bool keyOnly = !item.first_attribute() || !item.first_attribute().next_attribute();
  for (const char *attribute : ItemAttributes) {
    if (item.attribute(attribute)) continue;
    if (keyOnly && std::string_view(attribute) != "SUBKEY") continue;
    throw RestoreError(std::string("Could not convert the record: an ITEM lacks its ") + attribute +
                       " attribute");
  }
  if (keyOnly) return prepareItem(item.attribute("SUBKEY").value(), {}, {}, {}, std::nullopt);
  std::optional<std::string_view> raw;
  if (pugi::xml_attribute rawAttribute = item.attribute("RAW")) raw = rawAttribute.value();
  return prepareItem(item.attribute("SUBKEY").value(), item.attribute("NAME").value(),
                     item.attribute("TYPE").value(), item.attribute("VALUE").value(), raw);
}

void restoreItemElement(pugi::xml_node item) { writeItem(prepareItemElement(item)); }

void restoreRecord(pugi::xml_node record) {
  std::vector<PreparedItem> items;
  for (pugi::xml_node item : record.children()) {
    if (item.type() != pugi::node_element) continue;
    items.push_back(prepareItemElement(item));
  }
  if (items.empty())
    throw RestoreError("Could not convert the record: it holds no ITEM, so there is nothing to write back");
  for (const PreparedItem &item : items) writeItem(item);
}

/// True when the registry holds the key of an item that carries SUBKEY alone, or the value it names.
static bool isItemPresent(pugi::xml_node item) {
  const std::string_view subKey = item.attribute("SUBKEY").value();
  const auto slash = subKey.find('\\');
  if (slash == std::string_view::npos) return false;
  TRegistry registry(platform::access::KeyRead);
  registry.CurrentRoot(FullNameToRootKey(subKey.substr(0, slash)));
  if (!registry.OpenRegKey(subKey.substr(slash), /*canCreate=*/false)) return false;
  if (!item.attribute("NAME")) return true;
  return registry.readRawValue(item.attribute("NAME").value()).has_value();
}

bool isRecordedEntryPresent(pugi::xml_node record) {
  for (pugi::xml_node item : record.children("ITEM"))
    if (isItemPresent(item)) return true;
  return false;
}

bool areRecordedEntriesAllPresent(pugi::xml_node record) {
  bool any = false;
  for (pugi::xml_node item : record.children("ITEM")) {
    if (!isItemPresent(item)) return false;
    any = true;
  }
  return any;
}

} // namespace tw
