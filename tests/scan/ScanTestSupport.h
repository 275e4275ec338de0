#pragma once
// A small machine for scanner tests: an in-memory registry filled from literal .reg text and a
// temporary prefix folder whose drive C: holds the files a test creates.

#include "lists/CheckableList.h"
#include "scan/ListScanSession.h"
#include "scan/ScanRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::scan::test {

/// The registry every test machine starts with: the folders and version a Windows XP machine
/// reports, on drive C:.
extern const char *const BaseRegistry;

/// The rows and counts one scan produced.
struct ScanRecord {
  lists::CheckableList groups;
  lists::CheckableList errors{/*sorted=*/true};
  ScanRunResult result;
  std::vector<std::string> statusTexts;
  /// The groups whose count was written, in the order it was written.
  std::vector<int> countWrites;

  /// "type|key|value|guess" for every row, in list order.
  std::vector<std::string> rows() const;
  /// The "Errors" text of group `index`.
  std::string count(ScanGroupIndex index) const;
};

class ScanTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  /// Imports the .reg text `body` (without its header line) into the machine's registry.
  void importReg(std::string_view body);
  /// Creates the file `windowsPath` ("C:\dir\file.exe") and its folders on drive C:, with the
  /// case given.
  void createFile(std::string_view windowsPath);
  void createFolder(std::string_view windowsPath);
  /// The host path of a path on drive C:.
  std::filesystem::path hostPathOf(std::string_view windowsPath) const;

  /// Runs a scan with only `groups` checked. `hook`, when set, is called with the session after
  /// every update the scan makes (to stop it or change check marks midway).
  ScanRecord scan(std::vector<ScanGroupIndex> groups,
                  std::function<void(ListScanSession &, ScanRecord &)> hook = {});
  /// Runs one scanner with a fresh context; the rows land in the record as a scan puts them.
  ScanRecord runScanner(ScannerFunction scanner,
                        std::function<void(ListScanSession &, ScanRecord &)> hook = {});

  std::filesystem::path m_prefix;
  std::shared_ptr<const IgnoreIndex> m_ignore;
};

/// "type|key|value|guess".
std::string rowText(std::string_view type, std::string_view key, std::string_view value,
                    std::string_view guess);

} // namespace tw::scan::test
