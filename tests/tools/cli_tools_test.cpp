// tidewell-cli addons and traces, run as a user runs them on a generated prefix: what they print,
// what they change, what restore gives back, and their exit statuses.

#include "CliRun.h"
#include "PrefixContent.h"

#include "generator/PrefixGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

/// The fields of a tab-separated line.
std::vector<std::string> fieldsOf(const std::string &line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

class CliToolsTest : public ::testing::Test {
protected:
  fs::path root;
  fs::path prefix;

  void SetUp() override {
    if (std::string(TIDEWELL_CLI_PATH).empty() || !fs::exists(TIDEWELL_CLI_PATH))
      GTEST_SKIP() << "tidewell-cli was not built";
    root = fs::path(scratchFolder()) / ("tw-tools-cli-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    prefix = root / "prefix";
    generator::GeneratorOptions options;
    options.seed = 12;
    options.addons = 15;
    options.traceFiles = 20;
    const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
    ASSERT_TRUE(made) << made.description();
  }
  void TearDown() override {
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }

  CliRun cli(const std::string &args) {
    return runCommandLine("cd '" + root.string() + "' && '" + TIDEWELL_CLI_PATH + "' " + args + " --prefix '" +
                          prefix.string() + "' 2>/dev/null");
  }
  RegistryContent registry() {
    std::string problem;
    auto content = readPrefixRegistry(prefix.string(), problem);
    EXPECT_TRUE(content) << problem;
    return content ? *content : RegistryContent{};
  }
};

TEST_F(CliToolsTest, AddonsListRemoveAndRestore) {
  const RegistryContent original = registry();
  const CliRun listed = cli("addons list");
  ASSERT_EQ(listed.status, 0);
  const auto rows = listed.lines();
  ASSERT_EQ(rows.size(), 13u) << "the two helper objects are no add-ons of the page";
  for (const std::string &row : rows) EXPECT_EQ(fieldsOf(row).size(), 4u) << row;

  const CliRun menus = cli("addons list --kinds menus,4");
  ASSERT_EQ(menus.status, 0);
  for (const std::string &row : menus.lines()) {
    const std::string type = fieldsOf(row)[1];
    EXPECT_TRUE(type == "Menu Extensions" || type == "Download Handler") << row;
  }
  EXPECT_LT(menus.lines().size(), rows.size());
  EXPECT_EQ(cli("addons list --json").out.rfind("{\"addons\":[", 0), 0u);

  const CliRun removed = cli("addons remove 0 5");
  ASSERT_EQ(removed.status, 0);
  EXPECT_EQ(removed.lines(), (std::vector<std::string>{rows[0], rows[5]}));
  const auto after = cli("addons list").lines();
  EXPECT_EQ(after.size(), rows.size() - 2);
  EXPECT_EQ(cli("history").lines().size(), 2u);

  ASSERT_EQ(cli("restore --all").status, 0);
  EXPECT_EQ(cli("addons list").lines(), rows);
  const auto changed = differences(original, registry());
  EXPECT_TRUE(changed.empty()) << changed.front();
}

TEST_F(CliToolsTest, TracesScanAndClean) {
  const CliRun scanned = cli("traces scan --actions cache,cookies,downloads,favorites,history");
  ASSERT_EQ(scanned.status, 0);
  const auto rows = scanned.lines();
  ASSERT_EQ(rows.size(), 16u) << "the generated history files are not named index.dat";
  const auto hostOf = [&](const std::string &row) {
    const auto fields = fieldsOf(row);
    std::string path = fields[2].substr(3) + fields[1];
    for (char &c : path)
      if (c == '\\') c = '/';
    return prefix / "drive_c" / path;
  };
  for (const std::string &row : rows) ASSERT_TRUE(fs::exists(hostOf(row))) << row;
  EXPECT_EQ(cli("traces scan").lines().size(), 8u) << "cache, downloads and history by default";

  const CliRun cleaned = cli("traces clean --actions typed,cache,cookies,downloads,favorites,history 3");
  ASSERT_EQ(cleaned.status, 0);
  EXPECT_EQ(cleaned.out, "The cleaning up has been finished. 1 files deleted, 0 passed over.\n");
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(fs::exists(hostOf(rows[i])), i != 3) << rows[i];
  const RegistryContent now = registry();
  const auto typed = now.keys.find(canonicalKeyPath("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs"));
  ASSERT_NE(typed, now.keys.end());
  EXPECT_TRUE(typed->second.values.empty());

  ASSERT_EQ(cli("traces clean --actions favorites --json").out,
            "{\"deleted\":4,\"passedOver\":0,\"notices\":[]}\n");
  EXPECT_EQ(cli("traces scan --actions favorites").lines().size(), 0u);
}

TEST_F(CliToolsTest, HelpAndWrongArguments) {
  for (const char *command : {"addons", "traces"}) {
    const CliRun help = cli(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: tidewell-cli ") + command, 0), 0u) << command;
  }
  EXPECT_EQ(cli("addons").status, 2);
  EXPECT_EQ(cli("addons list 0").status, 2);
  EXPECT_EQ(cli("addons remove").status, 2);
  EXPECT_EQ(cli("addons remove 99").status, 2);
  EXPECT_EQ(cli("addons list --kinds bogus").status, 2);
  EXPECT_EQ(cli("traces wipe").status, 2);
  EXPECT_EQ(cli("traces scan --actions 7").status, 2);
  EXPECT_EQ(cli("traces clean 999").status, 2);
  EXPECT_EQ(cli("traces scan --bogus").status, 2);
  const std::string missing = "'" + std::string(TIDEWELL_CLI_PATH) + "' traces scan --prefix '" +
                              (root / "missing").string() + "' 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(missing.c_str())), 1);
}

} // namespace
} // namespace tw::test
