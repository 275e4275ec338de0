// tidewell-cli scan as a user runs it: exit codes, the tab-separated rows, the JSON document,
// and ignore.xml in the current folder; and the startup and uninstall commands.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// --- A minimal JSON reader, enough to check the shape of the output -----------------------

struct Json;
using JsonObject = std::map<std::string, Json>;
using JsonArray = std::vector<Json>;
struct Json {
  std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> value;
  const JsonObject &object() const { return std::get<JsonObject>(value); }
  const JsonArray &array() const { return std::get<JsonArray>(value); }
  const std::string &text() const { return std::get<std::string>(value); }
  const Json &operator[](const std::string &key) const { return object().at(key); }
};

class JsonReader {
public:
  explicit JsonReader(std::string_view text) : m_text(text) {}
  /// The document, or throws std::runtime_error naming the offset.
  Json readDocument() {
    Json json = readValue();
    skipSpace();
    if (m_at != m_text.size()) fail("text after the document");
    return json;
  }

private:
  std::string_view m_text;
  std::size_t m_at = 0;

  [[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error("JSON offset " + std::to_string(m_at) + ": " + what);
  }
  void skipSpace() {
    while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
  }
  bool take(char c) {
    skipSpace();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }
  bool takeWord(std::string_view word) {
    skipSpace();
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }
  std::string readString() {
    expect('"');
    std::string out;
    while (true) {
      if (m_at >= m_text.size()) fail("unterminated string");
      const char c = m_text[m_at++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_at >= m_text.size()) fail("unterminated escape");
      const char e = m_text[m_at++];
      switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (m_at + 4 > m_text.size()) fail("short \\u escape");
        const unsigned code = std::stoul(std::string(m_text.substr(m_at, 4)), nullptr, 16);
        m_at += 4;
        if (code >= 0x80) fail("test reader handles only ASCII \\u escapes");
        out += static_cast<char>(code);
        break;
      }
      default: fail("bad escape");
      }
    }
  }
  Json readValue() {
    skipSpace();
    if (m_at >= m_text.size()) fail("missing value");
    const char c = m_text[m_at];
    if (c == '"') return {readString()};
    if (takeWord("true")) return {true};
    if (takeWord("false")) return {false};
    if (takeWord("null")) return {nullptr};
    if (take('[')) {
      JsonArray array;
      if (take(']')) return {array};
      do array.push_back(readValue());
      while (take(','));
      expect(']');
      return {array};
    }
    if (take('{')) {
      JsonObject object;
      if (take('}')) return {object};
      do {
        skipSpace();
        std::string key = readString();
        expect(':');
        object[key] = readValue();
      } while (take(','));
      expect('}');
      return {object};
    }
    std::size_t used = 0;
    const double number = std::stod(std::string(m_text.substr(m_at)), &used);
    m_at += used;
    return {number};
  }
};

// --- Prefixes and runs ----------------------------------------------------------------------

/// A registry file in Wine's format with the given keys ("[key]" lines and values).
std::string wineRegistryFile(std::string_view rootComment, std::string_view body) {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to ";
  text.append(rootComment).append("\n\n#arch=win32\n\n").append(body);
  return text;
}

// Wine escapes each backslash of key names and string data.
constexpr const char *SystemKeys = R"reg([Software\\Microsoft\\Windows\\CurrentVersion] 1136073600
"ProgramFilesDir"="C:\\Program Files"

[Software\\Microsoft\\Windows NT\\CurrentVersion] 1136073600
"CurrentVersion"="5.1"
"CurrentBuildNumber"="2600"

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gone.exe] 1136073600
@="C:\\Gone\\gone.exe"

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\here.exe] 1136073600
@="C:\\Here\\here.exe"

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tab.exe] 1136073600
@="C:\\Gone\\a\tb\nc.exe"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone] 1136073600
"UninstallString"="\"C:\\Gone\\uninst.exe\" /S"
)reg";

