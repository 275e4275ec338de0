#include "registry/XmlStore.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tw {

namespace fs = std::filesystem;

// Far beyond any undo store or ignore list the program writes; a larger file is not one of
// ours, and reading it whole would only exhaust memory.
static constexpr std::uintmax_t MaxDocumentBytes = std::uintmax_t{1} << 30;

std::string XmlLoadResult::problemDescription() const {
  std::string text;
  switch (status) {
  case Status::Loaded: return {};
  case Status::Created: return {};
  case Status::NotAFile: text = path + " is not a file"; break;
  case Status::TooLarge: text = path + " is too large to be one of the program's documents"; break;
  case Status::CannotRead: text = "cannot read " + path; break;
  case Status::Malformed: text = path + " is not well-formed XML"; break;
  case Status::WrongRoot: text = path + " holds another kind of document"; break;
  }
  if (line > 0)
    text += " at line " + std::to_string(line) + ", column " + std::to_string(column);
  else if (offset >= 0)
    text += " at offset " + std::to_string(offset);
  if (!problem.empty()) text += ": " + problem;
  if (osError != 0 && status == Status::CannotRead)
    text += std::string(" (") + std::strerror(osError) + ")";
  return text;
}

std::string XmlLoadResult::description() const {
  if (status == Status::Loaded) return "loaded " + path;
  if (status == Status::Created) return path + " does not exist; starting with an empty document";
  std::string text = problemDescription();
  if (!movedTo.empty())
    text += "; it was moved to " + movedTo + " and the program starts with an empty document";
  else if (moveError != 0)
    text += std::string("; it could not be moved aside (") + std::strerror(moveError) +
            ") and stays where it is: keep a copy of it before the program saves over it";
  else
    text += "; it was left where it is and the program starts with an empty document";
  return text;
}

void resetXmlDocument(pugi::xml_document &document, const char *rootName) {
  document.reset();
  document.append_child(rootName);
}

/// 1-based line and column of a byte offset into UTF-8 text.
static void locate(std::string_view text, std::ptrdiff_t offset, std::size_t &line,
                   std::size_t &column) {
  auto end = std::min(static_cast<std::size_t>(offset), text.size());
  line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] != '\n') continue;
    ++line;
    lineStart = i + 1;
  }
  column = end - lineStart + 1;
}

/// What is wrong at the top level of a well-formed text, or empty text when it holds exactly
/// one element and nothing else but comments, processing instructions and the declaration.
/// The parser drops text outside the document element without a word, so the text is read
/// again as a fragment, which keeps it.
static std::string topLevelProblem(std::string_view text) {
  pugi::xml_document fragment;
  fragment.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment,
                       pugi::encoding_auto);
  int elements = 0;
  for (pugi::xml_node child : fragment.children()) {
    switch (child.type()) {
    case pugi::node_element: ++elements; break;
    case pugi::node_pcdata:
    case pugi::node_cdata: return "text outside the document element";
    default: break;
    }
  }
  if (elements != 1) return "more than one document element";
  return {};
}

XmlLoadResult parseXmlDocument(pugi::xml_document &document, std::string_view text,
                               const std::string &path, const char *rootName) {
  XmlLoadResult result;
  result.path = path;
  pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    result.status = XmlLoadResult::Status::Malformed;
    result.problem = parsed.description();
    result.offset = parsed.offset;
    if (parsed.encoding == pugi::encoding_utf8) locate(text, parsed.offset, result.line, result.column);
    resetXmlDocument(document, rootName);
    return result;
  }
  if (std::string problem = topLevelProblem(text); !problem.empty()) {
    result.status = XmlLoadResult::Status::Malformed;
    result.problem = std::move(problem);
    resetXmlDocument(document, rootName);
    return result;
  }
  if (std::strcmp(document.document_element().name(), rootName) != 0) {
    result.status = XmlLoadResult::Status::WrongRoot;
    result.problem = std::string("the document element is <") +
                     document.document_element().name() + ">, expected <" + rootName + ">";
    resetXmlDocument(document, rootName);
    return result;
  }
  result.status = XmlLoadResult::Status::Loaded;
  return result;
}

static std::string timeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

/// Moves a damaged file to a free name beside it that says what it is; the new name, or empty
/// text (and `error` set) when it could not be moved.
static std::string moveAside(const std::string &path, int &error) {
  const std::string base = path + ".damaged-" + timeStamp();
  for (int attempt = 1; attempt <= 100; ++attempt) {
    std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    std::error_code ec;
    if (fs::exists(target, ec) || ec) continue;
    fs::rename(path, target, ec);
    if (!ec) return target;
    error = ec.value();
    return {};
  }
  error = EEXIST;
  return {};
}

/// Reads the document as loadXmlDocument does, without moving anything. `movable` turns true
/// when the failure is one of the file's content, so that the file may be moved aside.
static XmlLoadResult readDocument(pugi::xml_document &document, const std::string &path,
                                  const char *rootName, bool &movable) {
  XmlLoadResult result;
  result.path = path;
  movable = false;
  resetXmlDocument(document, rootName);

  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    result.status = XmlLoadResult::Status::Created;
    return result;
  }
  if (ec) {
    result.status = XmlLoadResult::Status::CannotRead;
    result.osError = ec.value();
    return result;
  }
  // A folder or a device under the document's name is not ours to move or read.
  if (status.type() != fs::file_type::regular) {
    result.status = XmlLoadResult::Status::NotAFile;
    return result;
  }

  movable = true;
  std::string text;
  std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    result.status = XmlLoadResult::Status::CannotRead;
    result.osError = ec.value();
  } else if (size > MaxDocumentBytes) {
    result.status = XmlLoadResult::Status::TooLarge;
  } else {
    std::ifstream in(path, std::ios::binary);
    text.resize(static_cast<std::size_t>(size));
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(size)) ||
        in.peek() != std::ifstream::traits_type::eof()) {
      // Unreadable, or it changed size while being read.
      result.status = XmlLoadResult::Status::CannotRead;
      result.osError = errno != 0 ? errno : EIO;
    } else {
      result = parseXmlDocument(document, text, path, rootName);
    }
  }
  return result;
}

