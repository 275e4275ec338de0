#include "registry/regfile/RegFileImport.h"

#include "registry/regfile/RegFileReader.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "platform/RegistryApi.h"

#include <algorithm>

namespace tw::regedit {

using Status = RegFileResult::Status;
namespace error = platform::error;

namespace {

RegFileResult refused(std::string_view fileName, std::size_t line, long code, std::string what) {
  RegFileResult result;
  result.status = code == error::AccessDenied ? Status::ReadOnlyRegistry : Status::RegistryError;
  result.file = std::string(fileName);
  result.line = line;
  result.registryError = code;
  result.detail = std::move(what) + ": " + registryErrorText(code);
  return result;
}

std::string keyText(const RegFileEntry &entry) {
  std::string text = RootKeyToFullName(entry.root);
  if (!entry.keyPath.empty())
    text += "\\" + entry.keyPath;
  return text;
}

std::string valueText(const RegFileEntry &entry) {
  return entry.valueName.empty() ? std::string("the default value")
                                 : "the value \"" + entry.valueName + "\"";
}

} // namespace

bool RegFileRoots::entry(const RegFileEntry &entry) {
  if (entry.kind != RegFileEntry::Kind::OpenKey && entry.kind != RegFileEntry::Kind::DeleteKey)
    return true;
  const bool seen = std::any_of(m_uses.begin(), m_uses.end(),
                                [&](const RegFileRootUse &use) { return use.root == entry.root; });
  if (!seen)
    m_uses.push_back({entry.root, entry.line});
  return true;
}

std::vector<platform::RegKey> RegFileRoots::roots() const {
  std::vector<platform::RegKey> roots;
  for (const RegFileRootUse &use : m_uses)
    roots.push_back(use.root);
  return roots;
}

RegFileApplier::RegFileApplier(platform::RegistryApi &registry, std::string_view fileName)
    : m_registry(registry), m_fileName(fileName), m_current(registry) {}

bool RegFileApplier::refuse(std::size_t line, long code, std::string what) {
  m_failure = refused(m_fileName, line, code, std::move(what));
  m_failed = true;
  return false;
}

bool RegFileApplier::prepare(const std::vector<RegFileRootUse> &roots) {
  m_roots = roots;
  // A registry that may only be read refuses the first change; asking each root for write
  // access first turns that into one clear message before anything changes.
  for (const RegFileRootUse &use : m_roots) {
    platform::RegKey key = 0;
    const long rc = m_registry.openKey(use.root, "", platform::access::KeyWrite, key);
    if (rc != error::Success)
      return refuse(use.line, rc, "cannot change " + RootKeyToFullName(use.root));
    m_registry.closeKey(key);
  }
  return true;
}

bool RegFileApplier::entry(const RegFileEntry &entry) {
  if (m_failed)
    return false;
  m_changed = true;
  long rc = error::Success;
  std::string what;
  switch (entry.kind) {
  case RegFileEntry::Kind::OpenKey: {
    m_current.reset();
    platform::RegKey key = 0;
    rc = m_registry.createKey(entry.root, entry.keyPath, platform::access::KeyAllAccess, key);
    if (rc == error::Success)
      m_current.adopt(key);
    else
      what = "cannot create the key " + keyText(entry);
    break;
  }
  case RegFileEntry::Kind::DeleteKey:
    m_current.reset();
    rc = deleteKeyTree(m_registry, entry.root, entry.keyPath);
    if (rc == error::FileNotFound) // nothing to delete
      rc = error::Success;
    if (rc != error::Success)
      what = "cannot delete the key " + keyText(entry);
    break;
  case RegFileEntry::Kind::SetValue:
    rc = m_registry.setValue(m_current.get(), entry.valueName, entry.type, entry.data.data(),
                             entry.data.size(), platform::DataForm::Raw);
    if (rc != error::Success)
      what = "cannot set " + valueText(entry);
    break;
  case RegFileEntry::Kind::DeleteValue:
    rc = m_registry.deleteValue(m_current.get(), entry.valueName);
    if (rc == error::FileNotFound)
      rc = error::Success;
    if (rc != error::Success)
      what = "cannot delete " + valueText(entry);
    break;
  }
  if (rc != error::Success)
    return refuse(entry.line, rc, std::move(what));
  return true;
}

RegFileResult RegFileApplier::finish() {
  m_current.reset();
  if (!m_failed) {
    for (const RegFileRootUse &use : m_roots) {
      const long rc = m_registry.flushKey(use.root);
      if (rc != error::Success) {
        refuse(0, rc, "cannot save the registry");
        break;
      }
    }
  }
  if (m_failed && !m_changed) // refused before the first change: nothing to take back
    return m_failure;
  if (m_failed)
    return abandon(m_failure);
  RegFileResult ok;
  ok.status = Status::Ok;
  ok.file = m_fileName;
  return ok;
}

RegFileResult RegFileApplier::abandon(RegFileResult why) {
  m_current.reset();
  m_registry.discardUnflushedChanges();
  why.detail += "; no change of this file was kept";
  m_failed = true;
  return why;
}

RegFileResult applyRegFile(platform::RegistryApi &registry, const RegFile &file,
                           std::string_view fileName) {
  RegFileRoots roots;
  for (const RegFileEntry &entry : file.entries)
    roots.entry(entry);
  RegFileApplier applier(registry, fileName);
  if (applier.prepare(roots.uses())) {
    for (const RegFileEntry &entry : file.entries)
      if (!applier.entry(entry))
        break;
  }
  return applier.finish();
}

RegFileResult importRegText(platform::RegistryApi &registry, std::string_view bytes,
                            std::string_view fileName) {
  RegFile file;
  RegFileResult result = parseRegText(bytes, file, fileName);
  if (!result)
    return result;
  return applyRegFile(registry, file, fileName);
}

RegFileResult applyRegSource(platform::RegistryApi &registry, RegFileSource &source,
                             const RegFileRoots &roots, std::string_view fileName) {
  RegFileApplier applier(registry, fileName);
  if (applier.prepare(roots.uses())) {
    RegFileResult result = source.read(applier, fileName);
    // The file was checked whole before: a failure now means it changed meanwhile.
    if (!result)
      return applier.abandon(result);
  }
  return applier.finish();
}

RegFileResult importRegFile(platform::RegistryApi &registry, const std::string &path) {
  RegFileSource source;
  RegFileResult result = source.open(path);
  if (!result)
    return result;
  RegFileRoots roots;
  result = source.read(roots, path);
  if (!result)
    return result;
  return applyRegSource(registry, source, roots, path);
}

} // namespace tw::regedit
