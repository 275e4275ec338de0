#include "RepairTestMachine.h"

#include "tests/support/ScratchMachine.h"

#include "registry/regfile/RegFileImport.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"
#include "scan/ScanLists.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace tw::test {

namespace fs = std::filesystem;
namespace api = platform;

/// The memory registry, passing every call through, except that flushes can be made to fail.
class FlakyRegistry : public platform::RegistryApi {
public:
  explicit FlakyRegistry(std::unique_ptr<platform::RegistryApi> inner) : m_inner(std::move(inner)) {}
  bool flushFails = false;
  /// Flushes that still succeed before every later one fails; -1 for no limit.
  int flushesLeft = -1;
  /// Keys whose path holds this text cannot be created, nor their values set.
  std::string refusedKeys;
  bool writesThrough = false;
  std::function<void(const std::string &)> beforeErase;
  std::string refusedDeletes;

  long openKey(api::RegKey parent, std::string_view subKey, std::uint32_t access,
               api::RegKey &result) override {
    return m_inner->openKey(parent, subKey, access, result);
  }
  long createKey(api::RegKey parent, std::string_view subKey, std::uint32_t access,
                 api::RegKey &result, bool *created) override {
    if (!refusedKeys.empty() && subKey.find(refusedKeys) != std::string_view::npos)
      return api::error::AccessDenied;
    return m_inner->createKey(parent, subKey, access, result, created);
  }
  long closeKey(api::RegKey key) override { return m_inner->closeKey(key); }
  long queryInfoKey(api::RegKey key, api::KeyInfo &info) override {
    return m_inner->queryInfoKey(key, info);
  }
  long enumKey(api::RegKey key, std::uint32_t index, std::string &name) override {
    return m_inner->enumKey(key, index, name);
  }
  long enumValue(api::RegKey key, std::uint32_t index, api::RegValue &value,
                 api::DataForm form) override {
    return m_inner->enumValue(key, index, value, form);
  }
  long queryValue(api::RegKey key, std::string_view name, api::RegValue &value,
                  api::DataForm form) override {
    return m_inner->queryValue(key, name, value, form);
  }
  long setValue(api::RegKey key, std::string_view name, std::uint32_t type,
                const std::uint8_t *data, std::size_t size, api::DataForm form) override {
    return m_inner->setValue(key, name, type, data, size, form);
  }
  long deleteKey(api::RegKey key, std::string_view subKey) override {
    if (beforeErase) beforeErase(std::string(subKey));
    if (refused(subKey)) return api::error::AccessDenied;
    return m_inner->deleteKey(key, subKey);
  }
  long deleteValue(api::RegKey key, std::string_view name) override {
    if (beforeErase) beforeErase("value " + std::string(name));
    if (refused(name)) return api::error::AccessDenied;
    return m_inner->deleteValue(key, name);
  }
  long flushKey(api::RegKey key) override {
    if (flushesLeft == 0) return api::error::WriteFault;
    if (flushesLeft > 0) --flushesLeft;
    return flushFails ? api::error::WriteFault : m_inner->flushKey(key);
  }
  long discardUnflushedChanges() override {
    return writesThrough ? api::error::NotSupported : m_inner->discardUnflushedChanges();
  }
  bool hasTwoViews() const override { return m_inner->hasTwoViews(); }
  long storedKeyPath(api::RegKey key, api::RegKey &root, std::string &subKey) override {
    return m_inner->storedKeyPath(key, root, subKey);
  }
  api::FlushFailure lastFlushFailure() const override {
    if (!flushFails) return m_inner->lastFlushFailure();
    return {api::FlushFailure::Cause::WriteFailed, "/test/system.reg", 28 /* ENOSPC */};
  }

private:
  std::unique_ptr<platform::RegistryApi> m_inner;

  bool refused(std::string_view name) const {
    return !refusedDeletes.empty() && name.ends_with(refusedDeletes);
  }
};

