#include "UndoRecords.h"

#include "platform/RegistryApi.h"
#include "registry/KeySnapshot.h"
#include "registry/XmlStore.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tw::test {

namespace fs = std::filesystem;

std::optional<std::string> readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<UndoRecords> readUndoRecords(const fs::path &prefix, std::string &problem) {
  UndoRecords records;
  const auto text = readFile(prefix / UndoStoreFolder / "Backup.xml");
  if (!text) return records;
  pugi::xml_document store;
  const XmlLoadResult loaded = parseXmlDocument(store, *text, "Backup.xml", UndoStoreRootName);
  if (!loaded) {
    problem = loaded.description();
    return std::nullopt;
  }
  for (pugi::xml_node record : store.document_element().children("ELEMENT")) {
    records.keyTexts.insert(canonicalKeyPath(record.attribute("TYPE").value()));
    for (pugi::xml_node item : record.children("ITEM")) {
      const std::string subKey = canonicalKeyPath(item.attribute("SUBKEY").value());
      if (!item.attribute("NAME")) {
        records.keysWithoutValues.insert(subKey);
        continue;
      }
      const std::string entry = subKey + "\n" + lowerCase(item.attribute("NAME").value());
      records.items[entry] = std::string(item.attribute("TYPE").value()) + "\n" + item.attribute("VALUE").value();
      if (item.attribute("RAW")) records.raws[entry] = item.attribute("RAW").value();
    }
  }
  return records;
}

/// TYPE and VALUE of the record of a string or integer value, as the undo store writes them; empty
/// for the other kinds, whose VALUE is not compared here.
static std::string expectedItem(const RegistryContent::Value &value) {
  if (value.type == platform::regtype::Sz || value.type == platform::regtype::ExpandSz) {
    std::string text(value.data.begin(), value.data.end());
    text = text.substr(0, text.find('\0'));
    return "rdString\n" + EscapeBackslashes(text);
  }
  if (value.type == platform::regtype::Dword && value.data.size() == 4) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", value.data[3], value.data[2], value.data[1],
                  value.data[0]);
    return std::string("rdInteger\n") + hex;
  }
  return {};
}

/// The RAW text of a value's exact form, as the undo store writes it.
static std::string exactForm(const RegistryContent::Value &value) {
  std::string text = std::to_string(value.type) + ":";
  for (std::uint8_t byte : value.stored) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    text += hex;
  }
  return text;
}

/// True for the values whose TYPE and VALUE can give them back without an exact form.
static bool plainKind(const RegistryContent::Value &value) {
  return value.type == platform::regtype::Sz || value.type == platform::regtype::Binary ||
         (value.type == platform::regtype::Dword && value.stored.size() == 4);
}

// Where the key at `path` of `content` is stored: the key a link leads to for a link, the key
// itself otherwise.
static std::string storedPathIn(const RegistryContent &content, const std::string &path) {
  auto key = content.keys.find(path);
  if (key == content.keys.end() || key->second.storedPath.empty()) return path;
  return key->second.storedPath;
}

// The records with every SUBKEY named where the key is stored: a record made through a link
// records the entries of the key the link leads to.
static UndoRecords recordsWhereStored(const RegistryContent &original, const UndoRecords &records) {
  UndoRecords stored;
  auto translate = [&original](const std::string &entry) {
    const auto cut = entry.find('\n');
    return storedPathIn(original, entry.substr(0, cut)) + entry.substr(cut);
  };
  for (const auto &[entry, item] : records.items) stored.items[translate(entry)] = item;
  for (const auto &[entry, raw] : records.raws) stored.raws[translate(entry)] = raw;
  for (const std::string &subKey : records.keysWithoutValues)
    stored.keysWithoutValues.insert(storedPathIn(original, subKey));
  return stored;
}

std::vector<std::string> unrecordedLosses(const RegistryContent &original, const RegistryContent &now,
                                          const UndoRecords &undoRecords) {
  const UndoRecords records = recordsWhereStored(original, undoRecords);
  std::vector<std::string> losses;
  for (const auto &[path, key] : original.keys) {
    // A key seen through a link is checked where it is stored.
    if (storedPathIn(original, path) != path && original.keys.contains(key.storedPath)) continue;
    auto present = now.keys.find(path);
    if (present == now.keys.end() && key.values.empty() && !records.keysWithoutValues.contains(path))
      losses.push_back("key " + key.path);
    for (const auto &[name, value] : key.values) {
      if (present != now.keys.end() && present->second.values.contains(name)) continue;
      auto item = records.items.find(path + "\n" + name);
      if (item == records.items.end()) {
        losses.push_back("value " + key.path + " \\ " + key.valueNames.at(name));
        continue;
      }
      const std::string expected = expectedItem(value);
      if (!expected.empty() && item->second != expected)
        losses.push_back("value " + key.path + " \\ " + key.valueNames.at(name) +
                         " recorded as " + item->second);
      auto raw = records.raws.find(path + "\n" + name);
      if (raw != records.raws.end() ? raw->second != exactForm(value) : !plainKind(value))
        losses.push_back("value " + key.path + " \\ " + key.valueNames.at(name) + " of type " +
                         std::to_string(value.type) + " recorded without its exact form " + exactForm(value));
    }
  }
  return losses;
}

void savePrefixState(const std::filesystem::path &prefix, const std::filesystem::path &state) {
  namespace fs = std::filesystem;
  fs::create_directories(state);
  for (const char *file : RegistryFiles)
    fs::copy_file(prefix / file, state / file, fs::copy_options::overwrite_existing);
  fs::remove(state / "Backup.xml");
  if (fs::exists(prefix / UndoStoreFolder / "Backup.xml"))
    fs::copy_file(prefix / UndoStoreFolder / "Backup.xml", state / "Backup.xml");
}

} // namespace tw::test
