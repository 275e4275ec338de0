// A full scan of a generated prefix finds exactly the broken entries the generator made: the
// rows of expected-errors.tsv, no more, no fewer, in the error list's order.

#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using namespace tw;

namespace {

std::vector<std::string> readLines(const fs::path &file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class GeneratedPrefix : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("tw-scan-generated-" + std::to_string(random()));
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  /// The rows of a full scan as TSV lines.
  std::vector<std::string> scanRows(const fs::path &dir, scan::ScanRunResult &result) {
    platform::PrefixOpenResult opened;
    auto machine = platform::openWinePrefix(dir.string(), opened);
    EXPECT_TRUE(machine) << opened.description();
    if (!machine) return {};
    platform::installMachine(std::move(machine));
    lists::CheckableList groups;
    lists::CheckableList errors(/*sorted=*/true);
    scan::rebuildScanGroupList(groups);
    scan::ListScanSession session(groups, errors);
    result = scan::runScanBody(session);
    std::vector<std::string> rows;
    for (int i = 0; i < errors.count(); ++i) {
      const lists::Row &row = errors.row(i);
      rows.push_back(row.caption + "\t" + row.subItem(0) + "\t" + row.subItem(1) + "\t" +
                     row.subItem(2));
    }
    return rows;
  }

  fs::path m_dir;
};

TEST_F(GeneratedPrefix, FullScanFindsExactlyTheExpectedRows) {
  for (std::uint64_t seed : {1u, 77u}) {
    generator::GeneratorOptions options;
    options.seed = seed;
    options.brokenShare = seed == 1 ? 0.1 : 0.35;
    const fs::path dir = m_dir / ("seed" + std::to_string(seed));
    fs::create_directories(dir);
    generator::GenerateResult generated = generator::generatePrefix(dir.string(), options);
    ASSERT_TRUE(generated) << generated.description();

    scan::ScanRunResult result;
    const std::vector<std::string> rows = scanRows(dir, result);
    EXPECT_EQ(result.kind, scan::ScanEndKind::Completed) << result.error;
    const std::vector<std::string> expected = readLines(dir / generator::ExpectedErrorsFileName);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(rows.size(), generated.expectedErrors);
    // Compared as sets first, so that a failure lists the rows that differ.
    std::vector<std::string> sortedRows = rows, sortedExpected = expected;
    std::sort(sortedRows.begin(), sortedRows.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    std::vector<std::string> missing, extra;
    std::set_difference(sortedExpected.begin(), sortedExpected.end(), sortedRows.begin(),
                        sortedRows.end(), std::back_inserter(missing));
    std::set_difference(sortedRows.begin(), sortedRows.end(), sortedExpected.begin(),
                        sortedExpected.end(), std::back_inserter(extra));
    EXPECT_THAT(missing, ::testing::IsEmpty()) << "seed " << seed;
    EXPECT_THAT(extra, ::testing::IsEmpty()) << "seed " << seed;
    EXPECT_EQ(rows, expected) << "the rows differ in order, seed " << seed;
  }
}

} // namespace
