#pragma once
// The ignore list page and "Add to Ignore List": entries typed by the user or taken from the
// checked error rows, removal of checked entries. ignore.xml is rewritten after every change,
// and the scan is handed the changed list at once.

#include "repair/ActionResult.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tw::lists {
class CheckableList;
}
namespace tw::scan {
class IgnoreIndex;
}

namespace tw::repair {

/// The ignore document, its file, and who must learn of every change.
struct IgnoreListFile {
  DocumentFile file;
  /// Called with the list that every later error test must use, after each change of the
  /// document (also when the file could not be saved: the document in memory keeps the change).
  std::function<void(std::shared_ptr<const scan::IgnoreIndex>)> changed;
};

/// The ignore test's view of the document as it stands now. `fileName` begins the message of a
/// malformed entry.
std::shared_ptr<const scan::IgnoreIndex> makeIgnoreSnapshot(const pugi::xml_document &ignoreList,
                                                            std::string_view fileName);

/// Lists every entry anew, in document order, unchecked: caption ROOT, sub-items KEY and VALUE.
/// An entry lacking one of them is listed with empty text in its place, so that it can be
/// removed, and the result (RecordDamaged) names the first such entry.
ActionResult refreshIgnoreList(lists::CheckableList &entries, const pugi::xml_document &ignoreList);

/// The actions below fail with IgnoreListNotSaved when the file could not be written; when it
/// was written but the list holds an entry lacking an attribute, they fail with RecordDamaged,
/// and the change is made and saved all the same.

/// "Add": appends the entry exactly as typed, unless one of the three texts is empty (then
/// nothing is added); saves the file and lists the entries anew in either case. `count` is the
/// number of entries added (0 or 1).
ActionResult addTypedIgnoreEntry(lists::CheckableList &entries, const IgnoreListFile &ignoreList,
                                 std::string_view root, std::string_view key,
                                 std::string_view value);

/// "Remove": removes the entries of the checked rows, from the last to the first, saves the file
/// and lists the entries anew. Does nothing at all when the list has no rows.
ActionResult removeCheckedIgnoreEntries(lists::CheckableList &entries,
                                        const IgnoreListFile &ignoreList);

/// "Add to Ignore List": for every checked error row, from the last to the first, removes the
/// row and appends the entry made from its key text (ROOT before the first backslash, KEY up to
/// the last, VALUE after it); then saves the file and lists the entries anew.
ActionResult addErrorsToIgnoreList(lists::CheckableList &errors, lists::CheckableList &entries,
                                   const IgnoreListFile &ignoreList);

} // namespace tw::repair
