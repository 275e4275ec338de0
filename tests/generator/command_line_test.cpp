// The command line of tidewell-mkprefix.

#include "generator/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::generator {
namespace {

TEST(CommandLine, ReadsTheFolderAndOptions) {
  const CommandLine line = parseCommandLine({"--seed", "42", "out/prefix", "--classes", "7", "--broken", "0.5",
                                             "--win7", "--force", "--user", "bob", "--system-mb", "100"});
  ASSERT_EQ(line.action, CommandLine::Action::Generate) << line.error;
  EXPECT_EQ(line.dir, "out/prefix");
  EXPECT_EQ(line.options.seed, 42u);
  EXPECT_EQ(line.options.classes, 7u);
  EXPECT_DOUBLE_EQ(line.options.brokenShare, 0.5);
  EXPECT_FALSE(line.options.windowsXp);
  EXPECT_TRUE(line.options.overwrite);
  EXPECT_EQ(line.options.userName, "bob");
  EXPECT_EQ(line.options.systemMegabytes, 100u);
  EXPECT_EQ(line.options.appPaths, GeneratorOptions().appPaths) << "untouched counts keep their defaults";
}

TEST(CommandLine, DemoIsTheBaseWhateverItsPlace) {
  const CommandLine line = parseCommandLine({"dir", "--classes", "3", "--demo"});
  ASSERT_EQ(line.action, CommandLine::Action::Generate) << line.error;
  const GeneratorOptions demo = GeneratorOptions::demo();
  EXPECT_EQ(line.options.classes, 3u);
  EXPECT_EQ(line.options.uninstall, demo.uninstall);
  EXPECT_EQ(line.options.seed, demo.seed);
  EXPECT_EQ(parseCommandLine({"dir", "--help"}).action, CommandLine::Action::ShowHelp);
  EXPECT_NE(usageText().find("--file-exts"), std::string::npos);
}

TEST(CommandLine, RefusesWhatItCannotUse) {
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{}, "no prefix folder"},
      {{"--classes", "5"}, "no prefix folder"},
      {{"a", "b"}, "'b'"},
      {{"dir", "--seed", "x"}, "--seed"},
      {{"dir", "--seed", "-1"}, "--seed"},
      {{"dir", "--broken", "2"}, "--broken"},
      {{"dir", "--broken", "0.5x"}, "--broken"},
      {{"dir", "--broken", "nan"}, "--broken"},
      {{"dir", "--classes"}, "--classes"},
      {{"dir", "--classes", "1e3"}, "--classes"},
      {{"dir", "--classes", ""}, "--classes"},
      {{"dir", "--bogus", "1"}, "--bogus"},
  };
  for (const Case &c : cases) {
    const CommandLine line = parseCommandLine(c.args);
    EXPECT_EQ(line.action, CommandLine::Action::Error) << c.mentions;
    EXPECT_NE(line.error.find(c.mentions), std::string::npos) << line.error;
  }
}

} // namespace
} // namespace tw::generator
