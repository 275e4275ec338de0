#include "registry/regfile/RegFileReader.h"

#include "registry/RegistryAccess.h"
#include "registry/regfile/RegFileText.h"

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
  out.reserve(out.size() + 2 * units.size());
  for (char16_t c : units) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
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

class Parser {
public:
  Parser(std::u16string_view text, std::string_view fileName, RegFile &out)
      : m_text(text), m_out(out) {
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
  std::u16string_view m_text;
  RegFile &m_out;
  RegFileResult m_error;
  std::size_t m_pos = 0;
  std::u16string_view m_line;
  std::size_t m_lineNumber = 0;
  // Whether value lines have a key to go into: false before the first [key] and after [-key].
  bool m_haveKey = false;

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
    if (m_pos >= m_text.size())
      return false;
    std::size_t end = m_pos;
    while (end < m_text.size() && m_text[end] != u'\r' && m_text[end] != u'\n')
      ++end;
    m_line = m_text.substr(m_pos, end - m_pos);
    ++m_lineNumber;
    m_pos = end;
    if (m_pos < m_text.size()) { // a line ends in CR LF, CR or LF
      if (m_text[m_pos++] == u'\r' && m_pos < m_text.size() && m_text[m_pos] == u'\n')
        ++m_pos;
    }
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
    if (text == HeaderVersion5) {
      m_out.version = RegFile::Version::Version5;
      return true;
    }
    if (text == HeaderRegedit4) {
      m_out.version = RegFile::Version::Regedit4;
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

    RegFileEntry entry;
    entry.kind = deleting ? RegFileEntry::Kind::DeleteKey : RegFileEntry::Kind::OpenKey;
    entry.line = m_lineNumber;
    entry.root = *root;
    entry.keyPath = detail::toUtf8(path);
    m_out.entries.push_back(std::move(entry));
    m_haveKey = !deleting;
    return true;
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
                  m_out.entries.empty() ? "a value before any [key] line; expected a [key] line"
                                        : "a value after a [-key] line; expected a [key] line");
    RegFileEntry entry;
    entry.line = m_lineNumber;
    std::u16string name;
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
    entry.valueName = detail::toUtf8(name);
    pos = skipBlanks(m_line, pos);
    if (pos == m_line.size() || m_line[pos] != u'=')
      return fail(Status::BadValueName,
                  "found " + quoted(m_line, pos) + " after the value name; expected '='");
    pos = skipBlanks(m_line, pos + 1);
    if (!valueData(pos, entry))
      return false;
    m_out.entries.push_back(std::move(entry));
    return true;
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
    std::u16string text;
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
    std::vector<std::uint8_t> bytes;
    for (;;) {
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
    entry.data = widenedIfNeeded(entry.type, std::move(bytes));
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
  std::vector<std::uint8_t> widenedIfNeeded(std::uint32_t type, std::vector<std::uint8_t> bytes) {
    if (m_out.version != RegFile::Version::Regedit4 || !platform::isStringType(type))
      return bytes;
    const std::u16string text = detail::decode8Bit(
        std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    std::vector<std::uint8_t> wide;
    appendLittleEndian(wide, text);
    return wide;
  }
};

} // namespace

RegFileResult parseRegText(std::string_view bytes, RegFile &out, std::string_view fileName) {
  out = RegFile();
  bool oddByte = false;
  const std::u16string text = decodeText(bytes, out.utf16, oddByte);
  if (oddByte) {
    RegFileResult result;
    result.status = Status::BadEncoding;
    result.file = std::string(fileName);
    result.line = countLines(text);
    result.detail = "an odd number of bytes in UTF-16 text; the file is cut short";
    out = RegFile();
    return result;
  }
  RegFileResult result = Parser(text, fileName, out).run();
  if (!result)
    out = RegFile();
  return result;
}

RegFileResult loadRegFile(const std::string &path, std::string &bytes) {
  bytes.clear();
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
  const auto size = std::filesystem::file_size(path, error);
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
