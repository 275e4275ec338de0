#include "platform/registry/WineFileWriter.h"

#include "platform/RegistryApi.h"
#include "platform/registry/RegistryText.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace tw::platform::detail {

namespace {

constexpr std::int64_t TicksPerSecond = 10000000;
constexpr std::int64_t TicksFrom1601To1970 = 116444736000000000ll;
// Wine starts a new line of hex bytes once a line passes this many characters.
constexpr int HexLineLimit = 76;

// Pieces smaller than this are gathered before they go to the sink.
constexpr std::size_t ChunkBytes = 1 << 20;

class Writer {
public:
  Writer(const RegistryStore &store, const ChunkSink &sink) : m_store(store), m_sink(sink) {
    m_out.reserve(ChunkBytes + 4096);
  }
  bool writeHeader(std::string_view rootText, std::string_view arch);
  bool writeKeys(KeyId branch);
  bool finish() { return flushRun() && flushBuffer(); }

private:
  bool flushBuffer() {
    if (m_out.empty() || !m_ok) return m_ok;
    m_ok = m_sink(m_out);
    m_out.clear();
    return m_ok;
  }
  // Unchanged blocks that follow each other in the loaded file go out as one piece.
  bool flushRun() {
    if (m_runEnd == m_runStart) return m_ok;
    std::string_view run = std::string_view(m_store.files()[m_file].bytes).substr(m_runStart, m_runEnd - m_runStart);
    m_runStart = m_runEnd = 0;
    m_out.push_back('\n');
    if (run.size() < ChunkBytes) {
      m_out.append(run);
    } else if (flushBuffer()) {
      m_ok = m_sink(run);
    }
    if (run.back() != '\n') m_out.push_back('\n');
    return m_out.size() < ChunkBytes ? m_ok : flushBuffer();
  }

  void writeBlock(KeyId id, KeyId branch);
  void writeValue(const Key &k, const Value &v);
  void writePath(KeyId id, KeyId branch);
  int appendEscapedName(std::string_view wtf8, std::string_view specials) {
    m_units.clear();
    appendUtf16(m_units, wtf8);
    std::size_t before = m_out.size();
    appendEscaped(m_out, m_units.data(), m_units.size(), specials);
    return static_cast<int>(m_out.size() - before);
  }
  int print(const char *format, ...) __attribute__((format(printf, 2, 3)));

