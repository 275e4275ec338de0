#include "platform/registry/WineFileParser.h"

#include "platform/registry/RegistryText.h"
#include "platform/registry/WineValueSyntax.h"

#include <algorithm>
#include <cstring>

namespace tw::platform::detail {

namespace {

using Status = RegistryLoadResult::Status;

constexpr std::string_view Signature = "WINE REGISTRY Version 2";
constexpr std::string_view RootComment = ";; All keys relative to ";
// Windows nests keys at most 512 deep; deeper paths are damage, and the limit keeps every
// walk of the tree short.
constexpr std::size_t MaxKeyDepth = 512;
constexpr std::size_t MaxKeyNameUnits = 255;
constexpr std::size_t MaxValueNameUnits = 16383;
constexpr std::uint64_t TicksPerSecond = 10000000ull;
constexpr std::uint64_t TicksFrom1601To1970 = 116444736000000000ull;

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// Bytes that end a run of plain ASCII in a name or a string: NUL, quote, backslash, ']' and
// every byte of a multi-byte character.
struct PlainBytes {
  bool stop[256]{};
  constexpr PlainBytes() {
    for (int c = 0x80; c < 256; ++c) stop[c] = true;
    stop[0] = stop[static_cast<unsigned char>('"')] = stop[static_cast<unsigned char>('\\')] = true;
    stop[static_cast<unsigned char>(']')] = true;
  }
};
constexpr PlainBytes Plain;

// The value of each hexadecimal digit, and -1 for every other byte.
struct HexDigits {
  signed char value[256]{};
  constexpr HexDigits() {
    for (int c = 0; c < 256; ++c) value[c] = -1;
    for (int d = 0; d < 10; ++d) value['0' + d] = static_cast<signed char>(d);
    for (int d = 0; d < 6; ++d) value['a' + d] = value['A' + d] = static_cast<signed char>(10 + d);
  }
};
constexpr HexDigits Hex;

// The first byte at or after `i` that is not plain ASCII (see PlainBytes).
std::size_t skipPlain(std::string_view text, std::size_t i) {
  while (i < text.size() && !Plain.stop[static_cast<unsigned char>(text[i])]) ++i;
  return i;
}

struct Fault {
  Status status;
  std::size_t offset; // in the file, to find the line
  std::string detail;
};

// One path element of the key line being read, and the key it named.
struct PathStep {
  std::string_view raw; // escaped text in the file, to recognise the same element cheaply
  KeyId key;
};

class Parser {
public:
  Parser(RegistryStore &store, std::uint8_t file, FileHeader &header)
      : m_store(store), m_file(file), m_header(header), m_text(store.files()[file].bytes) {}

  RegistryLoadResult run();

private:
  bool parseHeader();
  bool parseKeyLine(std::size_t start, std::size_t end);
  bool parseKeyOption(std::size_t start, std::size_t end);
  bool parseGlobalOption(std::size_t start, std::size_t end);
  bool parseValueLine(std::size_t start, std::size_t end, std::size_t &next);
  bool finishKey();
  bool fail(Status status, std::size_t offset, std::string detail) {
    m_fault = {status, offset, std::move(detail)};
    return false;
  }
  KeyId childFor(KeyId parent, std::string_view name, bool owned, Slice slice);
  void stampTime(KeyId key, std::uint64_t time);
  std::size_t lineEnd(std::size_t from) const {
    const void *nl = std::memchr(m_text.data() + from, '\n', m_text.size() - from);
    return nl ? static_cast<std::size_t>(static_cast<const char *>(nl) - m_text.data()) : m_text.size();
  }
  // The end of a line's content: before the newline and before a carriage return.
  std::size_t contentEnd(std::size_t start, std::size_t end) const {
    return (end > start && m_text[end - 1] == '\r') ? end - 1 : end;
  }
  Slice slice(std::size_t offset, std::size_t length) const {
    return {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)};
  }
  std::size_t lineOf(std::size_t offset) const {
    return static_cast<std::size_t>(std::count(m_text.begin(), m_text.begin() + static_cast<std::ptrdiff_t>(offset), '\n')) + 1;
  }

  RegistryStore &m_store;
  std::uint8_t m_file;
  FileHeader &m_header;
  std::string_view m_text;
  Fault m_fault{Status::Ok, 0, {}};