RepairTestMachine::RepairTestMachine() {
  m_folder = makeScratchFolder("repair-test").string();
  fs::create_directories(m_folder + "/drive_c/windows/system32");
  auto registry = std::make_unique<FlakyRegistry>(platform::makeMemoryRegistry());
  m_registry = registry.get();
  platform::installMachine(makeScratchMachine(m_folder, std::move(registry)));
}

RepairTestMachine::~RepairTestMachine() {
  std::error_code ignored;
  fs::remove_all(m_folder, ignored);
}

platform::RegistryApi &RepairTestMachine::registry() { return *m_registry; }

void RepairTestMachine::setFlushFails(bool fails) { m_registry->flushFails = fails; }

void RepairTestMachine::setFlushesBeforeFailure(int flushes) { m_registry->flushesLeft = flushes; }

void RepairTestMachine::refuseKeysNamed(std::string text) { m_registry->refusedKeys = std::move(text); }

void RepairTestMachine::setWritesThrough(bool writesThrough) { m_registry->writesThrough = writesThrough; }

void RepairTestMachine::onErase(std::function<void(const std::string &)> check) {
  m_registry->beforeErase = std::move(check);
}

void RepairTestMachine::refuseDeletesOf(std::string text) { m_registry->refusedDeletes = std::move(text); }

void RepairTestMachine::importReg(std::string_view regLines) {
  const std::string text = "Windows Registry Editor Version 5.00\n\n" + std::string(regLines);
  regedit::RegFileResult result = regedit::importRegText(registry(), text, "fixture.reg");
  if (!result) throw std::runtime_error(result.description());
}

std::optional<std::pair<std::uint32_t, Bytes>>
RepairTestMachine::value(std::uint32_t root, std::string_view keyPath, std::string_view name) {
  api::RegKey key = 0;
  if (registry().openKey(root, keyPath, api::access::KeyRead, key) != 0) return std::nullopt;
  api::RegValue found;
  const long status = registry().queryValue(key, name, found);
  registry().closeKey(key);
  if (status != 0) return std::nullopt;
  return std::make_pair(found.type, std::move(found.data));
}

bool RepairTestMachine::keyExists(std::uint32_t root, std::string_view keyPath) {
  api::RegKey key = 0;
  if (registry().openKey(root, keyPath, api::access::KeyRead, key) != 0) return false;
  registry().closeKey(key);
  return true;
}

static void dumpKey(api::RegistryApi &registry, api::RegKey key, const std::string &path,
                    std::vector<std::string> &lines) {
  bool hasValues = false;
  api::RegValue value;
  for (std::uint32_t i = 0; registry.enumValue(key, i, value) == 0; ++i) {
    std::ostringstream line;
    line << path << "\\" << value.name << "=" << value.type << ":";
    for (std::uint8_t byte : value.data) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", byte);
      line << hex;
    }
    lines.push_back(line.str());
    hasValues = true;
  }
  if (!hasValues) lines.push_back(path);
  std::string name;
  for (std::uint32_t i = 0; registry.enumKey(key, i, name) == 0; ++i) {
    api::RegKey child = 0;
    if (registry.openKey(key, name, api::access::KeyRead, child) != 0) continue;
    dumpKey(registry, child, path + "\\" + name, lines);
    registry.closeKey(child);
  }
}

std::vector<std::string> RepairTestMachine::dump(std::uint32_t root, std::string_view keyPath) {
  std::vector<std::string> lines;
  api::RegKey key = 0;
  if (registry().openKey(root, keyPath, api::access::KeyRead, key) != 0) return lines;
  dumpKey(registry(), key, std::string(keyPath), lines);
  registry().closeKey(key);
  std::sort(lines.begin(), lines.end());
  return lines;
}

Bytes textBytes(std::string_view text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

lists::Row errorRow(std::string errorType, std::string keyText, std::string guessPath,
                    std::string keyValue) {
  return scan::makeErrorListRow(
      {std::move(errorType), std::move(keyText), std::move(keyValue), std::move(guessPath)});
}

std::vector<std::string> rowTexts(const lists::CheckableList &list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.count(); ++i)
    texts.push_back(list.row(i).caption + "|" + list.row(i).subItem(0));
  return texts;
}

std::optional<std::string> fileText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace tw::test
