#include "registry/regfile/RegFileReader.h"

#include "registry/RegistryAccess.h"
#include "registry/regfile/RegFileText.h"
#include "platform/registry/RegistryText.h"

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

namespace tw::regedit {

using Status = RegFileResult::Status;
using detail::isBlank;
using detail::isHexDigit;
using detail::hexValue;

namespace {

constexpr std::u16string_view HeaderVersion5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view HeaderRegedit4 = u"REGEDIT4";
// Longest piece of offending text quoted in a message.
constexpr std::size_t MaxQuotedLength = 40;

std::size_t skipBlanks(std::u16string_view line, std::size_t pos) {
  while (pos < line.size() && isBlank(line[pos]))
    ++pos;
  return pos;
}

/// True when only blanks, or blanks and a ';' comment, follow `pos`.
bool onlyCommentFrom(std::u16string_view line, std::size_t pos) {
  pos = skipBlanks(line, pos);
  return pos == line.size() || line[pos] == u';';
}

/// The text at `pos` in double quotes for a message, cut short when long.
std::string quoted(std::u16string_view line, std::size_t pos = 0) {
  std::u16string_view piece = line.substr(std::min(pos, line.size()));
  const bool cut = piece.size() > MaxQuotedLength;
  std::string text(1, '"');
  text += detail::toUtf8(piece.substr(0, MaxQuotedLength));
  text += cut ? "...\"" : "\"";
  return text;
}

void appendLittleEndian(std::vector<std::uint8_t> &out, std::u16string_view units) {
  const std::size_t start = out.size();
  out.resize(start + 2 * units.size());
  if constexpr (std::endian::native == std::endian::little) {
    if (!units.empty())
      std::memcpy(out.data() + start, units.data(), 2 * units.size());
    return;
  }
  for (std::size_t i = 0; i < units.size(); ++i) {
    out[start + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    out[start + 2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
}

/// Decodes the file's bytes into UTF-16 text. Sets `utf16` when the text had the UTF-16LE
/// byte-order mark; an odd byte count is reported through `oddByte`.
std::u16string decodeText(std::string_view bytes, bool &utf16, bool &oddByte) {
  utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
          static_cast<unsigned char>(bytes[1]) == 0xFE;
  oddByte = false;
  if (!utf16) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
      bytes.remove_prefix(3);
    return detail::decode8Bit(bytes);
  }
  bytes.remove_prefix(2);
  oddByte = bytes.size() % 2 != 0;
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return text;
}

std::size_t countLines(std::u16string_view text) {
  std::size_t lines = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
      ++lines;
  }
  return lines;
}

/// The position of the first CR or LF in `text` from `from` on, or `size`. Looks at four units
/// at a time: only a word with a unit below U+000E can hold one.
std::size_t findLineEnd(const char16_t *text, std::size_t from, std::size_t size) {
  constexpr std::uint64_t Lanes = 0x0001000100010001u;
  constexpr std::uint64_t HighBits = 0x8000800080008000u;
  std::size_t i = from;
  for (;;) {
    for (; i + 4 <= size; i += 4) {
      std::uint64_t word = 0;
      std::memcpy(&word, text + i, sizeof word);
      if (((word - Lanes * 0x0E) & ~word & HighBits) != 0)
        break;
    }
    const std::size_t stop = std::min(i + 4, size);
    for (; i < stop; ++i)
      if (text[i] == u'\r' || text[i] == u'\n')
        return i;
    if (i >= size)
      return size;
  }
}

/// The lines of a text, without their line ends (CR LF, CR or LF).
class LineSource {
public:
  virtual ~LineSource() = default;
  /// The next line, valid until the next call; false at the end of the text.
  virtual bool next(std::u16string_view &line) = 0;
};

/// The lines of a text held whole in memory.
class MemoryLines final : public LineSource {
public:
  explicit MemoryLines(std::u16string_view text) : m_text(text) {}

  bool next(std::u16string_view &line) override {
    if (m_pos >= m_text.size())
      return false;
    const std::size_t end = findLineEnd(m_text.data(), m_pos, m_text.size());
    line = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    if (m_pos < m_text.size()) {
      if (m_text[m_pos++] == u'\r' && m_pos < m_text.size() && m_text[m_pos] == u'\n')
        ++m_pos;
    }
    return true;
  }

private:
  std::u16string_view m_text;
  std::size_t m_pos = 0;
};

/// The lines of UTF-16LE text read from a stream a piece at a time: only the piece being
/// read and the line that crosses into the next piece are in memory.
class Utf16StreamLines final : public LineSource {
public:
  /// Reads `units` UTF-16 units from `in` (positioned after the byte-order mark).
  Utf16StreamLines(std::istream &in, std::uint64_t units) : m_in(in), m_left(units) {}

  bool next(std::u16string_view &line) override {
    for (;;) {
      const std::size_t size = m_text.size();
      const std::size_t end = findLineEnd(m_text.data(), m_scan, size);
      m_scan = end;
      if (end < size) {
        // A CR that ends the piece may be the first half of a CR LF in the next one.
        if (m_text[end] == u'\r' && end + 1 == size && m_left > 0) {
          refill();
          continue;
        }
        line = std::u16string_view(m_text).substr(m_pos, end - m_pos);
        std::size_t after = end + 1;
        if (m_text[end] == u'\r' && after < size && m_text[after] == u'\n')
          ++after;
        m_pos = m_scan = after;
        ++m_lineEnds;
        return true;
      }
      if (m_left == 0) {
        if (m_pos == size)
          return false;
        line = std::u16string_view(m_text).substr(m_pos);
        m_pos = m_scan = size;
        return true;
      }
      refill();
    }
  }

  /// True when the stream ended before the promised units.
  bool failed() const { return m_failed; }
  /// The line ends passed so far.
  std::size_t lineEnds() const { return m_lineEnds; }

private:
  static constexpr std::size_t PieceUnits = RegFileSource::PieceUnits;
  std::istream &m_in;
  std::uint64_t m_left;
  std::u16string m_text;
  std::size_t m_pos = 0;  // start of the line being looked for
  std::size_t m_scan = 0; // where the search for its end goes on
  std::size_t m_lineEnds = 0;
  bool m_failed = false;

  void refill() {
    // What was handed out goes; the line being looked for moves to the front.
    m_text.erase(0, m_pos);
    m_scan -= m_pos;
    m_pos = 0;
    const auto units = static_cast<std::size_t>(std::min<std::uint64_t>(m_left, PieceUnits));
    const std::size_t start = m_text.size();
    m_text.resize(start + units);
    // The units are read straight into the text, and put in the machine's byte order.
    char *raw = reinterpret_cast<char *>(m_text.data() + start);
    m_in.read(raw, static_cast<std::streamsize>(2 * units));
    if (static_cast<std::size_t>(m_in.gcount()) != 2 * units) {
      m_text.resize(start);
      m_failed = true;
      m_left = 0;
      return;
    }
    m_left -= units;
    if constexpr (std::endian::native != std::endian::little) {
      for (std::size_t i = start; i < m_text.size(); ++i)
        m_text[i] = static_cast<char16_t>((m_text[i] >> 8) | (m_text[i] << 8));
    }
  }
};

class Parser {
public:
  Parser(LineSource &lines, std::string_view fileName, RegFileSink &sink, bool utf16)
      : m_lines(lines), m_sink(sink), m_utf16(utf16) {
    m_error.file = std::string(fileName);
  }

  RegFileResult run() {
    if (!header() || !body())
      return m_error;
    RegFileResult ok;
    ok.status = Status::Ok;
    ok.file = m_error.file;
    return ok;
  }

private:
  LineSource &m_lines;
  RegFileSink &m_sink;
  bool m_utf16;
  RegFile::Version m_version = RegFile::Version::Version5;
  RegFileResult m_error;
  std::u16string_view m_line;
  std::size_t m_lineNumber = 0;
  // Whether value lines have a key to go into: false before the first [key] and after [-key].
  bool m_haveKey = false;
  bool m_sawEntry = false;
  bool m_stopped = false;
  // Reused for every entry and name, so a large file costs no allocation per line.
  RegFileEntry m_entry;
  std::u16string m_name;
  std::u16string m_text;

  RegFileEntry &freshEntry() {
    m_entry.kind = RegFileEntry::Kind::OpenKey;
    m_entry.line = m_lineNumber;
    m_entry.root = 0;
    m_entry.keyPath.clear();
    m_entry.valueName.clear();
    m_entry.type = platform::regtype::None;
    m_entry.data.clear();
    return m_entry;
  }

  /// Hands the entry on; a sink that wants no more ends the reading.
  bool emit() {
    m_sawEntry = true;
    if (!m_sink.entry(m_entry))
      m_stopped = true;
    return true;
  }

  bool fail(Status status, std::string detail) {
    m_error.status = status;
    m_error.line = m_lineNumber;
    m_error.detail = std::move(detail);
    return false;
  }

  /// Moves to the next line; false at the end of the text, or (with the error set) when the
  /// line holds a NUL character.
  bool nextLine(bool &bad) {
    bad = false;
    if (!m_lines.next(m_line))
      return false;
    ++m_lineNumber;
    if (m_line.find(u'\0') != std::u16string_view::npos) {
      bad = true;
      return fail(Status::BadEncoding,
                  "NUL character in the text; expected UTF-16 text to start with a byte-order mark");
    }
    return true;
  }

  bool header() {
    bool bad = false;
    if (!nextLine(bad)) {
      if (bad)
        return false;
      m_lineNumber = 1;
      return fail(Status::Empty, "the file holds no text; expected a registry-editor header");
    }
    std::size_t begin = skipBlanks(m_line, 0);
    std::size_t end = m_line.size();
    while (end > begin && isBlank(m_line[end - 1]))
      --end;
    const std::u16string_view text = m_line.substr(begin, end - begin);
    if (text == HeaderVersion5 || text == HeaderRegedit4) {
      m_version = text == HeaderVersion5 ? RegFile::Version::Version5 : RegFile::Version::Regedit4;
      m_sink.begin(m_version, m_utf16);
      return true;
    }
    return fail(Status::BadHeader, "found " + quoted(text) +
                                       "; expected \"Windows Registry Editor Version 5.00\" or "
                                       "\"REGEDIT4\"");
  }

  bool body() {
    bool bad = false;
    while (nextLine(bad)) {
      const std::size_t pos = skipBlanks(m_line, 0);
      if (pos == m_line.size() || m_line[pos] == u';')
        continue;
      bool ok = false;
      switch (m_line[pos]) {
      case u'[':
        ok = keyLine(pos + 1);
        break;
      case u'@':
      case u'"':
        ok = valueLine(pos);
        break;
      default:
        ok = fail(Status::UnexpectedText,
                  "found " + quoted(m_line, pos) +
                      "; expected a [key] line, a value line or a ';' comment");
      }
      if (!ok)
        return false;
      if (m_stopped)
        return true;
    }
    return !bad;
  }

  bool keyLine(std::size_t pos) {
    if (pos < m_line.size() && isBlank(m_line[pos]))
      return fail(Status::BadKeyName, "blank after '['; expected a key name");
    const std::size_t close = m_line.rfind(u']');
    if (close == std::u16string_view::npos || close < pos)
      return fail(Status::BadKeyName, "no ']' after the key name " + quoted(m_line, pos));
    if (!onlyCommentFrom(m_line, close + 1))
      return fail(Status::UnexpectedText, "found " + quoted(m_line, close + 1) +
                                              " after the key name; expected the end of the line");
    std::u16string_view name = m_line.substr(pos, close - pos);
    const bool deleting = !name.empty() && name[0] == u'-';
    if (deleting)
      name.remove_prefix(1);

    const std::size_t slash = name.find(u'\\');
    const std::u16string_view rootText = name.substr(0, slash);
    const auto root = RootKeyOfName(detail::toUtf8(rootText));
    // The dynamic data root exists only while Windows 9x runs and no registry file keeps it:
    // its keys would be imported into nothing.
    if (root && *root == platform::HKEY_DYN_DATA)
      return fail(Status::BadKeyName,
                  "the root " + quoted(rootText) +
                      " holds only live system data that no registry file keeps, so nothing can be "
                      "imported into it; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "
                      "HKEY_CLASSES_ROOT, HKEY_USERS or HKEY_CURRENT_CONFIG");
    if (!root)
      return fail(Status::BadKeyName,
                  "unknown root " + quoted(rootText) +
                      "; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                      "HKEY_USERS or HKEY_CURRENT_CONFIG");
    std::u16string_view path =
        slash == std::u16string_view::npos ? std::u16string_view() : name.substr(slash + 1);
    if (slash != std::u16string_view::npos && !checkKeyPath(path))
      return false;
    if (deleting && path.empty())
      return fail(Status::BadKeyName, "a root key cannot be deleted; expected a key below " +
                                          quoted(rootText));

    RegFileEntry &entry = freshEntry();
    entry.kind = deleting ? RegFileEntry::Kind::DeleteKey : RegFileEntry::Kind::OpenKey;
    entry.root = *root;
    platform::detail::appendUtf8(entry.keyPath, path.data(), path.size());
    m_haveKey = !deleting;
    return emit();
  }

  bool checkKeyPath(std::u16string_view path) {
    std::size_t depth = 0;
    std::size_t begin = 0;
    for (;;) {
      const std::size_t end = std::min(path.find(u'\\', begin), path.size());
      const std::size_t length = end - begin;
      if (length == 0)
        return fail(Status::BadKeyName, "empty name part in the key path " + quoted(path) +
                                            "; expected names separated by single backslashes");
      if (length > MaxKeyNameLength)
        return fail(Status::BadKeyName, "a key name of " + std::to_string(length) +
                                            " characters; expected at most 255");
      if (++depth > MaxKeyDepth)
        return fail(Status::BadKeyName, "a key path deeper than 512 levels");
      if (end == path.size())
        return true;
      begin = end + 1;
    }
  }

  /// Reads a quoted text starting after its opening quote at `pos`; sets `pos` after the
  /// closing quote. Fails with `status` on a missing quote or an unknown escape.
  bool quotedText(std::size_t &pos, std::u16string &text, Status status, const char *what) {
    text.clear();
    while (pos < m_line.size()) {
      // Plain text up to the next quote or backslash goes over in one piece.
      std::size_t plain = pos;
      while (plain < m_line.size() && m_line[plain] != u'"' && m_line[plain] != u'\\')
        ++plain;
      text.append(m_line.substr(pos, plain - pos));
      pos = plain;
      if (pos == m_line.size())
        break;
      const char16_t c = m_line[pos++];
      if (c == u'"')
        return true;
      if (c != u'\\') {
        text.push_back(c);
        continue;
      }
      if (pos == m_line.size())
        break;
      const char16_t escaped = m_line[pos++];
      switch (escaped) {
      case u'\\':
      case u'"':
        text.push_back(escaped);
        break;
      case u'n':
        text.push_back(u'\n');
        break;
      case u'r':
        text.push_back(u'\r');
        break;
      default:
        return fail(status, std::string("unknown escape sequence \"\\") +
                                detail::toUtf8(std::u16string_view(&escaped, 1)) + "\" in " +
                                what + "; expected \\\\, \\\", \\n or \\r");
      }
    }
    return fail(status, std::string("no closing quote after ") + what);
  }

  bool valueLine(std::size_t pos) {
    if (!m_haveKey)
      return fail(Status::ValueOutsideKey,
                  !m_sawEntry ? "a value before any [key] line; expected a [key] line"
                              : "a value after a [-key] line; expected a [key] line");
    RegFileEntry &entry = freshEntry();
    std::u16string &name = m_name;
    name.clear();
    if (m_line[pos] == u'@') {
      ++pos;
    } else {
      ++pos;
      if (!quotedText(pos, name, Status::BadValueName, "the value name"))
        return false;
      if (name.size() > MaxValueNameLength)
        return fail(Status::BadValueName, "a value name of " + std::to_string(name.size()) +
                                              " characters; expected at most 16383");
    }
    platform::detail::appendUtf8(entry.valueName, name.data(), name.size());
    pos = skipBlanks(m_line, pos);
    if (pos == m_line.size() || m_line[pos] != u'=')
      return fail(Status::BadValueName,
                  "found " + quoted(m_line, pos) + " after the value name; expected '='");
    pos = skipBlanks(m_line, pos + 1);
    if (!valueData(pos, entry))
      return false;
    return emit();
  }

  bool valueData(std::size_t pos, RegFileEntry &entry) {
    const std::u16string_view data = m_line.substr(pos);
    if (data.starts_with(u'-') && onlyCommentFrom(m_line, pos + 1)) {
      entry.kind = RegFileEntry::Kind::DeleteValue;
      return true;
    }
    entry.kind = RegFileEntry::Kind::SetValue;
    if (data.starts_with(u'"'))
      return stringData(pos + 1, entry);
    if (data.starts_with(u"dword:"))
      return dwordData(pos + 6, entry);
    if (data.starts_with(u"hex:")) {
      entry.type = platform::regtype::Binary;
      return hexData(pos + 4, entry);
    }
    if (data.starts_with(u"hex(")) {
      std::size_t p = pos + 4;
      std::uint32_t type = 0;
      std::size_t digits = 0;
      while (p < m_line.size() && isHexDigit(m_line[p]) && digits < 9) {
        type = (type << 4) | hexValue(m_line[p++]);
        ++digits;
      }
      if (digits == 0 || digits > 8 || m_line.substr(p, 2) != u"):")
        return fail(Status::UnknownType, "found " + quoted(data) +
                                             "; expected hex(N): with a type of one to eight "
                                             "hex digits");
      entry.type = type;
      return hexData(p + 2, entry);
    }
    return fail(Status::UnknownType, "found " + quoted(data) +
                                         "; expected a quoted string, dword:, hex:, hex(N): or -");
  }

  bool stringData(std::size_t pos, RegFileEntry &entry) {
    std::u16string &text = m_text;
    if (!quotedText(pos, text, Status::BadString, "the string data"))
      return false;
    if (!onlyCommentFrom(m_line, pos))
      return fail(Status::UnexpectedText, "found " + quoted(m_line, skipBlanks(m_line, pos)) +
                                              " after the string; expected the end of the line");
    text.push_back(u'\0');
    entry.type = platform::regtype::Sz;
    appendLittleEndian(entry.data, text);
    return true;
  }

  bool dwordData(std::size_t pos, RegFileEntry &entry) {
    pos = skipBlanks(m_line, pos);
    std::uint32_t number = 0;
    std::size_t digits = 0;
    while (pos < m_line.size() && isHexDigit(m_line[pos]) && digits <= 8) {
      number = (number << 4) | hexValue(m_line[pos++]);
      ++digits;
    }
    if (digits == 0 || digits > 8 || !onlyCommentFrom(m_line, pos))
      return fail(Status::BadDword, "found " + quoted(m_line, skipBlanks(m_line, pos - digits)) +
                                        " after dword:; expected one to eight hex digits");
    entry.type = platform::regtype::Dword;
    for (int shift = 0; shift < 32; shift += 8)
      entry.data.push_back(static_cast<std::uint8_t>(number >> shift));
    return true;
  }

  bool hexData(std::size_t pos, RegFileEntry &entry) {
    std::vector<std::uint8_t> &bytes = entry.data;
    for (;;) {
      // The usual form, "xx," with nothing between, taken a byte at a time without detours.
      while (pos + 2 < m_line.size() && isHexDigit(m_line[pos]) && isHexDigit(m_line[pos + 1]) &&
             m_line[pos + 2] == u',') {
        bytes.push_back(static_cast<std::uint8_t>(hexValue(m_line[pos]) << 4 | hexValue(m_line[pos + 1])));
        pos += 3;
      }
      pos = skipBlanks(m_line, pos);
      if (pos == m_line.size() || m_line[pos] == u';')
        break;
      if (m_line[pos] == u'\\') {
        if (!continueHexData(pos + 1))
          return false;
        pos = skipBlanks(m_line, 0);
        continue;
      }
      std::size_t digits = 0;
      unsigned byte = 0;
      while (pos < m_line.size() && isHexDigit(m_line[pos]) && digits < 3) {
        byte = (byte << 4) | hexValue(m_line[pos++]);
        ++digits;
      }
      if (digits == 0 || digits > 2)
        return fail(Status::BadHex,
                    "found " + quoted(m_line, pos - digits) + "; expected a hex byte (00 to ff)");
      bytes.push_back(static_cast<std::uint8_t>(byte));
      pos = skipBlanks(m_line, pos);
      if (pos < m_line.size() && m_line[pos] == u',') {
        ++pos;
        continue;
      }
      if (pos == m_line.size() || m_line[pos] == u';')
        break;
      return fail(Status::BadHex,
                  "found " + quoted(m_line, pos) + " after a hex byte; expected ',' or the end");
    }
    if (m_version == RegFile::Version::Regedit4 && platform::isStringType(entry.type))
      entry.data = widened(entry.data);
    return true;
  }

  /// Handles a backslash that continues hex data on the next line: only a comment may follow
  /// it, blank and comment lines in between are skipped, and the data must go on.
  bool continueHexData(std::size_t afterBackslash) {
    if (!onlyCommentFrom(m_line, afterBackslash))
      return fail(Status::BadHex, "found " + quoted(m_line, skipBlanks(m_line, afterBackslash)) +
                                      " after '\\'; expected the end of the line");
    bool bad = false;
    for (;;) {
      if (!nextLine(bad)) {
        if (bad)
          return false;
        return fail(Status::BadHex,
                    "the file ends after a line continuation; expected more hex bytes");
      }
      const std::size_t pos = skipBlanks(m_line, 0);
      if (pos == m_line.size() || m_line[pos] == u';')
        continue;
      if (isHexDigit(m_line[pos]))
        return true;
      return fail(Status::BadHex, "found " + quoted(m_line, pos) +
                                      " after a line continuation; expected more hex bytes");
    }
  }

  /// In a REGEDIT4 file the hex data of string types is 8-bit text; the registry keeps it as
  /// UTF-16LE, as the Windows registry editor stores it.
  static std::vector<std::uint8_t> widened(const std::vector<std::uint8_t> &bytes) {
    const std::u16string text = detail::decode8Bit(
        std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    std::vector<std::uint8_t> wide;
    appendLittleEndian(wide, text);
    return wide;
  }
};


/// Gathers the entries into a RegFile.
class GatheringSink final : public RegFileSink {
public:
  explicit GatheringSink(RegFile &out) : m_out(out) {}
  void begin(RegFile::Version version, bool utf16) override {
    m_out.version = version;
    m_out.utf16 = utf16;
  }
  bool entry(const RegFileEntry &entry) override {
    m_out.entries.push_back(entry);
    return true;
  }

private:
  RegFile &m_out;
};

RegFileResult oddByteFailure(std::string_view fileName, std::size_t lines) {
  RegFileResult result;
  result.status = Status::BadEncoding;
  result.file = std::string(fileName);
  result.line = lines;
  result.detail = "an odd number of bytes in UTF-16 text; the file is cut short";
  return result;
}

} // namespace

RegFileResult readRegText(std::string_view bytes, RegFileSink &sink, std::string_view fileName) {
  bool utf16 = false;
  bool oddByte = false;
  const std::u16string text = decodeText(bytes, utf16, oddByte);
  if (oddByte)
    return oddByteFailure(fileName, countLines(text));
  MemoryLines lines(text);
  return Parser(lines, fileName, sink, utf16).run();
}

RegFileResult parseRegText(std::string_view bytes, RegFile &out, std::string_view fileName) {
  out = RegFile();
  GatheringSink sink(out);
  RegFileResult result = readRegText(bytes, sink, fileName);
  if (!result)
    out = RegFile();
  return result;
}

namespace {

/// Checks that `path` is a regular file the reader accepts and gives its size; the result
/// is Ok, or says what is wrong.
RegFileResult checkRegFile(const std::string &path, std::uintmax_t &size) {
  RegFileResult result;
  result.file = path;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) {
    result.detail = "the file does not exist or cannot be reached";
    return result;
  }
  if (!std::filesystem::is_regular_file(status)) {
    result.detail = "not a regular file";
    return result;
  }
  size = std::filesystem::file_size(path, error);
  if (error) {
    result.detail = "cannot read the file size: " + error.message();
    return result;
  }
  if (size > MaxRegFileBytes) {
    result.status = Status::TooLarge;
    result.detail = "the file holds " + std::to_string(size) + " bytes; expected at most " +
                    std::to_string(MaxRegFileBytes);
    return result;
  }
  result.status = Status::Ok;
  return result;
}

} // namespace

RegFileResult RegFileSource::open(const std::string &path) {
  m_path = path;
  m_bytes.clear();
  m_utf16 = false;
  m_size = 0;
  std::uintmax_t size = 0;
  RegFileResult result = checkRegFile(path, size);
  if (!result)
    return result;
  std::ifstream in(path, std::ios::binary);
  char mark[2] = {};
  if (!in) {
    result.status = Status::CannotOpen;
    result.detail = "the file cannot be opened for reading";
    return result;
  }
  in.read(mark, 2);
  m_size = size;
  m_utf16 = in.gcount() == 2 && static_cast<unsigned char>(mark[0]) == 0xFF &&
            static_cast<unsigned char>(mark[1]) == 0xFE;
  if (!m_utf16)
    return loadRegFile(path, m_bytes);
  return result;
}

RegFileResult RegFileSource::read(RegFileSink &sink, std::string_view fileName) {
  if (!m_utf16)
    return readRegText(m_bytes, sink, fileName);
  RegFileResult failure;
  failure.file = std::string(fileName);
  std::ifstream in(m_path, std::ios::binary);
  in.ignore(2);
  if (!in) {
    failure.detail = "the file cannot be opened for reading";
    return failure;
  }
  const std::uint64_t textBytes = m_size - 2;
  Utf16StreamLines lines(in, textBytes / 2);
  RegFileResult result;
  if (textBytes % 2 != 0) {
    std::u16string_view line;
    while (lines.next(line)) {
    }
    result = oddByteFailure(fileName, lines.lineEnds() + 1);
  } else {
    result = Parser(lines, fileName, sink, true).run();
  }
  if (lines.failed()) {
    failure.detail = "the file could not be read to its end";
    return failure;
  }
  return result;
}

RegFileResult loadRegFile(const std::string &path, std::string &bytes) {
  bytes.clear();
  std::uintmax_t size = 0;
  RegFileResult result = checkRegFile(path, size);
  if (!result)
    return result;
  result.status = Status::CannotOpen;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.detail = "the file cannot be opened for reading";
    return result;
  }
  bytes.resize(static_cast<std::size_t>(size));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::size_t>(in.gcount()) != bytes.size() || in.bad()) {
    bytes.clear();
    result.detail = "the file could not be read to its end";
    return result;
  }
  result.status = Status::Ok;
  return result;
}

} // namespace tw::regedit