  KeyId m_key = NoKey;          // the key whose lines are being read
  std::size_t m_blockStart = 0; // where its block begins
  std::size_t m_blockEnd = 0;   // just past its last line so far
  std::uint64_t m_lineTime = 0; // the time on its key line
  bool m_sawKey = false;
  std::vector<PathStep> m_path; // the elements of the previous key line
  std::u16string m_units;       // scratch for decoding
  std::vector<std::size_t> m_valueLines; // where each value of the key starts
  std::vector<Value> m_values;           // the values of the key, until it is complete
  std::vector<std::string_view> m_elements; // the names of the key line being read
  std::vector<std::string> m_decodedNames;  // their text, when it had to be decoded
  std::string_view m_prevName;               // the escaped name of the previous key line, when simple
  std::vector<std::size_t> m_order;          // scratch for finding twin value names
  std::size_t m_lineEnd = 0;                 // the newline (or end) of the line being read
};

RegistryLoadResult Parser::run() {
  RegistryLoadResult result;
  result.file = m_store.files()[m_file].path;
  bool ok = parseHeader();
  std::size_t pos = ok ? lineEnd(0) : 0;
  while (ok && pos < m_text.size()) {
    std::size_t start = pos + 1; // past the newline
    if (start >= m_text.size()) break;
    std::size_t end = lineEnd(start);
    std::size_t next = end;
    std::size_t p = start;
    while (p < end && isSpace(m_text[p])) ++p;
    char c = p < end ? m_text[p] : '\0';
    std::size_t stop = contentEnd(start, end);
    m_lineEnd = end;
    switch (c) {
    case '[': ok = finishKey() && parseKeyLine(p, stop); break;
    case '@':
    case '"':
      if (!m_sawKey) {
        ok = fail(Status::ValueWithoutKey, p, "a value before the first key");
        break;
      }
      ok = parseValueLine(p, stop, next);
      if (ok) m_blockEnd = next < m_text.size() ? next + 1 : next;
      break;
    case '#':
      ok = m_sawKey ? parseKeyOption(p, stop) : parseGlobalOption(p, stop);
      if (ok && m_sawKey) m_blockEnd = end < m_text.size() ? end + 1 : end;
      break;
    case ';':
      if (!m_sawKey) {
        std::string_view line = m_text.substr(p, stop - p);
        if (line.substr(0, RootComment.size()) == RootComment && m_header.rootText.empty()) {
          // Carriage returns would not survive writing the line back, so none is kept.
          std::string_view root = line.substr(RootComment.size());
          while (!root.empty() && root.back() == '\r') root.remove_suffix(1);
          m_header.rootText.assign(root);
        }
        break;
      }
      m_blockEnd = end < m_text.size() ? end + 1 : end; // a comment inside a key stays with it
      break;
    case '\0':
    case '\r': break; // an empty line
    default: ok = fail(Status::UnexpectedLine, p, "a line that is neither a key, a value, an option nor a comment");
    }
    pos = next;
  }
  if (ok) ok = finishKey();
  if (!ok) {
    result.status = m_fault.status;
    result.line = lineOf(std::min(m_fault.offset, m_text.size()));
    result.detail = std::move(m_fault.detail);
    return result;
  }
  result.status = Status::Ok;
  return result;
}

bool Parser::parseHeader() {
  std::size_t end = lineEnd(0);
  if (m_text.substr(0, contentEnd(0, end)) != Signature)
    return fail(Status::BadHeader, 0, "the first line is not \"WINE REGISTRY Version 2\"");
  if (const void *nul = std::memchr(m_text.data(), '\0', m_text.size()))
    return fail(Status::UnexpectedLine, static_cast<std::size_t>(static_cast<const char *>(nul) - m_text.data()),
                "a NUL byte");
  return true;
}

bool Parser::parseGlobalOption(std::size_t start, std::size_t end) {
  std::string_view line = m_text.substr(start, end - start);
  if (line.substr(0, 6) != "#arch=") return true; // Wine ignores options it does not know
  std::string_view arch = line.substr(6);
  if (arch != "win32" && arch != "win64")
    return fail(Status::BadArchitecture, start, "unknown architecture \"" + std::string(arch) + "\"");
  if (!m_header.arch.empty() && m_header.arch != arch)
    return fail(Status::BadArchitecture, start, "a second, different #arch line");
  m_header.arch.assign(arch);
  return true;
}

KeyId Parser::childFor(KeyId parent, std::string_view name, bool owned, Slice nameSlice) {
  const std::vector<KeyId> &children = m_store.key(parent).children;
  std::size_t position = children.size();
  // Files list keys in order, so a new key usually goes after its last sibling.
  if (!children.empty() && compareNames(m_store.keyName(children.back()), name) >= 0) {
    KeyId found = m_store.findChild(parent, name, &position);
    if (found != NoKey) return found;
  }
  if (owned) {
    KeyId id = m_store.addChildSlice(parent, Slice{}, m_file, position);
    m_store.key(id).extra = std::make_unique<KeyExtra>();
    m_store.key(id).extra->ownsName = true;
    m_store.key(id).extra->name.assign(name);
    return id;
  }
  return m_store.addChildSlice(parent, nameSlice, m_file, position);
}

void Parser::stampTime(KeyId key, std::uint64_t time) {
  // A key and the parents made for it take the time of the first line that dates them.
  while (key != NoKey && m_store.key(key).modified == 0) {
    m_store.key(key).modified = time;
    key = m_store.key(key).parent;
  }
}

// How many bytes `a` and `b` share at their start.
static std::size_t commonPrefix(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a.data() + i, sizeof x);
    std::memcpy(&y, b.data() + i, sizeof y);
    if (x != y) break;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Length of the key name before its closing ']' when the name needs no decoding: only "\\"
// separators as escapes and well-formed UTF-8, with its names (slices of `rest`) put in
// `elements` on the way. `elements` may already hold the names of the first `known` bytes,
// which end just after a separator. Zero when the slow path must decide.
static std::size_t simpleKeyNameLength(std::string_view rest, std::size_t known, std::vector<std::string_view> &elements) {
  const char *text = rest.data();
  std::size_t from = known;
  for (std::size_t i = known; i < rest.size();) {
    i = skipPlain(rest, i);
    if (i >= rest.size()) break;
    auto c = static_cast<unsigned char>(text[i]);
    if (c == ']') {
      if (i > 0) elements.emplace_back(text + from, i - from);
      return i;
    }
    if (c == '\\') {
      if (i + 1 < rest.size() && text[i + 1] == '\\') {
        elements.emplace_back(text + from, i - from);
        i += 2;
        from = i;
        continue;
      }
      return 0;
    }
    if (c == 0) return 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::uint32_t codePoint = 0;
    std::size_t used = decodeUtf8Sequence(rest, i, codePoint);
    if (used == 0) return 0;
    i += used;
  }
  return 0;
}

bool Parser::parseKeyLine(std::size_t start, std::size_t end) {
  std::string_view rest = m_text.substr(start + 1, end - start - 1);
  std::vector<std::string_view> &elements = m_elements;
  // Sorted files repeat the path of the line before: the names that match it byte for byte,
  // separator included, were checked on that line and are not read again.
  elements.clear();
  std::size_t knownBytes = 0;
  std::size_t knownNames = 0;
  if (!m_prevName.empty()) {
    std::size_t common = commonPrefix(rest, m_prevName);
    for (; knownNames < m_path.size(); ++knownNames) {
      std::string_view prev = m_path[knownNames].raw;
      std::size_t nameEnd = static_cast<std::size_t>(prev.data() - m_prevName.data()) + prev.size();
      // The separator after it may follow the end of the previous path (a key's first sub-key).
      if (nameEnd > common || rest.substr(nameEnd, 2) != "\\\\") break;
      std::size_t after = nameEnd + 2;
      elements.push_back(rest.substr(knownBytes, prev.size()));
      knownBytes = after;
    }
  }
  std::size_t nameLength = simpleKeyNameLength(rest, knownBytes, elements);
  bool simple = nameLength > 0 || (!rest.empty() && rest[0] == ']'); // only "\\" separators
  std::size_t afterName = nameLength + 1;
  if (!simple) {
    m_units.clear();
    EscapedDecode decoded = decodeEscaped(rest, ']', [this](char16_t u) { m_units.push_back(u); });
    if (decoded.status == EscapedDecode::Status::BadUtf8)
      return fail(Status::MalformedKey, start + 1 + decoded.end, "invalid UTF-8 in the key name");
    if (decoded.status != EscapedDecode::Status::Ok) return fail(Status::MalformedKey, start, "no closing ']'");
    nameLength = decoded.end - 1;
    afterName = decoded.end;
  }

  // The time after the name: seconds since 1970, as Wine writes it.
  std::string_view after = rest.substr(afterName);
  std::size_t i = 0;
  while (i < after.size() && isSpace(after[i])) ++i;
  std::uint64_t seconds = 0;
  std::size_t digits = 0;
  for (; i < after.size() && after[i] >= '0' && after[i] <= '9'; ++i, ++digits)
    seconds = seconds * 10 + static_cast<std::uint64_t>(after[i] - '0');
  while (i < after.size() && isSpace(after[i])) ++i;
  if (i != after.size() || digits > 10 || seconds > 0xFFFFFFFFull)
    return fail(Status::MalformedKey, start, "unexpected text after the key name");
  m_lineTime = digits > 0 ? seconds * TicksPerSecond + TicksFrom1601To1970 : fileTimeNow();

  // Split into names. In the simple case each name is a slice of the file; otherwise the
  // decoded text is split at its backslashes.
  if (!simple) elements.clear();
  m_decodedNames.clear();
  if (!simple && !m_units.empty()) {
    std::size_t unitFrom = 0;
    for (std::size_t u = 0; u <= m_units.size(); ++u) {
      if (u < m_units.size() && m_units[u] != u'\\') continue;
      std::string &name = m_decodedNames.emplace_back();
      appendUtf8(name, m_units.data() + unitFrom, u - unitFrom);
      unitFrom = u + 1;
    }
    for (const std::string &name : m_decodedNames) elements.push_back(name);
  }
  if (elements.size() > MaxKeyDepth) return fail(Status::TooDeep, start, "keys nested too deep");

  KeyId at = m_store.files()[m_file].branch;
  std::size_t reused = 0;
  for (std::size_t e = 0; e < elements.size(); ++e) {
    std::string_view name = elements[e];
    if (name.empty()) return fail(Status::MalformedKey, start, "an empty name in the key path");
    if (simple && reused == e && (e < knownNames || (e < m_path.size() && !m_path[e].raw.empty() && m_path[e].raw == name))) {
      at = m_path[e].key;
      ++reused;
      continue;
    }
    if (name.size() > MaxKeyNameUnits) { // UTF-8 is never shorter than its UTF-16
      m_units.clear();
      appendUtf16(m_units, name);
      if (m_units.size() > MaxKeyNameUnits)
        return fail(Status::MalformedKey, start, "a key name longer than 255 characters");
    }
    Slice nameSlice{};
    if (simple) nameSlice = slice(static_cast<std::size_t>(name.data() - m_text.data()), name.size());
    at = childFor(at, name, !simple, nameSlice);
  }
  m_path.resize(elements.size());
  for (std::size_t e = 0; e < elements.size(); ++e) m_path[e].raw = simple ? elements[e] : std::string_view();
  m_prevName = simple ? rest.substr(0, nameLength) : std::string_view();
  // Remember the keys on the path for the next line (walk up from the key just found).
  KeyId up = at;
  for (std::size_t e = elements.size(); e-- > 0;) {
    m_path[e].key = up;
    up = m_store.key(up).parent;
  }

  Key &k = m_store.key(at);
  if (k.flags & keyflag::InFile) return fail(Status::DuplicateKey, start, "the key appears a second time");
  k.flags |= keyflag::InFile;
  m_key = at;
  m_sawKey = true;
  m_blockStart = start;
  std::size_t nl = m_lineEnd;
  m_blockEnd = nl < m_text.size() ? nl + 1 : nl;
  return true;
}

bool Parser::parseKeyOption(std::size_t start, std::size_t end) {
  std::string_view line = m_text.substr(start, end - start);
  if (line.substr(0, 6) == "#time=") {
    std::string_view digits = line.substr(6);
    std::uint64_t time = 0;
    bool hex = !digits.empty() && digits.size() <= 16;
    for (std::size_t d = 0; hex && d < digits.size(); ++d) {
      int v = Hex.value[static_cast<unsigned char>(digits[d])];
      hex = v >= 0;
      time = time * 16 + static_cast<std::uint64_t>(v);
    }
    if (!hex) return fail(Status::MalformedOption, start, "a #time line without a hexadecimal time");
    stampTime(m_key, time);
    return true;
  }
  if (line.substr(0, 7) == "#class=") {
    if (line.size() < 8 || line[7] != '"') return fail(Status::MalformedOption, start, "a #class line without a quoted name");
    std::u16string units;
    EscapedDecode d = decodeEscaped(line.substr(8), '"', [&units](char16_t u) { units.push_back(u); });
    if (d.status != EscapedDecode::Status::Ok || 8 + d.end != line.size())
      return fail(Status::MalformedOption, start, "a #class line whose name is not a well-formed string");
    m_store.setClassName(m_key, std::move(units));
    return true;
  }
  if (line == "#link") {
    m_store.key(m_key).flags |= keyflag::Link;
    return true;
  }
  if (line.substr(0, 5) == "#link") return fail(Status::MalformedOption, start, "unexpected text after #link");
  return true; // Wine ignores options it does not know; the block keeps them
}

// Finds the closing quote of a string that holds no escapes and only well-formed UTF-8:
// its offset in `text`, or npos when the string needs the full decoder (which also finds
// the faults).
static std::size_t plainStringEnd(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    i = skipPlain(text, i);
    if (i >= text.size()) break;
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"') return i;
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      i += 2; // an escape that stands for one unit: paths are full of them
      continue;
    }
    if (c == '\\' || c == 0) return std::string_view::npos;
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::uint32_t codePoint = 0;
    std::size_t used = decodeUtf8Sequence(text, i, codePoint);
    if (used == 0) return std::string_view::npos;
    i += used;
  }
  return std::string_view::npos;
}

