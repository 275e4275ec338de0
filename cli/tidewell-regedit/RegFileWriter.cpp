#include "cli/tidewell-regedit/RegFileWriter.h"

#include "cli/tidewell-regedit/detail/RegText.h"

#include <cstdio>

namespace tw::regedit {

namespace {

// The registry editor wraps hex data once a line reaches this many characters.
constexpr std::size_t HexWrapColumn = 77;
constexpr char HexDigits[] = "0123456789abcdef";

char16_t unitAt(const std::vector<std::uint8_t> &data, std::size_t index) {
  return static_cast<char16_t>(data[2 * index] | data[2 * index + 1] << 8);
}

/// True when the quoted form gives back exactly these bytes: UTF-16 text with one
/// terminating zero and no other.
bool fitsQuotedForm(const std::vector<std::uint8_t> &data) {
  if (data.size() < 2 || data.size() % 2 != 0)
    return false;
  const std::size_t units = data.size() / 2;
  if (unitAt(data, units - 1) != 0)
    return false;
  for (std::size_t i = 0; i + 1 < units; ++i)
    if (unitAt(data, i) == 0)
      return false;
  return true;
}

} // namespace

RegFileWriter::RegFileWriter() {
  m_bytes.push_back(static_cast<char>(0xFF));
  m_bytes.push_back(static_cast<char>(0xFE));
  putAscii("Windows Registry Editor Version 5.00\r\n");
}

void RegFileWriter::putAscii(std::string_view text) {
  for (char c : text) {
    m_bytes.push_back(c);
    m_bytes.push_back('\0');
  }
}

std::size_t RegFileWriter::putEscaped(std::u16string_view text) {
  std::size_t length = 0;
  for (char16_t c : text) {
    char16_t escaped = 0;
    switch (c) {
    case u'\0': // the text format cannot hold a zero: the text ends there
      return length;
    case u'\r':
      escaped = u'r';
      break;
    case u'\n':
      escaped = u'n';
      break;
    case u'\\':
    case u'"':
      escaped = c;
      break;
    default:
      put(c);
      ++length;
      continue;
    }
    put(u'\\');
    put(escaped);
    length += 2;
  }
  return length;
}

void RegFileWriter::beginKey(std::string_view path) {
  m_scratch.clear();
  detail::appendUtf16(m_scratch, path);
  const std::u16string wide = m_scratch;
  beginKey(std::u16string_view(wide));
}

void RegFileWriter::beginKey(std::u16string_view path) {
  putAscii("\r\n[");
  for (char16_t c : path)
    put(c);
  putAscii("]\r\n");
}

std::size_t RegFileWriter::putValueName(std::string_view name) {
  if (name.empty() || name.front() == '\0') {
    putAscii("@=");
    return 2;
  }
  m_scratch.clear();
  detail::appendUtf16(m_scratch, name);
  put(u'"');
  const std::size_t length = putEscaped(m_scratch);
  putAscii("\"=");
  return length + 3;
}

void RegFileWriter::putString(const platform::RegValue &value) {
  const std::size_t units = value.data.size() / 2 - 1;
  put(u'"');
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t c = unitAt(value.data, i);
    if (c >= 0x20 && c != u'\\' && c != u'"') { // the common case, kept short
      put(c);
      continue;
    }
    putEscaped(std::u16string_view(&c, 1));
  }
  put(u'"');
}

void RegFileWriter::putHex(std::uint32_t type, std::size_t lineLength,
                           const platform::RegValue &value) {
  if (type == platform::regtype::Binary) {
    putAscii("hex:");
    lineLength += 4;
  } else {
    char tag[16];
    const int length = std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
    putAscii(std::string_view(tag, static_cast<std::size_t>(length)));
    lineLength += static_cast<std::size_t>(length);
  }
  const std::size_t size = value.data.size();
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t byte = value.data[i];
    put(static_cast<char16_t>(HexDigits[byte >> 4]));
    put(static_cast<char16_t>(HexDigits[byte & 0xF]));
    if (i + 1 == size)
      break;
    put(u',');
    lineLength += 3;
    if (lineLength >= HexWrapColumn) {
      putAscii("\\\r\n  ");
      lineLength = 2;
    }
  }
}

void RegFileWriter::writeValue(const platform::RegValue &value) {
  const std::size_t nameLength = putValueName(value.name);
  switch (value.type) {
  case platform::regtype::Sz:
    if (fitsQuotedForm(value.data)) {
      putString(value);
      break;
    }
    putHex(value.type, nameLength, value);
    break;
  case platform::regtype::Dword:
    if (value.data.size() == 4) {
      char text[16];
      const std::uint32_t number = static_cast<std::uint32_t>(
          value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
          static_cast<std::uint32_t>(value.data[3]) << 24);
      const int length = std::snprintf(text, sizeof text, "dword:%08x", number);
      putAscii(std::string_view(text, static_cast<std::size_t>(length)));
      break;
    }
    putHex(value.type, nameLength, value);
    break;
  default:
    putHex(value.type, nameLength, value);
  }
  putAscii("\r\n");
}

std::string RegFileWriter::finish() {
  putAscii("\r\n");
  std::string bytes = std::move(m_bytes);
  m_bytes.clear();
  return bytes;
}

} // namespace tw::regedit
