#include "RegistryTestSupport.h"

#include "platform/MemoryRegistry.h"
#include "tests/support/ScratchMachine.h"
#ifndef _WIN32
// The Wine backend reads and writes a prefix's registry files; it is built on Linux only.
#include "platform/WineRegistry.h"
#include "platform/registry/RegistryEngine.h"
#include "platform/registry/WineFileParser.h"
#include "platform/registry/WineFileWriter.h"
#endif

#include <fstream>
#include <sstream>

namespace tw::test {

namespace fs = std::filesystem;
using namespace platform;

TempDir::TempDir(const std::string &tag) {
  m_path = makeScratchFolder("reg-" + tag);
}

TempDir::~TempDir() {
  std::error_code ec;
  for (auto &entry : fs::recursive_directory_iterator(m_path, ec))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_path, ec);
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const fs::path &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

void putString(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name,
               const std::string &text) {
  RegKey key = 0;
  ASSERT_EQ(reg.createKey(root, path, access::KeyAllAccess, key), error::Success) << path;
  ASSERT_EQ(reg.setValue(key, name, regtype::Sz, reinterpret_cast<const std::uint8_t *>(text.c_str()),
                         text.size() + 1),
            error::Success);
  reg.closeKey(key);
}

void putDword(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name, std::uint32_t v) {
  RegKey key = 0;
  ASSERT_EQ(reg.createKey(root, path, access::KeyAllAccess, key), error::Success) << path;
  ASSERT_EQ(reg.setValue(key, name, regtype::Dword, reinterpret_cast<const std::uint8_t *>(&v), 4),
            error::Success);
  reg.closeKey(key);
}

std::string getString(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name) {
  RegKey key = 0;
  if (long s = reg.openKey(root, path, access::KeyRead, key); s != error::Success)
    return "<error " + std::to_string(s) + ">";
  RegValue v;
  long s = reg.queryValue(key, name, v);
  reg.closeKey(key);
  if (s != error::Success) return "<error " + std::to_string(s) + ">";
  std::string text(v.data.begin(), v.data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool keyExists(RegistryApi &reg, RegKey root, const std::string &path) {
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead, key) != error::Success) return false;
  reg.closeKey(key);
  return true;
}

std::vector<std::string> subKeyNames(RegistryApi &reg, RegKey root, const std::string &path) {
  std::vector<std::string> names;
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead, key) != error::Success) return names;
  std::string name;
  for (std::uint32_t i = 0; reg.enumKey(key, i, name) == error::Success; ++i) names.push_back(name);
  reg.closeKey(key);
  return names;
}

std::vector<std::string> valueNames(RegistryApi &reg, RegKey root, const std::string &path) {
  std::vector<std::string> names;
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead, key) != error::Success) return names;
  RegValue v;
  for (std::uint32_t i = 0; reg.enumValue(key, i, v) == error::Success; ++i) names.push_back(v.name);
  reg.closeKey(key);
  return names;
}

#ifndef _WIN32
std::string loadAndWrite(const std::string &text, bool regenerate) {
  detail::RegistryStore store;
  detail::BranchFile file;
  file.path = "test.reg";
  file.bytes = text;
  file.branch = detail::ensureKeyPath(store, "Branch");
  store.key(file.branch).file = 0;
  store.files().push_back(std::move(file));
  detail::FileHeader header;
  RegistryLoadResult r = detail::parseBranchFile(store, 0, header);
  EXPECT_TRUE(r) << r.description();
  if (regenerate)
    for (detail::KeyId id = 0; id < store.keySlots(); ++id)
      if (store.isLive(id)) store.key(id).flags |= detail::keyflag::Changed;
  std::string out;
  detail::writeBranchFile(store, 0, header.rootText, header.arch, out);
  return out;
}

static std::string fileHead(const std::string &root) {
  return "WINE REGISTRY Version 2\n;; All keys relative to " + root + "\n\n#arch=win64\n";
}

void writeMinimalPrefix(const fs::path &dir, const std::string &systemBlocks, const std::string &userBlocks,
                        const std::string &userdefBlocks) {
  fs::create_directories(dir);
  writeFile(dir / "system.reg", fileHead("REGISTRY\\\\Machine") + systemBlocks);
  writeFile(dir / "user.reg", fileHead("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") + userBlocks);
  writeFile(dir / "userdef.reg", fileHead("REGISTRY\\\\User\\\\.Default") + userdefBlocks);
}

#endif

std::vector<BackendFactory> allBackends() {
  std::vector<BackendFactory> list;
  list.push_back({"Memory", [](const fs::path &) { return makeMemoryRegistry(); }});
#ifndef _WIN32
  list.push_back({"Wine", [](const fs::path &scratch) -> std::unique_ptr<RegistryApi> {
                    writeMinimalPrefix(scratch);
                    RegistryLoadResult result;
                    WineRegistryOptions options;
                    options.ignoreRunningServer = true;
                    auto reg = openWineRegistry(scratch.string(), result, options);
                    EXPECT_TRUE(result) << result.description();
                    return reg;
                  }});
#endif
  return list;
}

} // namespace tw::test
