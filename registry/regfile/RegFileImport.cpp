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

/// The roots a file changes, in order of first use.
std::vector<const RegFileEntry *> rootsUsed(const RegFile &file) {
  std::vector<const RegFileEntry *> firstUse;
  for (const RegFileEntry &entry : file.entries) {
    if (entry.kind != RegFileEntry::Kind::OpenKey && entry.kind != RegFileEntry::Kind::DeleteKey)
      continue;
    const bool seen = std::any_of(firstUse.begin(), firstUse.end(),
                                  [&](const RegFileEntry *e) { return e->root == entry.root; });
    if (!seen)
      firstUse.push_back(&entry);
  }
  return firstUse;
}

} // namespace

RegFileResult applyRegFile(platform::RegistryApi &registry, const RegFile &file,
                           std::string_view fileName) {
  const auto roots = rootsUsed(file);
  // A registry that may only be read refuses the first change; asking each root for write
  // access first turns that into one clear message before anything changes.
  for (const RegFileEntry *entry : roots) {
    platform::RegKey key = 0;
    const long rc = registry.openKey(entry->root, "", platform::access::KeyWrite, key);
    if (rc != error::Success)
      return refused(fileName, entry->line, rc,
                     std::string("cannot change ") + RootKeyToFullName(entry->root));
    registry.closeKey(key);
  }

  OwnedKey current(registry);
  RegFileResult failure;
  bool failed = false;
  for (const RegFileEntry &entry : file.entries) {
    long rc = error::Success;
    std::string what;
    switch (entry.kind) {
    case RegFileEntry::Kind::OpenKey: {
      current.reset();
      platform::RegKey key = 0;
      rc = registry.createKey(entry.root, entry.keyPath, platform::access::KeyAllAccess, key);
      if (rc == error::Success)
        current.adopt(key);
      what = "cannot create the key " + keyText(entry);
      break;
    }
    case RegFileEntry::Kind::DeleteKey:
      current.reset();
      rc = deleteKeyTree(registry, entry.root, entry.keyPath);
      if (rc == error::FileNotFound) // nothing to delete
        rc = error::Success;
      what = "cannot delete the key " + keyText(entry);
      break;
    case RegFileEntry::Kind::SetValue:
      rc = registry.setValue(current.get(), entry.valueName, entry.type, entry.data.data(),
                             entry.data.size(), platform::DataForm::Raw);
      what = "cannot set " + valueText(entry);
      break;
    case RegFileEntry::Kind::DeleteValue:
      rc = registry.deleteValue(current.get(), entry.valueName);
      if (rc == error::FileNotFound)
        rc = error::Success;
      what = "cannot delete " + valueText(entry);
      break;
    }
    if (rc != error::Success) {
      failure = refused(fileName, entry.line, rc, std::move(what));
      failed = true;
      break;
    }
  }
  current.reset();

  if (!failed) {
    for (const RegFileEntry *entry : roots) {
      const long rc = registry.flushKey(entry->root);
      if (rc != error::Success) {
        failure = refused(fileName, 0, rc, "cannot save the registry");
        failed = true;
        break;
      }
    }
  }
  if (failed) {
    registry.discardUnflushedChanges();
    failure.detail += "; no change of this file was kept";
    return failure;
  }
  RegFileResult ok;
  ok.status = Status::Ok;
  ok.file = std::string(fileName);
  return ok;
}

RegFileResult importRegText(platform::RegistryApi &registry, std::string_view bytes,
                            std::string_view fileName) {
  RegFile file;
  RegFileResult result = parseRegText(bytes, file, fileName);
  if (!result)
    return result;
  return applyRegFile(registry, file, fileName);
}

RegFileResult importRegFile(platform::RegistryApi &registry, const std::string &path) {
  std::string bytes;
  RegFileResult result = loadRegFile(path, bytes);
  if (!result)
    return result;
  return importRegText(registry, bytes, path);
}

} // namespace tw::regedit
