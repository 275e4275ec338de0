#include "registry/regfile/RegFileExport.h"

#include "registry/regfile/RegFileReader.h"
#include "registry/regfile/RegFileWriter.h"
#include "registry/regfile/RegFileText.h"
#include "platform/registry/RegistryText.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "platform/AtomicFile.h"
#include "platform/RegistryApi.h"

namespace tw::regedit {

using Status = RegFileResult::Status;
namespace error = platform::error;

namespace {

class TreeExporter {
public:
  TreeExporter(platform::RegistryApi &registry, RegFileWriter &writer, ExportGaps *gaps)
      : m_registry(registry), m_writer(writer), m_gaps(gaps) {}

  /// Writes `key`, whose full text is `path`, and everything below it.
  void exportTree(platform::RegKey key, std::u16string &path, std::size_t depth) {
    m_writer.beginKey(std::u16string_view(path));
    long rc = error::Success;
    for (std::uint32_t i = 0;; ++i) {
      rc = m_registry.enumValue(key, i, m_value, platform::DataForm::Raw);
      if (rc != error::Success)
        break;
      m_writer.writeValue(m_value);
    }
    if (rc != error::NoMoreItems)
      noteGap(path, "its values could not all be read", rc);

    std::string name;
    for (std::uint32_t i = 0;; ++i) {
      rc = m_registry.enumKey(key, i, name);
      if (rc != error::Success)
        break;
      const std::size_t length = path.size();
      path.push_back(u'\\');
      platform::detail::appendUtf16(path, name);
      exportChild(key, name, path, depth + 1);
      path.resize(length);
    }
    if (rc != error::NoMoreItems)
      noteGap(path, "its sub-keys could not all be listed", rc);
  }

private:
  platform::RegistryApi &m_registry;
  RegFileWriter &m_writer;
  ExportGaps *m_gaps;
  platform::RegValue m_value;

  void exportChild(platform::RegKey parent, const std::string &name, std::u16string &path,
                   std::size_t depth) {
    // Keys deeper than Windows allows can only come from links that loop.
    if (depth > MaxKeyDepth) {
      noteGap(path, "it lies deeper than 512 levels", 0);
      return;
    }
    platform::RegKey child = 0;
    const long rc = m_registry.openKey(parent, name, platform::access::KeyRead, child);
    // A key that vanished since it was listed, or a link to a key that does not exist, has
    // nothing to export: the registry editor passes over it too.
    if (rc == error::FileNotFound)
      return;
    if (rc != error::Success) {
      noteGap(path, "it cannot be opened", rc);
      return;
    }
    OwnedKey owned(m_registry, child);
    exportTree(child, path, depth);
  }

  void noteGap(const std::u16string &path, const char *why, long rc) {
    if (!m_gaps)
      return;
    std::string text = detail::toUtf8(path) + ": " + why;
    if (rc != 0)
      text += " (" + registryErrorText(rc) + ")";
    m_gaps->keys.push_back(std::move(text));
  }
};

RegFileResult failure(Status status, std::string detailText) {
  RegFileResult result;
  result.status = status;
  result.detail = std::move(detailText);
  return result;
}

/// Splits "ROOT\path" into the root and the path below it. Trailing backslashes are dropped,
/// so "HKEY_CURRENT_USER\" names the root itself.
bool splitKeyText(std::string_view keyText, platform::RegKey &root, std::string &rootText,
                  std::string &path) {
  while (!keyText.empty() && keyText.back() == '\\')
    keyText.remove_suffix(1);
  const std::size_t slash = keyText.find('\\');
  rootText = std::string(keyText.substr(0, slash));
  const auto key = RootKeyOfName(rootText);
  if (!key)
    return false;
  root = *key;
  path = slash == std::string_view::npos ? std::string() : std::string(keyText.substr(slash + 1));
  return true;
}

} // namespace

namespace {

/// Writes the export of `keyText` into `writer`; see exportRegText.
RegFileResult exportInto(platform::RegistryApi &registry, std::string_view keyText,
                         RegFileWriter &writer, ExportGaps *gaps) {
  TreeExporter exporter(registry, writer, gaps);
  if (keyText.empty()) { // the whole registry, as the registry editor exports it
    for (platform::RegKey root : rootsOfExport({})) {
      std::u16string path;
      platform::detail::appendUtf16(path, RootKeyToFullName(root));
      exporter.exportTree(root, path, 0);
    }
  } else {
    platform::RegKey root = 0;
    std::string rootText;
    std::string subPath;
    if (!splitKeyText(keyText, root, rootText, subPath))
      return failure(Status::KeyNotFound,
                     "unknown root \"" + rootText +
                         "\"; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, "
                         "HKEY_CLASSES_ROOT, HKEY_USERS or HKEY_CURRENT_CONFIG");
    platform::RegKey key = 0;
    const long rc = registry.openKey(root, subPath, platform::access::KeyRead, key);
    if (rc != error::Success)
      return failure(Status::KeyNotFound, "cannot open the key \"" + std::string(keyText) +
                                              "\": " + registryErrorText(rc));
    OwnedKey owned(registry, key);
    std::u16string path;
    platform::detail::appendUtf16(path, rootText);
    if (!subPath.empty()) {
      path.push_back(u'\\');
      platform::detail::appendUtf16(path, subPath);
    }
    exporter.exportTree(key, path, 0);
  }
  RegFileResult ok;
  ok.status = Status::Ok;
  return ok;
}

} // namespace

std::vector<platform::RegKey> rootsOfExport(std::string_view keyText) {
  if (keyText.empty())
    return {platform::HKEY_LOCAL_MACHINE, platform::HKEY_USERS};
  platform::RegKey root = 0;
  std::string rootText;
  std::string path;
  if (!splitKeyText(keyText, root, rootText, path))
    return {};
  return {root};
}

RegFileResult exportRegText(platform::RegistryApi &registry, std::string_view keyText,
                            std::string &bytes, ExportGaps *gaps) {
  bytes.clear();
  RegFileWriter writer;
  RegFileResult result = exportInto(registry, keyText, writer, gaps);
  if (result)
    bytes = writer.finish();
  return result;
}

RegFileResult exportRegFile(platform::RegistryApi &registry, std::string_view keyText,
                            const std::string &path, ExportGaps *gaps) {
  // Streamed into the temporary file piece by piece, so a large export is never held in
  // memory; a failed export leaves the temporary file to be removed and the target as it was.
  platform::AtomicFileWriter file(path);
  RegFileWriter writer([&file](std::string_view piece) { return file.write(piece); });
  RegFileResult result = exportInto(registry, keyText, writer, gaps);
  result.file = path;
  if (!result)
    return result;
  writer.finishStream();
  const platform::SaveResult saved = file.commit();
  if (!saved)
    return failure(Status::CannotWrite, saved.description());
  return result;
}

} // namespace tw::regedit