constexpr const char *UserKeys = R"reg([Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.xyz] 1136073600
)reg";

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CliScan : public ::testing::Test {
protected:
  void SetUp() override {
    std::random_device random;
    m_root = fs::temp_directory_path() / ("tw-cli-test-" + std::to_string(random()));
    m_prefix = m_root / "prefix";
    m_work = m_root / "work";
    fs::create_directories(m_prefix / "dosdevices");
    fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
    fs::create_directories(m_prefix / "drive_c" / "Here");
    fs::create_directories(m_work);
    fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
    std::ofstream(m_prefix / "drive_c" / "Here" / "here.exe") << "x";
    std::ofstream(m_prefix / "system.reg") << wineRegistryFile("\\\\Machine", SystemKeys);
    std::ofstream(m_prefix / "user.reg")
        << wineRegistryFile("\\\\User\\\\S-1-5-21-0-0-0-1000", UserKeys);
    std::ofstream(m_prefix / "userdef.reg") << wineRegistryFile("\\\\User\\\\.Default", "");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  /// Runs tidewell-cli with `args` (shell words) in the work folder.
  CliRun run(const std::string &args) {
    const fs::path out = m_root / "out.txt", err = m_root / "err.txt";
    const std::string command = "cd '" + m_work.string() + "' && WINEPREFIX= '" TIDEWELL_CLI_PATH
                                "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    CliRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
  }
  CliRun scan(const std::string &args = {}) { return run("scan --prefix '" + m_prefix.string() + "' " + args); }

  static std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  fs::path m_root, m_prefix, m_work;
};

const std::string AppPaths = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";

TEST_F(CliScan, TsvListsOneRowPerErrorInTheErrorListsOrder) {
  CliRun r = scan();
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(
      lines(r.out),
      ElementsAre(
          "Application\t" + AppPaths + "\\gone.exe\tC:\\Gone\\gone.exe\tc:\\gone\\gone.exe",
          // Tabs and line breaks inside a text would break the line into other fields.
          "Application\t" + AppPaths + "\\tab.exe\tC:\\Gone\\a b c.exe\tc:\\gone\\a b c.exe",
          "File Extensions\tHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
          "Explorer\\FileExts\\.xyz\t\t",
          "Uninstall\tHKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
          "Gone\\UninstallString\t\"C:\\Gone\\uninst.exe\" /S\tc:\\gone\\uninst.exe"));
}

TEST_F(CliScan, GroupsOptionRunsOnlyTheListedGroups) {
  CliRun r = scan("--groups 10,4");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_EQ(lines(r.out).size(), 1u);
  EXPECT_THAT(r.out, ::testing::StartsWith("Uninstall\t"));
  CliRun none = scan("--groups=");
  EXPECT_EQ(none.exitCode, 0) << none.err;
  EXPECT_EQ(none.out, "");
}

TEST_F(CliScan, JsonHoldsGroupsAndRows) {
  CliRun r = scan("--groups 0,11 --json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Json document = JsonReader(r.out).readDocument();
  const JsonArray &groups = document["groups"].array();
  ASSERT_EQ(groups.size(), 12u);
  EXPECT_EQ(groups[0]["caption"].text(), "Application Path");
  EXPECT_EQ(std::get<double>(groups[11]["index"].value), 11.0);
  EXPECT_EQ(std::get<bool>(groups[0]["checked"].value), true);
  EXPECT_EQ(std::get<bool>(groups[1]["checked"].value), false);
  EXPECT_EQ(groups[0]["errors"].text(), "2");
  EXPECT_EQ(groups[11]["errors"].text(), "1");
  EXPECT_EQ(groups[10]["errors"].text(), "0");

  const JsonArray &rows = document["rows"].array();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1]["type"].text(), "Application");
  EXPECT_EQ(rows[1]["key"].text(), AppPaths + "\\tab.exe");
  // JSON keeps the texts exactly.
  EXPECT_EQ(rows[1]["value"].text(), "C:\\Gone\\a\tb\nc.exe");
  EXPECT_EQ(rows[2]["type"].text(), "File Extensions");
  EXPECT_EQ(rows[2]["guess"].text(), "");
  EXPECT_EQ(std::get<bool>(rows[2]["checked"].value), true);
  EXPECT_EQ(document["end"].text(), "completed");
}

