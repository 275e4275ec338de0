#include "repair/IgnoreList.h"

#include "lists/CheckableList.h"
#include "registry/XmlStore.h"
#include "scan/IgnoreIndex.h"
#include "scan/ScanLists.h"

#include <vector>

namespace tw::repair {

static constexpr std::string_view IgnoreFileName = "ignore.xml";

std::shared_ptr<const scan::IgnoreIndex> makeIgnoreSnapshot(const pugi::xml_document &ignoreList,
                                                            std::string_view fileName) {
  return std::make_shared<const scan::IgnoreIndex>(
      scan::IgnoreIndex::fromXml(ignoreList, fileName));
}

ActionResult refreshIgnoreList(lists::CheckableList &entries, const pugi::xml_document &ignoreList) {
  ActionResult result = ActionResult::ok();
  std::vector<IgnoreEntry> stored = listIgnoreEntries(ignoreList);
  std::vector<lists::Row> rows;
  rows.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    IgnoreEntry &entry = stored[i];
    if (!entry.complete && result)
      result.fail(ActionResult::Status::RecordDamaged,
                  std::string(IgnoreFileName) + ": entry " + std::to_string(i + 1) +
                      " lacks its ROOT, KEY or VALUE attribute; it is listed with empty text.");
    lists::Row row;
    row.caption = std::move(entry.root);
    row.subItems = {std::move(entry.key), std::move(entry.value)};
    rows.push_back(std::move(row));
  }
  entries.clear();
  entries.appendRows(std::move(rows));
  return result;
}

/// Saves the file, tells the scan when the document changed, and lists the entries anew.
static ActionResult finishChange(lists::CheckableList &entries, const IgnoreListFile &ignoreList,
                                 bool documentChanged, int count) {
  ActionResult result = ActionResult::ok();
  result.count = count;
  const std::string saveProblem = saveDocumentFile(ignoreList.file, IgnoreFileName);
  if (!saveProblem.empty())
    result.fail(ActionResult::Status::IgnoreListNotSaved,
                "The ignore list could not be saved: " + saveProblem + ".");
  if (documentChanged && ignoreList.changed)
    ignoreList.changed(makeIgnoreSnapshot(ignoreList.file.document, IgnoreFileName));
  // A damaged entry found while listing does not hide that the file could not be saved.
  const ActionResult refreshed = refreshIgnoreList(entries, ignoreList.file.document);
  if (!refreshed && result) result.fail(refreshed.status, refreshed.message);
  else if (!refreshed) result.message += "\n" + refreshed.message;
  return result;
}

ActionResult addTypedIgnoreEntry(lists::CheckableList &entries, const IgnoreListFile &ignoreList,
                                 std::string_view root, std::string_view key,
                                 std::string_view value) {
  const bool complete = !root.empty() && !key.empty() && !value.empty();
  if (complete)
    appendIgnoreEntry(ignoreList.file.document,
                      {std::string(root), std::string(key), std::string(value)});
  return finishChange(entries, ignoreList, complete, complete ? 1 : 0);
}

ActionResult removeCheckedIgnoreEntries(lists::CheckableList &entries,
                                        const IgnoreListFile &ignoreList) {
  if (entries.isEmpty()) return ActionResult::ok();
  pugi::xml_node root = ignoreList.file.document.document_element();
  std::vector<pugi::xml_node> elements;
  for (pugi::xml_node child : root.children())
    if (child.type() == pugi::node_element) elements.push_back(child);

  int removed = 0;
  for (int i = entries.count() - 1; i >= 0; --i) {
    const std::size_t index = static_cast<std::size_t>(i);
    if (!entries.row(i).checked || index >= elements.size()) continue;
    root.remove_child(elements[index]);
    ++removed;
  }
  return finishChange(entries, ignoreList, removed > 0, removed);
}

ActionResult addErrorsToIgnoreList(lists::CheckableList &errors, lists::CheckableList &entries,
                                   const IgnoreListFile &ignoreList) {
  int added = 0;
  lists::BackwardRowRemover removal(errors);
  for (int i = errors.count() - 1; i >= 0; --i) {
    const lists::Row &row = errors.row(i);
    if (!row.checked) continue;
    IgnoreEntry entry = ignoreEntryFromKeyText(row.subItem(scan::KeyNameSubItem));
    removal.remove(i);
    appendIgnoreEntry(ignoreList.file.document, entry);
    ++added;
  }
  removal.flush();
  return finishChange(entries, ignoreList, added > 0, added);
}

} // namespace tw::repair
