// A full scan of a generated 64-bit prefix with the 32-bit programs' half finds exactly the
// broken entries the generator made in both halves (its expected-errors.tsv, in the error list's
// order), a 32-bit prefix is scanned as one view, and a repair cycle over both halves gives the
// registry back.

#include "ViewsSupport.h"

#include "generator/PrefixGenerator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace tw::test {
namespace {

class GeneratedViews : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("tw-views-generated-" + std::to_string(random()));
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  fs::path make(const std::string &name, generator::GeneratorOptions options) {
    const fs::path dir = m_dir / name;
    const generator::GenerateResult made = generator::generatePrefix(dir.string(), options);
    EXPECT_TRUE(made) << made.description();
    return dir;
  }

  // The scan's rows against the manifest: the same rows, then the same order.
  static void expectManifest(const fs::path &dir) {
    bool completed = false;
    std::vector<std::string> rows;
    for (const ScanRow &row : scanPrefix(dir, &completed)) rows.push_back(row.line());
    ASSERT_TRUE(completed);
    const std::vector<std::string> expected = fileLines(dir / generator::ExpectedErrorsFileName);
    ASSERT_FALSE(expected.empty());
    std::vector<std::string> sortedRows = rows, sortedExpected = expected, missing, extra;
    std::sort(sortedRows.begin(), sortedRows.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    std::set_difference(sortedExpected.begin(), sortedExpected.end(), sortedRows.begin(), sortedRows.end(),
                        std::back_inserter(missing));
    std::set_difference(sortedRows.begin(), sortedRows.end(), sortedExpected.begin(), sortedExpected.end(),
                        std::back_inserter(extra));
    // A few of each, so that a view the scan misses shows without flooding the log.
    const auto few = [](const std::vector<std::string> &lines) {
      std::string text;
      for (std::size_t i = 0; i < lines.size() && i < 5; ++i) text += "\n  " + lines[i];
      return text;
    };
    EXPECT_EQ(missing.size(), 0u) << "rows the scan missed, the first:" << few(missing);
    EXPECT_EQ(extra.size(), 0u) << "rows the scan found beyond the manifest, the first:" << few(extra);
    if (missing.empty() && extra.empty()) {
      EXPECT_EQ(rows, expected) << "the rows differ in order";
    }
  }

  fs::path m_dir;
};

TEST_F(GeneratedViews, ScanOfBothHalvesFindsExactlyTheExpectedRows) {
  for (std::uint64_t seed : {1u, 77u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    generator::GeneratorOptions options;
    options.seed = seed;
    options.brokenShare = seed == 1 ? 0.1 : 0.35;
    options.arch = generator::PrefixArch::Win64With32Bit;
    const fs::path dir = make("wow64-" + std::to_string(seed), options);
    const std::vector<std::string> expected = fileLines(dir / generator::ExpectedErrorsFileName);
    ASSERT_GT(std::count_if(expected.begin(), expected.end(),
                            [](const std::string &row) { return row.find("\\Wow6432Node\\") != std::string::npos; }),
              20);
    expectManifest(dir);
  }
}

TEST_F(GeneratedViews, A32BitPrefixIsScannedAsOneView) {
  generator::GeneratorOptions options;
  options.seed = 9;
  options.brokenShare = 0.3;
  options.arch = generator::PrefixArch::Win32;
  expectManifest(make("win32", options));
}

TEST_F(GeneratedViews, FixCloseRestoreGivesBothHalvesBack) {
  generator::GeneratorOptions options;
  options.seed = 4;
  options.brokenShare = 0.3;
  options.arch = generator::PrefixArch::Win64With32Bit;
  const fs::path dir = make("cycle", options);
  const std::size_t expectedRows = fileLines(dir / generator::ExpectedErrorsFileName).size();
  const RepairCycle cycle = fixAndRestoreEverything(dir);
  ASSERT_EQ(cycle.problem, "");
  EXPECT_EQ(cycle.fixedRows, expectedRows);
  EXPECT_EQ(cycle.restoredRecords, cycle.fixedRows);
  // The fix reached the 32-bit half's keys, and the restore gave them back with the rest.
  EXPECT_TRUE(std::any_of(cycle.changedByFix.begin(), cycle.changedByFix.end(),
                          [](const std::string &line) { return lowered(line).find("wow6432node") != std::string::npos; }));
  EXPECT_THAT(cycle.leftAfterRestore, ::testing::IsEmpty());
}

} // namespace
} // namespace tw::test
