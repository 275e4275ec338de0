#include "app/HelpFiles.h"

namespace tw::app {

namespace fs = std::filesystem;

static bool isFile(const fs::path &path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

fs::path manualFrontPage(const fs::path &executableFolder) {
  const fs::path page = (executableFolder / ManualFolderFromExecutable / "index.html").lexically_normal();
  return isFile(page) ? page : fs::path();
}

fs::path helpDocument(const fs::path &executableFolder) {
  const fs::path helpFile = executableFolder / "help.chm";
  if (isFile(helpFile)) return helpFile;
  return manualFrontPage(executableFolder);
}

} // namespace tw::app
