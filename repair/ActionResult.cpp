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
  const platform::SaveResult saved = saveXmlDocument(file.document, file.path);
  return saved ? std::string() : saved.description();
}

} // namespace tw::repair