XmlLoadResult readXmlDocument(pugi::xml_document &document, const std::string &path,
                              const char *rootName) {
  bool movable = false;
  return readDocument(document, path, rootName, movable);
}

XmlLoadResult loadXmlDocument(pugi::xml_document &document, const std::string &path,
                              const char *rootName) {
  bool movable = false;
  XmlLoadResult result = readDocument(document, path, rootName, movable);
  if (result || !movable) return result;
  // Kept aside, so that the empty document the program goes on with never replaces it.
  result.movedTo = moveAside(path, result.moveError);
  return result;
}

namespace {
class StringWriter : public pugi::xml_writer {
public:
  std::string text;
  void write(const void *data, std::size_t size) override {
    text.append(static_cast<const char *>(data), size);
  }
};
} // namespace

std::string xmlDocumentText(const pugi::xml_document &document) {
  StringWriter writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  return std::move(writer.text);
}

platform::SaveResult saveXmlDocument(const pugi::xml_document &document, const std::string &path) {
  return platform::saveFileAtomically(path, xmlDocumentText(document));
}

// --- Undo store ---------------------------------------------------------------------------

static pugi::xml_node storeRoot(pugi::xml_document &document, const char *rootName) {
  pugi::xml_node root = document.document_element();
  return root ? root : document.append_child(rootName);
}

/// The attribute's text; `complete` turns false when it is missing.
static std::string attributeText(pugi::xml_node node, const char *name, bool &complete) {
  pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) complete = false;
  return attribute.value();
}

pugi::xml_node appendUndoRecord(pugi::xml_document &store, const UndoRecord &record) {
  pugi::xml_node element = storeRoot(store, UndoStoreRootName).append_child("ELEMENT");
  element.append_attribute("NAME").set_value(record.name.c_str());
  element.append_attribute("TYPE").set_value(record.type.c_str());
  element.append_attribute("PATH").set_value(record.path.c_str());
  return element;
}

std::vector<UndoRecord> listUndoRecords(const pugi::xml_document &store) {
  std::vector<UndoRecord> records;
  for (pugi::xml_node element : store.document_element().children()) {
    if (element.type() != pugi::node_element) continue;
    UndoRecord record;
    record.name = attributeText(element, "NAME", record.complete);
    record.type = attributeText(element, "TYPE", record.complete);
    record.path = attributeText(element, "PATH", record.complete);
    records.push_back(std::move(record));
  }
  return records;
}

/// The index-th element child: the list rows mirror element children only, so comments or
/// whitespace text in a hand-edited file must not shift the positions.
static pugi::xml_node elementAt(pugi::xml_node parent, std::size_t index) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() != pugi::node_element) continue;
    if (index == 0) return child;
    --index;
  }
  return {};
}

pugi::xml_node undoRecordAt(const pugi::xml_document &store, std::size_t index) {
  return elementAt(store.document_element(), index);
}

bool removeUndoRecord(pugi::xml_document &store, std::size_t index) {
  pugi::xml_node record = undoRecordAt(store, index);
  return record && store.document_element().remove_child(record);
}

void clearUndoRecords(pugi::xml_document &store) {
  pugi::xml_node root = storeRoot(store, UndoStoreRootName);
  while (root.first_child()) root.remove_child(root.first_child());
}

// --- Ignore list --------------------------------------------------------------------------

IgnoreEntry ignoreEntryFromKeyText(std::string_view keyText) {
  IgnoreEntry entry;
  auto first = keyText.find('\\');
  auto last = keyText.rfind('\\');
  if (first == std::string_view::npos) {
    entry.value = std::string(keyText);
    return entry;
  }
  entry.root = std::string(keyText.substr(0, first));
  if (last > first) entry.key = std::string(keyText.substr(first + 1, last - first - 1));
  entry.value = std::string(keyText.substr(last + 1));
  return entry;
}

void appendIgnoreEntry(pugi::xml_document &ignoreList, const IgnoreEntry &entry) {
  pugi::xml_node element = storeRoot(ignoreList, IgnoreListRootName).append_child("ERROR");
  element.append_attribute("ROOT").set_value(entry.root.c_str());
  element.append_attribute("KEY").set_value(entry.key.c_str());
  element.append_attribute("VALUE").set_value(entry.value.c_str());
}

std::vector<IgnoreEntry> listIgnoreEntries(const pugi::xml_document &ignoreList) {
  std::vector<IgnoreEntry> entries;
  for (pugi::xml_node element : ignoreList.document_element().children()) {
    if (element.type() != pugi::node_element) continue;
    IgnoreEntry entry;
    entry.root = attributeText(element, "ROOT", entry.complete);
    entry.key = attributeText(element, "KEY", entry.complete);
    entry.value = attributeText(element, "VALUE", entry.complete);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool removeIgnoreEntry(pugi::xml_document &ignoreList, std::size_t index) {
  pugi::xml_node entry = elementAt(ignoreList.document_element(), index);
  return entry && ignoreList.document_element().remove_child(entry);
}

} // namespace tw
