#include "registry/regfile/RegFileWriter.h"

#include "platform/registry/RegistryText.h"

#include <array>
#include <bit>
#include <cstring>

namespace tw::regedit {

namespace {

// The registry editor wraps hex data once a line reaches this many characters.
constexpr std::size_t HexWrapColumn = 77;
// Units a piece of the text holds before the next one starts (1 MiB of bytes).
constexpr std::size_t PieceUnits = std::size_t(1) << 19;

// "xx," for every byte value, so a byte of hex data is one append.
constexpr std::array<std::array<char16_t, 3>, 256> HexWithComma = [] {
  constexpr char digits[] = "0123456789abcdef";
  std::array<std::array<char16_t, 3>, 256> table{};
  for (std::size_t b = 0; b < 256; ++b)
    table[b] = {char16_t(digits[b >> 4]), char16_t(digits[b & 0xF]), u','};
  return table;
}();

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

constexpr bool needsEscape(char16_t c) {
  return c == u'\\' || c == u'"' || c == u'\r' || c == u'\n' || c == u'\0';
}

} // namespace

RegFileWriter::RegFileWriter() {
  m_text.reserve(1 << 16);
  m_text.append(u"\xFEFFWindows Registry Editor Version 5.00\r\n");
}

RegFileWriter::RegFileWriter(Sink sink) : RegFileWriter() {
  m_sink = std::move(sink);
  m_text.reserve(PieceUnits + PieceUnits / 8);
}

void RegFileWriter::emit(const std::u16string &piece) {
  if (m_sinkFailed)
    return;
  if constexpr (std::endian::native == std::endian::little) {
    m_sinkFailed =
        !m_sink(std::string_view(reinterpret_cast<const char *>(piece.data()), piece.size() * 2));
  } else {
    std::string swapped(piece.size() * 2, '\0');
    for (std::size_t i = 0; i < piece.size(); ++i) {
      swapped[2 * i] = static_cast<char>(piece[i] & 0xFF);
      swapped[2 * i + 1] = static_cast<char>(piece[i] >> 8);
    }
    m_sinkFailed = !m_sink(swapped);
  }
}

void RegFileWriter::startPieceIfFull() {
  if (m_text.size() < PieceUnits)
    return;
  if (m_sink) { // streamed: the buffer is reused, keeping its pages
    emit(m_text);
    m_text.clear();
    return;
  }
  m_done.push_back(std::move(m_text));
  m_text = std::u16string();
  m_text.reserve(PieceUnits + PieceUnits / 8);
}

void RegFileWriter::putEscaped(std::u16string_view text) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (!needsEscape(c))
      continue;
    m_text.append(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
    case u'\0': // the text format cannot hold a zero: the text ends there
      return;
    case u'\r':
      m_text.append(u"\\r");
      break;
    case u'\n':
      m_text.append(u"\\n");
      break;
    default:
      m_text.push_back(u'\\');
      m_text.push_back(c);
    }
  }
  m_text.append(text.substr(run));
}

void RegFileWriter::beginKey(std::string_view path) {
  m_scratch.clear();
  platform::detail::appendUtf16(m_scratch, path);
  const std::u16string wide = m_scratch;
  beginKey(std::u16string_view(wide));
}

void RegFileWriter::beginKey(std::u16string_view path) {
  startPieceIfFull();
  m_text.append(u"\r\n[");
  m_text.append(path);
  m_text.append(u"]\r\n");
}

std::size_t RegFileWriter::putValueName(std::string_view name) {
  if (name.empty() || name.front() == '\0') {
    m_text.append(u"@=");
    return 2;
  }
  m_scratch.clear();
  platform::detail::appendUtf16(m_scratch, name);
  const std::size_t start = m_text.size();
  m_text.push_back(u'"');
  putEscaped(m_scratch);
  m_text.append(u"\"=");
  return m_text.size() - start;
}

void RegFileWriter::putString(const platform::RegValue &value) {
  const std::size_t units = value.data.size() / 2 - 1;
  m_scratch.resize(units);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(m_scratch.data(), value.data.data(), units * 2);
  } else {
    for (std::size_t i = 0; i < units; ++i)
      m_scratch[i] = unitAt(value.data, i);
  }
  m_text.push_back(u'"');
  putEscaped(m_scratch);
  m_text.push_back(u'"');
}

void RegFileWriter::putHex(std::uint32_t type, std::size_t lineLength,
                           const platform::RegValue &value) {
  if (type == platform::regtype::Binary) {
    m_text.append(u"hex:");
    lineLength += 4;
  } else {
    constexpr char digits[] = "0123456789abcdef";
    char16_t tag[16] = {u'h', u'e', u'x', u'('};
    std::size_t length = 4;
    int shift = 28;
    while (shift > 0 && ((type >> shift) & 0xF) == 0)
      shift -= 4;
    for (; shift >= 0; shift -= 4)
      tag[length++] = static_cast<char16_t>(digits[(type >> shift) & 0xF]);
    tag[length++] = u')';
    tag[length++] = u':';
    m_text.append(tag, length);
    lineLength += length;
  }
  const std::size_t size = value.data.size();
  if (size == 0)
    return;
  // Room for every byte with its comma, and for a line break after each 25 bytes at most;
  // the bytes go straight into it and the text is cut back to what was written.
  const std::size_t start = m_text.size();
  m_text.resize(start + size * 3 + (size / 25 + 1) * 5);
  char16_t *out = m_text.data() + start;
  for (std::size_t i = 0;; ++i) {
    const auto &triplet = HexWithComma[value.data[i]];
    *out++ = triplet[0];
    *out++ = triplet[1];
    if (i + 1 == size)
      break;
    *out++ = u',';
    lineLength += 3;
    if (lineLength >= HexWrapColumn) {
      for (char16_t c : std::u16string_view(u"\\\r\n  "))
        *out++ = c;
      lineLength = 2;
    }
  }
  m_text.resize(static_cast<std::size_t>(out - m_text.data()));
}

void RegFileWriter::writeValue(const platform::RegValue &value) {
  startPieceIfFull();
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
      const std::uint32_t number = static_cast<std::uint32_t>(
          value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
          static_cast<std::uint32_t>(value.data[3]) << 24);
      char16_t text[14] = {u'd', u'w', u'o', u'r', u'd', u':'};
      for (int i = 0; i < 4; ++i) {
        const auto &pair = HexWithComma[(number >> (24 - 8 * i)) & 0xFF];
        text[6 + 2 * i] = pair[0];
        text[7 + 2 * i] = pair[1];
      }
      m_text.append(text, 14);
      break;
    }
    putHex(value.type, nameLength, value);
    break;
  default:
    putHex(value.type, nameLength, value);
  }
  m_text.append(u"\r\n");
}

bool RegFileWriter::finishStream() {
  m_text.append(u"\r\n");
  emit(m_text);
  m_text.clear();
  return !m_sinkFailed;
}

std::string RegFileWriter::finish() {
  m_text.append(u"\r\n");
  m_done.push_back(std::move(m_text));
  m_text = std::u16string();
  std::size_t units = 0;
  for (const std::u16string &piece : m_done)
    units += piece.size();
  std::string bytes;
  bytes.reserve(units * 2);
  m_sink = [&bytes](std::string_view piece) {
    bytes.append(piece);
    return true;
  };
  for (const std::u16string &piece : m_done)
    emit(piece);
  m_done.clear();
  m_sink = nullptr;
  return bytes;
}

} // namespace tw::regedit
