#pragma once
// A small Wine prefix folder in a temporary directory: dosdevices links (c: -> ../drive_c,
// z: -> /, d: -> a folder outside the prefix), a drive_c with mixed-case names, and helpers
// to add files. Removed again at the end of the test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::test {

class TempPrefix {
public:
  TempPrefix() {
    namespace fs = std::filesystem;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "tw-prefix-" + std::to_string(::getpid()) + "-" +
                       (info ? std::string(info->test_suite_name()) + "-" + info->name() : "x");
    for (char &c : name)
      if (c == '/') c = '_';
    m_root = fs::temp_directory_path() / name;
    fs::remove_all(m_root);
    fs::create_directories(m_root / "prefix" / "dosdevices");
    fs::create_directories(m_root / "prefix" / "drive_c" / "windows" / "system32");
    fs::create_directories(m_root / "prefix" / "drive_c" / "Program Files" / "Common Files");
    fs::create_directories(m_root / "prefix" / "drive_c" / "users" / "Tester" / "Temp");
    fs::create_directories(m_root / "elsewhere");
    fs::create_symlink("../drive_c", m_root / "prefix" / "dosdevices" / "c:");
    fs::create_symlink("/", m_root / "prefix" / "dosdevices" / "z:");
    fs::create_symlink(m_root / "elsewhere", m_root / "prefix" / "dosdevices" / "d:");
    // Wine's raw-device links sit beside the drives and are no drives.
    fs::create_symlink("/dev/null", m_root / "prefix" / "dosdevices" / "com1");
  }
  ~TempPrefix() {
    std::error_code ignored;
    std::filesystem::current_path(m_savedCwd, ignored);
    makeWritable(m_root);
    std::filesystem::remove_all(m_root, ignored);
  }
  TempPrefix(const TempPrefix &) = delete;
  TempPrefix &operator=(const TempPrefix &) = delete;

  std::string dir() const { return (m_root / "prefix").string(); }
  std::filesystem::path driveC() const { return m_root / "prefix" / "drive_c"; }
  std::filesystem::path elsewhere() const { return m_root / "elsewhere"; }
  std::filesystem::path root() const { return m_root; }

  /// Writes a file below drive_c (path with '/'), making its folders; returns its host path.
  std::filesystem::path write(const std::string &relative, const std::string &content = "x") const {
    auto path = driveC() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

private:
  static void makeWritable(const std::filesystem::path &root) {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink()) ::chmod(it->path().c_str(), 0755);
    }
  }

  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd = std::filesystem::current_path();
};

} // namespace tw::test