  const RegistryStore &m_store;
  const ChunkSink &m_sink;
  std::string m_out;
  std::u16string m_units;
  std::vector<KeyId> m_pathScratch;
  std::uint8_t m_file = 0;
  std::size_t m_runStart = 0;
  std::size_t m_runEnd = 0;
  bool m_ok = true;
};

int Writer::print(const char *format, ...) {
  char buffer[64];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  m_out.append(buffer, static_cast<std::size_t>(n));
  return n;
}

bool isWritten(const Key &k) {
  bool hasClass = k.extra && k.extra->hasClass;
  return !k.values.empty() || k.children.empty() || hasClass || (k.flags & keyflag::Link);
}

bool Writer::writeHeader(std::string_view rootText, std::string_view arch) {
  m_out.append("WINE REGISTRY Version 2\n;; All keys relative to ");
  m_out.append(rootText);
  m_out.push_back('\n');
  if (!arch.empty()) {
    m_out.append("\n#arch=");
    m_out.append(arch);
    m_out.push_back('\n');
  }
  return m_ok;
}

bool Writer::writeKeys(KeyId branch) {
  m_file = m_store.key(branch).file;
  // Depth first, parents before children, children in their sorted order.
  std::vector<std::pair<KeyId, std::size_t>> stack; // key, next child to visit
  stack.emplace_back(branch, 0);
  writeBlock(branch, branch);
  while (!stack.empty() && m_ok) {
    auto &[id, next] = stack.back();
    const Key &k = m_store.key(id);
    if (next == k.children.size()) {
      stack.pop_back();
      continue;
    }
    KeyId child = k.children[next++];
    writeBlock(child, branch);
    stack.emplace_back(child, 0);
  }
  return m_ok;
}

void Writer::writeBlock(KeyId id, KeyId branch) {
  const Key &k = m_store.key(id);
  if (!isWritten(k)) return;
  if ((k.flags & keyflag::InFile) && !(k.flags & keyflag::Changed) && k.block.length > 0) {
    // Blocks in the file are separated by one empty line; a block right after the run
    // extends it.
    std::string_view bytes = m_store.files()[m_file].bytes;
    bool extends = m_runEnd > m_runStart && k.block.offset == m_runEnd + 1 && bytes[m_runEnd - 1] == '\n' &&
                   bytes[m_runEnd] == '\n';
    if (!extends && !flushRun()) return;
    if (!extends) m_runStart = k.block.offset;
    m_runEnd = k.block.offset + k.block.length;
    return;
  }
  if (!flushRun()) return;
  m_out.append("\n[");
  if (id != branch) writePath(id, branch);
  auto seconds = static_cast<unsigned>((static_cast<std::int64_t>(k.modified) - TicksFrom1601To1970) / TicksPerSecond);
  print("] %u\n", seconds);
  print("#time=%x%08x\n", static_cast<unsigned>(k.modified >> 32), static_cast<unsigned>(k.modified & 0xFFFFFFFFu));
  if (k.extra && k.extra->hasClass) {
    m_out.append("#class=\"");
    appendEscaped(m_out, k.extra->className.data(), k.extra->className.size(), "\"\"");
    m_out.append("\"\n");
  }
  if (k.flags & keyflag::Link) m_out.append("#link\n");
  // Wine keeps values sorted by name and writes them in that order.
  std::vector<const Value *> values;
  values.reserve(k.values.size());
  for (const Value &v : k.values) values.push_back(&v);
  std::stable_sort(values.begin(), values.end(), [&](const Value *a, const Value *b) {
    return compareNames(m_store.valueName(k, *a), m_store.valueName(k, *b)) < 0;
  });
  for (const Value *v : values) writeValue(k, *v);
  if (m_out.size() >= ChunkBytes) flushBuffer();
}

void Writer::writePath(KeyId id, KeyId branch) {
  m_pathScratch.clear();
  for (KeyId at = id; at != branch && at != NoKey; at = m_store.key(at).parent) m_pathScratch.push_back(at);
  for (std::size_t i = m_pathScratch.size(); i-- > 0;) {
    appendEscapedName(m_store.keyName(m_pathScratch[i]), "[]");
    if (i > 0) m_out.append("\\\\");
  }
}

void Writer::writeValue(const Key &k, const Value &v) {
  std::string_view name = m_store.valueName(k, v);
  int count = 0;
  if (!name.empty()) {
    m_out.push_back('"');
    count = 1 + appendEscapedName(name, "\"\"");
    m_out.append("\"=");
    count += 2;
  } else {
    m_out.append("@=");
    count = 2;
  }
  ValueData data = m_store.valueData(k, v);
  const std::vector<std::uint8_t> &bytes = data.bytes;
  std::size_t len = bytes.size();
  bool terminatedText = len >= 2 && len % 2 == 0 && bytes[len - 2] == 0 && bytes[len - 1] == 0;
  if (isStringType(v.type) && terminatedText) {
    if (v.type != 1) print("str(%x):", static_cast<unsigned>(v.type));
    m_out.push_back('"');
    m_units.resize(len / 2 - 1);
    for (std::size_t i = 0; i < m_units.size(); ++i)
      m_units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    appendEscaped(m_out, m_units.data(), m_units.size(), "\"\"");
    m_out.append("\"\n");
    return;
  }
  if (v.type == 4 && len == 4) {
    std::uint32_t dw = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                       (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    print("dword:%08x\n", static_cast<unsigned>(dw));
    return;
  }
  if (v.type == 3) count += print("hex:");
  else count += print("hex(%x):", static_cast<unsigned>(v.type));
  static constexpr char Digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < len; ++i) {
    m_out.push_back(Digits[bytes[i] >> 4]);
    m_out.push_back(Digits[bytes[i] & 15]);
    count += 2;
    if (i + 1 < len) {
      m_out.push_back(',');
      if (++count > HexLineLimit) {
        m_out.append("\\\n  ");
        count = 2;
      }
    }
  }
  m_out.push_back('\n');
}

} // namespace

bool writeBranchFile(const RegistryStore &store, std::uint8_t file, std::string_view rootText, std::string_view arch,
                     const ChunkSink &sink) {
  Writer writer(store, sink);
  return writer.writeHeader(rootText, arch) && writer.writeKeys(store.files()[file].branch) && writer.finish();
}

void writeBranchFile(const RegistryStore &store, std::uint8_t file, std::string_view rootText, std::string_view arch,
                     std::string &out) {
  out.reserve(out.size() + store.files()[file].bytes.size() + 4096);
  writeBranchFile(store, file, rootText, arch, [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
}

} // namespace tw::platform::detail
