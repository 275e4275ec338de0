#pragma once
// A folder of its own for one test, removed with everything in it when the test ends.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tw::generator::test {

class TempFolder {
public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-gen-XXXXXX").string();
    if (char *made = ::mkdtemp(pattern.data()))
      m_path = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!m_path.empty())
      std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &path() const { return m_path; }
  std::string operator/(const std::string &name) const { return m_path + "/" + name; }

private:
  std::string m_path;
};

inline std::string readWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace tw::generator::test
