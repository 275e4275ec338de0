// A generated registry in Wine itself: a prefix made by wineboot gets the generated registry
// files, `wine reg query` reads the generated entries back, and when Wine saves the registry
// again every key the generator wrote comes back in the same order, and every key Wine did not
// change (its time is the same) byte for byte. Skipped where wine is not installed. One
// wineboot only, as it takes a minute.

#include "TempFolder.h"

#include "generator/PrefixGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tw::generator {
namespace {

using test::readWholeFile;
using test::TempFolder;

bool wineInstalled() { return std::system("command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1") == 0; }

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command in the prefix's environment and returns its standard output.
std::string runInPrefix(const std::string &prefix, const std::string &command, int *status = nullptr) {
  // Exported, so that every command of a chain (wineboot, then wineserver -w) sees the prefix.
  const std::string line = "export WINEPREFIX=" + quoted(prefix) +
                           " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='; (" + command + ") 2>/dev/null";
  std::string output;
  if (FILE *pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      output.append(buffer, got);
    const int rc = ::pclose(pipe);
    if (status)
      *status = rc;
  } else if (status) {
    *status = -1;
  }
  return output;
}

// The key blocks of a registry file: each "[key] time" line with the lines up to the next key.
struct Block {
  std::string path; ///< as written between the brackets
  std::string time; ///< the rest of the key line
  std::string text; ///< the whole block
};

std::vector<Block> keyBlocks(const std::string &text) {
  std::vector<Block> blocks;
  std::size_t pos = text.find("\n[");
  while (pos != std::string::npos) {
    const std::size_t next = text.find("\n[", pos + 1);
    Block block;
    block.text = text.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    const std::size_t close = block.text.find("] ");
    block.path = block.text.substr(1, close - 1);
    block.time = block.text.substr(close + 2, block.text.find('\n') - close - 2);
    blocks.push_back(std::move(block));
    pos = next;
  }
  return blocks;
}

struct Resaved {
  std::size_t missing = 0;   ///< our keys that Wine's file lacks
  std::size_t changed = 0;   ///< our keys Wine wrote to (a new time)
  std::size_t unchanged = 0; ///< our keys with the same time, and so the same text
  std::string firstDifference;
  bool sameOrder = false;
};

Resaved compareResaved(const std::vector<Block> &ours, const std::vector<Block> &theirs) {
  Resaved result;
  std::map<std::string, const Block *> byPath;
  for (const Block &block : theirs)
    byPath.emplace(block.path, &block);
  std::vector<std::string> ourOrder;
  for (const Block &block : ours) {
    const auto found = byPath.find(block.path);
    if (found == byPath.end()) {
      ++result.missing;
      continue;
    }
    ourOrder.push_back(block.path);
    if (found->second->time != block.time) {
      ++result.changed;
    } else if (found->second->text != block.text) {
      if (result.firstDifference.empty())
        result.firstDifference = "ours:\n" + block.text + "Wine's:\n" + found->second->text;
    } else {
      ++result.unchanged;
    }
  }
  std::vector<std::string> theirOrder;
  std::set<std::string> ourPaths(ourOrder.begin(), ourOrder.end());
  for (const Block &block : theirs)
    if (ourPaths.count(block.path))
      theirOrder.push_back(block.path);
  result.sameOrder = theirOrder == ourOrder;
  return result;
}

struct Row {
  std::string errorType, keyName, keyValue;
};

Row firstRowOf(const std::string &manifest, const std::string &type) {
  for (std::size_t start = 0; start < manifest.size();) {
    const std::size_t end = manifest.find('\n', start);
    const std::string line = manifest.substr(start, end - start);
    start = end + 1;
    if (!line.starts_with(type + "\t"))
      continue;
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
    return {type, line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1)};
  }
  return {};
}

TEST(WinePrefix, WineReadsAndResavesTheGeneratedRegistry) {
  if (!wineInstalled())
    GTEST_SKIP() << "wine is not installed";
  TempFolder folder;
  const std::string prefix = folder / "pfx";
  int status = 0;
  runInPrefix(prefix, "wineboot -i >/dev/null && wineserver -w", &status);
  ASSERT_EQ(status, 0) << "wineboot failed";

  GeneratorOptions options = GeneratorOptions::demo();
  options.overwrite = true;
  const GenerateResult result = generatePrefix(prefix, options);
  ASSERT_TRUE(result) << result.description();
  const std::string ourSystem = readWholeFile(prefix + "/system.reg");
  const std::string ourUser = readWholeFile(prefix + "/user.reg");
  const std::string manifest = readWholeFile(prefix + "/" + ExpectedErrorsFileName);

  {
    SCOPED_TRACE("WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query");
    const Row application = firstRowOf(manifest, "Application");
    ASSERT_FALSE(application.keyName.empty());
    const std::string appOutput = runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(application.keyName) + " /ve");
    EXPECT_NE(appOutput.find(application.keyValue), std::string::npos) << appOutput;

    const Row sound = firstRowOf(manifest, "Sound AppEvent");
    ASSERT_FALSE(sound.keyName.empty());
    const std::string soundOutput = runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(sound.keyName) + " /ve");
    EXPECT_NE(soundOutput.find(sound.keyValue), std::string::npos) << soundOutput;

    // Through the CurrentControlSet link, which Wine must follow.
    const std::string service = runInPrefix(
        prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query 'HKLM\\System\\CurrentControlSet\\Services\\lanmanserver' /v Start");
    EXPECT_NE(service.find("REG_DWORD"), std::string::npos) << service;
    EXPECT_NE(service.find("0x2"), std::string::npos) << service;
  }

  {
    SCOPED_TRACE("Wine saves the registry again");
    runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg add 'HKLM\\Software\\TidewellMarker' /v Marker /d 1 /f >/dev/null");
    runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg add 'HKCU\\Software\\TidewellMarker' /v Marker /d 1 /f >/dev/null");
    runInPrefix(prefix, "wineserver -w");
    const std::string wineSystem = readWholeFile(prefix + "/system.reg");
    const std::string wineUser = readWholeFile(prefix + "/user.reg");
    ASSERT_NE(wineSystem.find("[Software\\\\TidewellMarker]"), std::string::npos) << "Wine saved system.reg";
    ASSERT_NE(wineUser.find("[Software\\\\TidewellMarker]"), std::string::npos) << "Wine saved user.reg";
    EXPECT_EQ(wineSystem.substr(0, wineSystem.find("\n[")), ourSystem.substr(0, ourSystem.find("\n[")));
    // At start-up Wine writes a few keys of its own (versions, fonts, environment) and runs the
    // RunOnce entries; every other key must come back exactly as the generator wrote it.
    for (const auto &[ours, theirs] : {std::pair{&ourSystem, &wineSystem}, std::pair{&ourUser, &wineUser}}) {
      const std::vector<Block> ourBlocks = keyBlocks(*ours);
      const Resaved resaved = compareResaved(ourBlocks, keyBlocks(*theirs));
      EXPECT_EQ(resaved.missing, 0u);
      EXPECT_TRUE(resaved.sameOrder);
      EXPECT_EQ(resaved.firstDifference, "");
      EXPECT_EQ(resaved.unchanged + resaved.changed, ourBlocks.size());
      EXPECT_LT(resaved.changed, 20u) << "Wine changed more keys than its start-up does";
    }
  }
}

} // namespace
} // namespace tw::generator
