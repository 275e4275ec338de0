#pragma once
// The ignore list as the scan consults it: an immutable index of the entries, built once from the
// ignore document (or a list of entries) and then shared by every error test of a scan.
//
// An entry hides the one error whose key text is exactly ROOT + "\" + KEY + "\" + VALUE (whole
// texts, case-sensitive). The entries are tested in document order, and an entry lacking one of
// the three attributes cannot be composed: the test fails when it reaches such an entry, that is,
// for every error that no earlier entry hides. The index keeps exactly that outcome with one hash
// look-up per error: the texts of the entries before the first malformed one, plus whether (and
// which) malformed entry follows them. Later entries can never be reached, so they are dropped.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace pugi {
class xml_node;
}

namespace tw::scan {

/// One entry of the ignore list; an attribute the entry lacks is empty (nullopt), which differs
/// from an attribute that is present with empty text.
struct IgnoreEntry {
  std::optional<std::string> root;
  std::optional<std::string> key;
  std::optional<std::string> value;

  bool isComplete() const { return root && key && value; }
  /// ROOT\KEY\VALUE; only for a complete entry.
  std::string keyText() const;
};

/// Raised by the ignore test when it reaches an entry that lacks ROOT, KEY or VALUE. It ends the
/// scan as an error raised inside a scanner does.
class IgnoreListError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class IgnoreIndex {
public:
  /// An index that ignores nothing.
  IgnoreIndex() = default;
  /// Indexes `entries`, in their order. `sourceName` (the file they came from) begins the
  /// message of a malformed entry.
  explicit IgnoreIndex(const std::vector<IgnoreEntry> &entries, std::string_view sourceName = {});

  /// Indexes the element children of `list`, whatever their names, in document order: `list` is
  /// the ignore document's root element, or the document itself (its root element is then
  /// taken). Comments and other non-element children are no entries. A null node, or a root
  /// element without children, ignores nothing. `sourceName` as for the constructor.
  static IgnoreIndex fromXml(const pugi::xml_node &list, std::string_view sourceName = {});

  /// The entries of `list` as fromXml reads them.
  static std::vector<IgnoreEntry> entriesFromXml(const pugi::xml_node &list);

  /// True when an entry hides the error with `keyText`. Throws IgnoreListError when the test
  /// reaches a malformed entry before any entry hides it.
  bool ignores(std::string_view keyText) const;

  /// True when a malformed entry can be reached (every error that no earlier entry hides fails).
  bool hasMalformedEntry() const { return !m_malformedMessage.empty(); }
  /// Number of distinct texts that can hide an error.
  std::size_t reachableTextCount() const { return m_texts.size(); }

private:
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_set<std::string, TextHash, std::equal_to<>> m_texts;
  /// Why the first malformed entry cannot be composed; empty when every entry is complete.
  std::string m_malformedMessage;

  void add(const IgnoreEntry &entry, std::size_t position, std::string_view elementName,
           std::string_view sourceName);
};

} // namespace tw::scan