// Checks a quoted string whose opening quote has been read: Ok with `end` just past the
// closing quote, or the fault.
static EscapedDecode checkQuoted(std::string_view text, std::size_t *units = nullptr) {
  std::size_t plain = plainStringEnd(text);
  if (plain != std::string_view::npos) {
    if (units) *units = plain; // at least as many bytes as units: a bound is enough here
    return {EscapedDecode::Status::Ok, plain + 1};
  }
  std::size_t count = 0;
  EscapedDecode d = decodeEscaped(text, '"', [&count](char16_t) { ++count; });
  if (units) *units = count;
  return d;
}

bool Parser::parseValueLine(std::size_t start, std::size_t end, std::size_t &next) {
  Value v;
  std::size_t p = start;
  if (m_text[p] == '@') {
    ++p;
  } else {
    std::size_t units = 0;
    bool escaped = false;
    EscapedDecode d = checkQuoted(m_text.substr(p + 1, end - p - 1), &units);
    if (units > MaxValueNameUnits) { // count exactly only when the bound is too high
      units = 0;
      decodeEscaped(m_text.substr(p + 1, end - p - 1), '"', [&units](char16_t) { ++units; });
    }
    if (d.status != EscapedDecode::Status::Ok)
      return fail(Status::MalformedValue, start,
                  d.status == EscapedDecode::Status::BadUtf8 ? "invalid UTF-8 in the value name" : "no closing quote after the value name");
    if (units > MaxValueNameUnits) return fail(Status::MalformedValue, start, "a value name longer than 16383 characters");
    std::string_view raw = m_text.substr(p + 1, d.end - 1);
    escaped = raw.find('\\') != std::string_view::npos;
    if (escaped) {
      std::u16string decoded;
      decodeEscaped(raw, '\0', [&decoded](char16_t u) { decoded.push_back(u); });
      v.extra = std::make_unique<ValueExtra>();
      v.extra->ownsName = true;
      appendUtf8(v.extra->name, decoded.data(), decoded.size());
    } else {
      v.name = slice(p + 1, raw.size());
    }
    p += 1 + d.end;
  }
  while (p < end && isSpace(m_text[p])) ++p;
  if (p >= end || m_text[p] != '=') return fail(Status::MalformedValue, start, "no '=' after the value name");
  ++p;
  while (p < end && isSpace(m_text[p])) ++p;

  std::string_view data = m_text.substr(p, end - p);
  auto startsWith = [&data](std::string_view tag) { return data.substr(0, tag.size()) == tag; };
  std::size_t quote = std::string_view::npos;
  if (startsWith("\"")) {
    v.type = 1, quote = p;
  } else if (startsWith("str:\"")) {
    v.type = 1, quote = p + 4;
  } else if (startsWith("str(2):\"")) {
    v.type = 2, quote = p + 7;
  } else if (startsWith("str(7):\"")) {
    v.type = 7, quote = p + 7;
  }
  if (quote != std::string_view::npos) {
    EscapedDecode d = checkQuoted(m_text.substr(quote + 1, end - quote - 1));
    if (d.status == EscapedDecode::Status::BadUtf8)
      return fail(Status::MalformedValue, start, "invalid UTF-8 in the string");
    if (d.status != EscapedDecode::Status::Ok) return fail(Status::MalformedValue, start, "no closing quote after the string");
    if (quote + 1 + d.end != end) return fail(Status::MalformedValue, start, "unexpected text after the string");
    v.kind = DataKind::FileString;
    v.text = slice(quote + 1, d.end - 1);
  } else if (startsWith("dword:")) {
    std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigitValue(c) >= 0; }))
      return fail(Status::MalformedValue, start, "a dword that is not one to eight hexadecimal digits");
    v.type = 4;
    v.kind = DataKind::FileDword;
    v.text = slice(p + 6, digits.size());
  } else if (startsWith("hex:") || startsWith("hex(")) {
    std::size_t bytesAt = p + 4;
    v.type = 3;
    if (startsWith("hex(")) {
      std::size_t close = data.find("):");
      std::string_view digits = close == std::string_view::npos ? std::string_view() : data.substr(4, close - 4);
      if (digits.empty() || digits.size() > 8 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigitValue(c) >= 0; }))
        return fail(Status::MalformedValue, start, "a hex(type) without a hexadecimal type");
      v.type = decodeDword(digits);
      bytesAt = p + close + 2;
    }
    HexScan scan = scanHexBytes(m_text, bytesAt);
    if (!scan.ok) {
      bool cut = scan.faultAt >= m_text.size();
      return fail(Status::MalformedValue, std::min(scan.faultAt, m_text.size()),
                  cut ? "the file ends inside hex data" : "malformed hex data");
    }
    v.kind = DataKind::FileHex;
    std::size_t stop = scan.end;
    if (stop > bytesAt && m_text[stop - 1] == '\r') --stop;
    v.text = slice(bytesAt, stop - bytesAt);
    next = scan.end;
  } else {
    return fail(Status::MalformedValue, start, "unknown value type");
  }
  m_values.push_back(std::move(v));
  m_valueLines.push_back(start);
  return true;
}