TEST_F(CliScan, IgnoreListInTheCurrentFolderHidesRows) {
  std::ofstream(m_work / "ignore.xml")
      << "<?xml version=\"1.0\"?>\n<IgnoreList>\n"
         "<ERROR ROOT=\"HKEY_LOCAL_MACHINE\" KEY=\"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
         "App Paths\" VALUE=\"gone.exe\"/>\n</IgnoreList>\n";
  CliRun r = scan("--groups 0");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(lines(r.out), ElementsAre(::testing::StartsWith("Application\t" + AppPaths + "\\tab.exe")));
}

TEST_F(CliScan, DamagedIgnoreListIsReportedAndLeftAsItWas) {
  const std::string damaged = "<IgnoreList>\n<ERROR ROOT=\"x\"\n</IgnoreList>\n";
  std::ofstream(m_work / "ignore.xml") << damaged;
  CliRun r = scan();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr("ignore.xml"));
  EXPECT_THAT(r.err, HasSubstr("line 3"));
  EXPECT_EQ(readFile(m_work / "ignore.xml"), damaged);
  EXPECT_THAT(std::vector<fs::path>(fs::directory_iterator(m_work), fs::directory_iterator()),
              ElementsAre(m_work / "ignore.xml"));
}

TEST_F(CliScan, MalformedIgnoreEntryEndsTheScanWithAMessage) {
  std::ofstream(m_work / "ignore.xml") << "<IgnoreList><ERROR ROOT=\"x\" KEY=\"y\"/></IgnoreList>";
  CliRun r = scan("--json");
  ASSERT_EQ(r.exitCode, 1) << r.err;
  EXPECT_THAT(r.err, HasSubstr("has no VALUE attribute"));
  Json document = JsonReader(r.out).readDocument();
  EXPECT_EQ(document["end"].text(), "failed");
  EXPECT_THAT(document["rows"].array(), IsEmpty());
}

TEST_F(CliScan, ExitCodesForWrongArgumentsAndMissingPrefix) {
  struct Case {
    std::string args;
    int exitCode;
  } cases[] = {
      {"", 2},
      {"frobnicate", 2},
      {"scan --groups 12", 2},
      {"scan --groups 1,,2", 2},
      {"scan --groups x", 2},
      {"scan --groups", 2},
      {"scan --prefix", 2},
      {"scan --bogus", 2},
      {"scan --prefix '" + (m_root / "nowhere").string() + "'", 1},
      {"scan --prefix '" + m_work.string() + "'", 1},
  };
  for (const Case &c : cases) {
    CliRun r = run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_FALSE(r.err.empty()) << c.args;
  }
}

TEST_F(CliScan, HelpGoesToStandardOutput) {
  for (const char *args : {"--help", "scan --help", "help scan"}) {
    CliRun r = run(args);
    EXPECT_EQ(r.exitCode, 0) << args;
    EXPECT_THAT(r.out, HasSubstr("usage: tidewell-cli")) << args;
    EXPECT_EQ(r.err, "") << args;
  }
}

// --- startup and uninstall ----------------------------------------------------------------

constexpr const char *ManagerSystemKeys = R"reg([Software\\Microsoft\\Windows NT\\CurrentVersion] 1136073600
"CurrentVersion"="6.1"

[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1136073600
"Agent"="C:\\agent.exe /quiet"

[Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Old] 1136073600
"command"="C:\\old.exe"
"hkey"="HKCU"
"inimapping"="0"
"item"="Old"
"key"="Software\\Microsoft\\Windows\\CurrentVersion\\Run"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zed] 1136073600
"DisplayName"="Zed"
"UninstallString"="C:\\zed\\uninstall.exe /S"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tool] 1136073600
"DisplayName"="Tool\twith tab"
)reg";

