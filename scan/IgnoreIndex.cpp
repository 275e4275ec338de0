#include "scan/IgnoreIndex.h"

#include <pugixml.hpp>

namespace tw::scan {

std::string IgnoreEntry::keyText() const {
  std::string text;
  text.reserve(root->size() + key->size() + value->size() + 2);
  text.append(*root).append(1, '\\').append(*key).append(1, '\\').append(*value);
  return text;
}

static const char *firstMissingAttribute(const IgnoreEntry &entry) {
  if (!entry.root) return "ROOT";
  if (!entry.key) return "KEY";
  return "VALUE";
}

void IgnoreIndex::add(const IgnoreEntry &entry, std::size_t position, std::string_view elementName,
                      std::string_view sourceName) {
  // Entries after the first malformed one are never reached by the test.
  if (hasMalformedEntry()) return;
  if (entry.isComplete()) {
    m_texts.insert(entry.keyText());
    return;
  }
  if (!sourceName.empty()) m_malformedMessage.append(sourceName).append(": ");
  m_malformedMessage.append("ignore list entry ").append(std::to_string(position + 1));
  if (!elementName.empty()) m_malformedMessage.append(" <").append(elementName).append(">");
  m_malformedMessage.append(" has no ").append(firstMissingAttribute(entry)).append(" attribute");
}

IgnoreIndex::IgnoreIndex(const std::vector<IgnoreEntry> &entries, std::string_view sourceName) {
  for (std::size_t i = 0; i < entries.size(); ++i) add(entries[i], i, {}, sourceName);
}

static pugi::xml_node listElementOf(const pugi::xml_node &list) {
  if (list.type() != pugi::node_document) return list;
  for (pugi::xml_node child : list.children())
    if (child.type() == pugi::node_element) return child;
  return {};
}

static std::optional<std::string> attributeText(const pugi::xml_node &node, const char *name) {
  pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) return std::nullopt;
  return std::string(attribute.value());
}

std::vector<IgnoreEntry> IgnoreIndex::entriesFromXml(const pugi::xml_node &list) {
  std::vector<IgnoreEntry> entries;
  for (pugi::xml_node child : listElementOf(list).children()) {
    if (child.type() != pugi::node_element) continue;
    entries.push_back({attributeText(child, "ROOT"), attributeText(child, "KEY"),
                       attributeText(child, "VALUE")});
  }
  return entries;
}

IgnoreIndex IgnoreIndex::fromXml(const pugi::xml_node &list, std::string_view sourceName) {
  IgnoreIndex index;
  std::size_t position = 0;
  for (pugi::xml_node child : listElementOf(list).children()) {
    if (child.type() != pugi::node_element) continue;
    IgnoreEntry entry{attributeText(child, "ROOT"), attributeText(child, "KEY"),
                      attributeText(child, "VALUE")};
    index.add(entry, position++, child.name(), sourceName);
  }
  return index;
}

bool IgnoreIndex::ignores(std::string_view keyText) const {
  if (m_texts.find(keyText) != m_texts.end()) return true;
  if (hasMalformedEntry()) throw IgnoreListError(m_malformedMessage);
  return false;
}

} // namespace tw::scan
