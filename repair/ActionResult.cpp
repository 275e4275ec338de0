#include "repair/ActionResult.h"

#include "registry/XmlStore.h"

namespace tw::repair {

void ActionResult::fail(Status failure, std::string_view text) {
  status = failure;
  if (!message.empty()) message += '\n';
  message += text;
}

std::string saveDocumentFile(const DocumentFile &file, std::string_view fileName) {
  if (file.path.empty()) return "cannot save " + std::string(fileName) + ": its folder cannot be reached";
  if (file.version && !(platform::fileIdentityOf(file.path) == *file.version))
    return "cannot save " + file.path +
           ": another program changed it since it was read; the file on disk is unchanged";
  const platform::SaveResult saved = saveXmlDocument(file.document, file.path);
  if (!saved) return saved.description();
  if (file.version) *file.version = platform::fileIdentityOf(file.path);
  return {};
}

bool reloadChangedUndoStore(const DocumentFile &undoStore, std::string &problem) {
  problem.clear();
  if (!undoStore.version || undoStore.path.empty()) return false;
  // Taken before the text is read: should the file change once more meanwhile, the next save
  // is refused rather than allowed over a version never read.
  const platform::FileIdentity onDisk = platform::fileIdentityOf(undoStore.path);
  if (onDisk == *undoStore.version) return false;
  pugi::xml_document fresh;
  if (!onDisk.exists) {
    resetXmlDocument(fresh, UndoStoreRootName);
  } else {
    const XmlLoadResult loaded = readXmlDocument(fresh, undoStore.path, UndoStoreRootName);
    if (!loaded) {
      problem = loaded.description();
      return false;
    }
  }
  undoStore.document.reset(fresh);
  *undoStore.version = onDisk;
  return true;
}

PrefixLock beginRegistryAction(const DocumentFile &undoStore, ActionResult &result, bool &reloaded) {
  reloaded = false;
  PrefixLock lock = PrefixLock::take();
  if (!lock) {
    result.fail(ActionResult::Status::AnotherProgram, lock.description());
    return lock;
  }
  std::string problem;
  reloaded = reloadChangedUndoStore(undoStore, problem);
  if (problem.empty()) return lock;
  result.fail(ActionResult::Status::UndoStoreChanged,
              "Another program changed the undo store, and it cannot be read again: " + problem + ".");
  return {};
}

} // namespace tw::repair
