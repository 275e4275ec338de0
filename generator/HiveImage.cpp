#include "generator/HiveImage.h"

#include "generator/WineText.h"
#include "platform/RegistryApi.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

namespace tw::generator::detail {

namespace regtype = platform::regtype;

// FILETIME of 1970-01-01: the offset between Wine's key times and the Unix times on key lines.
static constexpr std::uint64_t TicksFrom1601To1970 = 116444736000000000ull;
static constexpr std::uint64_t TicksPerSecond = 10000000ull;

HiveKey &HiveKey::setString(std::string name, std::string text) {
  return setRaw(std::move(name), regtype::Sz, std::move(text));
}
HiveKey &HiveKey::setExpandString(std::string name, std::string text) {
  return setRaw(std::move(name), regtype::ExpandSz, std::move(text));
}
HiveKey &HiveKey::setMultiString(std::string name, const std::vector<std::string> &strings) {
  std::string data;
  for (const std::string &s : strings) {
    data += s;
    data += '\0';
  }
  return setRaw(std::move(name), regtype::MultiSz, std::move(data));
}
HiveKey &HiveKey::setDword(std::string name, std::uint32_t number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return setRaw(std::move(name), regtype::Dword, std::move(bytes));
}
HiveKey &HiveKey::setBinary(std::string name, std::string bytes) {
  return setRaw(std::move(name), regtype::Binary, std::move(bytes));
}
HiveKey &HiveKey::setRaw(std::string name, std::uint32_t type, std::string bytes) {
  values.push_back(HiveValue{std::move(name), type, std::move(bytes)});
  return *this;
}

HiveImage::HiveImage(std::string rootPath, std::int64_t baseTime, std::uint64_t seed, std::string arch)
    : m_rootPath(std::move(rootPath)), m_arch(std::move(arch)), m_baseTime(baseTime), m_clock(seed, 0x7157) {}

HiveKey &HiveImage::addKey(std::string path) {
  assert(!path.empty() && path.front() != '\\' && path.back() != '\\' && "relative key path");
  HiveKey &key = m_keys.emplace_back();
  key.path = std::move(path);
  // Keys were written over the thirty days after the base time, at sub-second precision.
  const std::uint64_t seconds =
      static_cast<std::uint64_t>(m_baseTime) + m_clock.below(30ull * 24 * 3600);
  key.modified = TicksFrom1601To1970 + seconds * TicksPerSecond + m_clock.below(TicksPerSecond);
  return key;
}

HiveKey &HiveImage::addLink(std::string path, std::string_view target) {
  HiveKey &key = addKey(std::move(path));
  key.link = true;
  std::string utf16;
  for (char c : target) {
    utf16 += c;
    utf16 += '\0';
  }
  key.setRaw("SymbolicLinkValue", regtype::Link, std::move(utf16));
  return key;
}

// The "name"= or @= part of a value line; returns the column after it.
static std::size_t appendValueName(std::string &out, const HiveValue &value) {
  if (value.name.empty()) {
    out += "@=";
    return 2;
  }
  out += '"';
  const std::size_t count = appendEscaped(out, value.name, '"', '"');
  out += "\"=";
  return count + 3;
}

static bool isStringType(std::uint32_t type) {
  return type == regtype::Sz || type == regtype::ExpandSz || type == regtype::MultiSz;
}

static void appendValue(std::string &out, const HiveValue &named, const HiveValue &value) {
  std::size_t column = appendValueName(out, named);
  char scratch[32];
  if (isStringType(value.type)) {
    if (value.type != regtype::Sz) {
      std::snprintf(scratch, sizeof scratch, "str(%x):", value.type);
      out += scratch;
    }
    out += '"';
    appendEscaped(out, value.data, '"', '"');
    out += "\"\n";
    return;
  }
  if (value.type == regtype::Dword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
    std::snprintf(scratch, sizeof scratch, "dword:%08x\n", number);
    out += scratch;
    return;
  }
  if (value.type == regtype::Binary)
    std::snprintf(scratch, sizeof scratch, "hex:");
  else
    std::snprintf(scratch, sizeof scratch, "hex(%x):", value.type);
  out += scratch;
  column += std::char_traits<char>::length(scratch);
  appendHexBytes(out, value.data, column);
  out += '\n';
}

static void appendKeyLine(std::string &out, const HiveKey &key) {
  out += "\n[";
  std::size_t begin = 0;
  while (true) {
    const std::size_t end = key.path.find('\\', begin);
    appendEscaped(out, std::string_view(key.path).substr(begin, end - begin), '[', ']');
    if (end == std::string::npos)
      break;
    out += "\\\\";
    begin = end + 1;
  }
  char scratch[64];
  const std::uint64_t seconds = (key.modified - TicksFrom1601To1970) / TicksPerSecond;
  std::snprintf(scratch, sizeof scratch, "] %u\n#time=%x%08x\n", static_cast<unsigned>(seconds),
                static_cast<unsigned>(key.modified >> 32),
                static_cast<unsigned>(key.modified & 0xFFFFFFFFu));
  out += scratch;
  if (key.link)
    out += "#link\n";
}

// Compares two names as Wine orders them (see nameSortKey), without making sort keys.
static int compareNames(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z')
      x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z')
      y = static_cast<char>(y + 32);
    if (x != y)
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// One value as written: its name as first set, its type and data as last set (Wine replaces
// the data of an existing value and keeps its name).
struct WrittenValue {
  const HiveValue *named;
  const HiveValue *data;
};

// The values of one key as Wine keeps them: sorted by name, one per name.
static void orderValues(const std::vector<const HiveKey *> &parts, std::vector<WrittenValue> &values) {
  values.clear();
  for (const HiveKey *part : parts)
    for (const HiveValue &value : part->values)
      values.push_back({&value, &value});
  if (values.size() < 2)
    return;
  std::stable_sort(values.begin(), values.end(), [](const WrittenValue &a, const WrittenValue &b) {
    return compareNames(a.named->name, b.named->name) < 0;
  });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (kept > 0 && compareNames(values[kept - 1].named->name, values[i].named->name) == 0)
      values[kept - 1].data = values[i].data;
    else
      values[kept++] = values[i];
  }
  values.resize(kept);
}

std::size_t HiveImage::blockSize(const HiveKey &key) {
  std::string block;
  appendKeyLine(block, key);
  std::vector<WrittenValue> values;
  orderValues({&key}, values);
  for (const WrittenValue &value : values)
    appendValue(block, *value.named, *value.data);
  return block.size();
}

std::string HiveImage::text(HiveTextStats *stats) const {
  HiveTextStats counts;
  std::string out = "WINE REGISTRY Version 2\n;; All keys relative to ";
  appendEscaped(out, m_rootPath, '[', ']');
  out += "\n\n#arch=" + m_arch + "\n";

  struct Entry {
    std::string sortKey;
    const HiveKey *key;
  };
  std::vector<Entry> entries;
  entries.reserve(m_keys.size());
  std::size_t estimate = out.size();
  for (const HiveKey &key : m_keys) {
    entries.push_back({pathSortKey(key.path), &key});
    estimate += key.path.size() + 48;
    for (const HiveValue &value : key.values)
      estimate += value.name.size() + value.data.size() * 2 + 16;
  }
  out.reserve(estimate + estimate / 8);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry &a, const Entry &b) { return a.sortKey < b.sortKey; });

  std::vector<const HiveKey *> parts;
  std::vector<WrittenValue> values;
  for (std::size_t i = 0; i < entries.size();) {
    // Every entry for the same path (in any case) is one key.
    parts.clear();
    std::size_t j = i;
    bool link = false;
    std::uint64_t modified = 0;
    for (; j < entries.size() && entries[j].sortKey == entries[i].sortKey; ++j) {
      parts.push_back(entries[j].key);
      link = link || entries[j].key->link;
      modified = std::max(modified, entries[j].key->modified);
    }
    const std::string &sortKey = entries[i].sortKey;
    const bool hasSubKeys = j < entries.size() &&
                            entries[j].sortKey.size() > sortKey.size() &&
                            entries[j].sortKey.compare(0, sortKey.size(), sortKey) == 0 &&
                            entries[j].sortKey[sortKey.size()] == '\x01';
    orderValues(parts, values);
    // Wine leaves out keys that only hold sub-keys: loading their sub-keys recreates them.
    if (!values.empty() || !hasSubKeys || link) {
      HiveKey head;
      head.path = parts.front()->path;
      head.modified = modified;
      head.link = link;
      appendKeyLine(out, head);
      for (const WrittenValue &value : values)
        appendValue(out, *value.named, *value.data);
      ++counts.keys;
      counts.values += values.size();
    }
    i = j;
  }
  if (stats)
    *stats = counts;
  return out;
}

} // namespace tw::generator::detail