constexpr const char *ManagerUserKeys = R"reg([Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1136073600
"Mail"="\"C:\\Mail\\mail.exe\" -min"
)reg";

class CliManagers : public CliScan {
protected:
  void SetUp() override {
    CliScan::SetUp();
    std::ofstream(m_prefix / "system.reg") << wineRegistryFile("\\\\Machine", ManagerSystemKeys);
    std::ofstream(m_prefix / "user.reg") << wineRegistryFile("\\\\User\\\\S-1-5-21-0-0-0-1000", ManagerUserKeys);
  }
  CliRun manager(const std::string &args) { return run(args + " --prefix '" + m_prefix.string() + "'"); }
};

const std::string RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST_F(CliManagers, StartupListDisableAndEnableAsThePageDoes) {
  CliRun r = manager("startup list");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_THAT(lines(r.out), ElementsAre("Agent\tC:\\agent.exe /quiet\tHKLM\\" + RunKey + "\t1",
                                        "Mail\t\"C:\\Mail\\mail.exe\" -min\tHKCU\\" + RunKey + "\t1",
                                        "Old\tC:\\old.exe\tHKCU\\" + RunKey + "\t0"));
  r = manager("startup disable 1");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = manager("startup enable 2"); // the list now ends with the records Mail and Old
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = manager("startup list --json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Json document = JsonReader(r.out).readDocument();
  ASSERT_EQ(document.array().size(), 3u);
  // Mail was disabled and Old enabled: the records come last.
  EXPECT_EQ(document.array()[1]["item"].text(), "Old");
  EXPECT_EQ(document.array()[1]["location"].text(), "HKCU\\" + RunKey);
  EXPECT_TRUE(std::get<bool>(document.array()[1]["enabled"].value));
  EXPECT_EQ(document.array()[2]["item"].text(), "Mail");
  EXPECT_FALSE(std::get<bool>(document.array()[2]["enabled"].value));
  EXPECT_THAT(readFile(m_prefix / "system.reg"), HasSubstr("startupreg\\\\Mail]"));
}

TEST_F(CliManagers, UninstallListDeleteAndRun) {
  CliRun r = manager("uninstall list");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  EXPECT_THAT(lines(r.out), ElementsAre("Tool with tab\t\t" + uninstall + "Tool",
                                        "Zed\tC:\\zed\\uninstall.exe /S\t" + uninstall + "Zed"));
  r = manager("uninstall run 1");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("could not be started: C:\\zed\\uninstall.exe /S"));
  r = manager("uninstall delete 0");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = manager("uninstall list --json");
  Json document = JsonReader(r.out).readDocument();
  ASSERT_EQ(document.array().size(), 1u);
  EXPECT_EQ(document.array()[0]["key"].text(), uninstall + "Zed");
}

TEST_F(CliManagers, ExitCodesOfTheManagers) {
  struct Case {
    std::string args;
    int exitCode;
  } cases[] = {
      {"startup", 2},           {"startup frob", 2},      {"startup disable", 2}, {"startup disable 3", 2},
      {"startup enable x", 2},  {"startup list extra", 2}, {"uninstall", 2},       {"uninstall delete 9", 2},
      {"uninstall run -1", 2},  {"uninstall list --bogus", 2},
  };
  for (const Case &c : cases) {
    CliRun r = manager(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_FALSE(r.err.empty()) << c.args;
  }
  CliRun r = run("startup list --prefix '" + (m_root / "nowhere").string() + "'");
  EXPECT_EQ(r.exitCode, 1);
  for (const char *args : {"startup --help", "uninstall --help", "help startup"}) {
    r = run(args);
    EXPECT_EQ(r.exitCode, 0) << args;
    EXPECT_THAT(r.out, HasSubstr("usage: tidewell-cli")) << args;
  }
}

} // namespace