bool Parser::finishKey() {
  if (m_key == NoKey) return true;
  Key &k = m_store.key(m_key);
  stampTime(m_key, m_lineTime);
  k.block = slice(m_blockStart, m_blockEnd - m_blockStart);
  // Gathered apart so that the key's list is allocated once, at its final size.
  k.values.reserve(m_values.size());
  for (Value &v : m_values) k.values.push_back(std::move(v));
  m_values.clear();
  m_store.prepareValueIndex(k);
  // Names must be unique within the key; sort the names to find twins, and name the line of
  // the later one.
  if (k.values.size() == 2) { // the common case needs no sorting
    if (sameName(m_store.valueName(k, k.values[0]), m_store.valueName(k, k.values[1])))
      return fail(Status::DuplicateValue, m_valueLines[1],
                  "the value \"" + std::string(m_store.valueName(k, k.values[1])) + "\" appears twice in the key");
  } else if (k.values.size() > 1) {
    std::vector<std::size_t> &order = m_order;
    order.resize(k.values.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto nameAt = [&](std::size_t i) { return m_store.valueName(k, k.values[i]); };
    // Ties keep file order, so the later of two twins is the one named.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      int c = compareNames(nameAt(a), nameAt(b));
      return c < 0 || (c == 0 && a < b);
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
      if (!sameName(nameAt(order[i - 1]), nameAt(order[i]))) continue;
      std::size_t later = std::max(order[i - 1], order[i]);
      return fail(Status::DuplicateValue, m_valueLines[later],
                  "the value \"" + std::string(nameAt(later)) + "\" appears twice in the key");
    }
  }
  m_valueLines.clear();
  m_key = NoKey;
  return true;
}

} // namespace

RegistryLoadResult parseBranchFile(RegistryStore &store, std::uint8_t file, FileHeader &header) {
  // The branch key takes its time from its own block ("[]") when the file has one.
  KeyId branch = store.files()[file].branch;
  store.key(branch).modified = 0;
  // One key per "[" line, plus a few parents that have no line of their own: reserving room
  // up front spares the copies (and the doubled memory) of growing the key table.
  const std::string &bytes = store.files()[file].bytes;
  std::size_t keyLines = 0;
  // Brackets are far rarer than newlines, so look for them and check the byte before.
  for (const char *p = bytes.data(), *stop = p + bytes.size();
       (p = static_cast<const char *>(std::memchr(p, '[', static_cast<std::size_t>(stop - p)))) != nullptr; ++p) {
    if (p > bytes.data() && p[-1] == '\n') ++keyLines;
  }
  store.reserveKeys(store.keySlots() + keyLines + keyLines / 16 + 16);
  Parser parser(store, file, header);
  RegistryLoadResult result = parser.run();
  if (store.key(branch).modified == 0) store.key(branch).modified = fileTimeNow();
  return result;
}

} // namespace tw::platform::detail
