// What the reader accepts, what it makes of it, and where it stops on damaged text.

#include "registry/regfile/RegFileReader.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
using Status = RegFileResult::Status;
using Kind = RegFileEntry::Kind;
namespace regtype = platform::regtype;

namespace {

const std::string V5 = "Windows Registry Editor Version 5.00\r\n";
const std::string Key = V5 + "[HKEY_CURRENT_USER\\A]\r\n";

RegFile parsed(std::string_view text) {
  RegFile file;
  const RegFileResult result = parseRegText(text, file, "t.reg");
  EXPECT_TRUE(result) << result.description();
  return file;
}

/// The one value a text holding one [key] line and one value line sets.
RegFileEntry onlyValue(std::string_view text) {
  const RegFile file = parsed(text);
  if (file.entries.size() != 2) {
    ADD_FAILURE() << "expected a key and a value, got " << file.entries.size() << " entries";
    return {};
  }
  return file.entries[1];
}

} // namespace

TEST(RegFileReader, RefusesDamagedTextWithStatusAndLine) {
  struct Case {
    std::string text;
    Status status;
    std::size_t line;
  };
  const std::string deep = [] {
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 513; ++i)
      path += "\\k";
    return path + "]\r\n";
  }();
  const Case cases[] = {
      {"", Status::Empty, 1},
      {"\r\n" + Key, Status::BadHeader, 1},
      {"REGEDIT5\r\n", Status::BadHeader, 1},
      {"Windows Registry Editor Version 5.0\r\n", Status::BadHeader, 1},
      {"REGEDIT", Status::BadHeader, 1},
      {V5 + "[HKEY_CURRENT_USER\\A\r\n", Status::BadKeyName, 2},
      {V5 + "[ HKEY_CURRENT_USER\\A]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKEY_NOWHERE\\A]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKEY_DYN_DATA\\A]\r\n", Status::BadKeyName, 2},
      {V5 + "[-HKEY_DYN_DATA\\A]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKCU\\A]\r\n", Status::BadKeyName, 2},
      {V5 + "[]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKEY_CURRENT_USER\\A\\\\B]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKEY_CURRENT_USER\\A\\]\r\n", Status::BadKeyName, 2},
      {V5 + "[-HKEY_CURRENT_USER]\r\n", Status::BadKeyName, 2},
      {V5 + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\r\n", Status::BadKeyName, 2},
      {V5 + deep, Status::BadKeyName, 2},
      {V5 + "[HKEY_CURRENT_USER\\A] x\r\n", Status::UnexpectedText, 2},
      {V5 + "\"a\"=\"b\"\r\n", Status::ValueOutsideKey, 2},
      {V5 + "[-HKEY_CURRENT_USER\\A]\r\n\"a\"=\"b\"\r\n", Status::ValueOutsideKey, 3},
      {Key + "\"a=\"b\"\r\n", Status::BadValueName, 3},
      {Key + "\"a\" \"b\"\r\n", Status::BadValueName, 3},
      {Key + "@\"b\"\r\n", Status::BadValueName, 3},
      {Key + "\"a\\x\"=\"b\"\r\n", Status::BadValueName, 3},
      {Key + "\"" + std::string(16384, 'v') + "\"=\"b\"\r\n", Status::BadValueName, 3},
      {Key + "\"a\"=\"b\r\n", Status::BadString, 3},
      {Key + "\"a\"=\"b\\q\"\r\n", Status::BadString, 3},
      {Key + "\"a\"=\"b\\0\"\r\n", Status::BadString, 3},
      {Key + "\"a\"=\"b\\\r\n", Status::BadString, 3},
      {Key + "\"a\"=\"b\" c\r\n", Status::UnexpectedText, 3},
      {Key + "\"a\"=dword:\r\n", Status::BadDword, 3},
      {Key + "\"a\"=dword:123456789\r\n", Status::BadDword, 3},
      {Key + "\"a\"=dword:12g\r\n", Status::BadDword, 3},
      {Key + "\"a\"=dword:-1\r\n", Status::BadDword, 3},
      {Key + "\"a\"=dword:1 2\r\n", Status::BadDword, 3},
      {Key + "\"a\"=hex:1,2g\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:100\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:01 02\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:01,,02\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:01,\\\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:01,\\\r\n\r\n; more\r\n", Status::BadHex, 5},
      {Key + "\"a\"=hex:01,\\\r\n\"b\"=dword:1\r\n", Status::BadHex, 4},
      {Key + "\"a\"=hex:01,\\ x\r\n  02\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex:01\\\r\n  02\r\n", Status::BadHex, 3},
      {Key + "\"a\"=hex(:01\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=hex():01\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=hex(123456789):01\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=hex(2)01\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=qword:1\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=DWORD:1\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=\r\n", Status::UnknownType, 3},
      {Key + "\"a\"=-x\r\n", Status::UnknownType, 3},
      {Key + "garbage\r\n", Status::UnexpectedText, 3},
      {Key + "=\"x\"\r\n", Status::UnexpectedText, 3},
      {Key + "\"a\"=\"b\"\r\n" + std::string("\"c\"=\"\0\"\r\n", 9), Status::BadEncoding, 4},
      {std::string("W\0i\0n\0", 6), Status::BadEncoding, 1},
      {utf16File(Key) + "x", Status::BadEncoding, 3},
  };
  for (const Case &c : cases) {
    RegFile file;
    const RegFileResult result = parseRegText(c.text, file, "bad.reg");
    EXPECT_EQ(result.status, c.status) << c.text.substr(0, 120) << "\n" << result.description();
    EXPECT_EQ(result.line, c.line) << c.text.substr(0, 120) << "\n" << result.description();
    EXPECT_TRUE(file.entries.empty());
    EXPECT_EQ(result.description().rfind("bad.reg: ", 0), 0u) << result.description();
  }
}

TEST(RegFileReader, MessagesSayWhatWasFoundAndWhatWasExpected) {
  RegFile file;
  RegFileResult result = parseRegText(Key + "\"a\"=qword:1\r\n", file, "x.reg");
  EXPECT_EQ(result.description(), "x.reg: line 3: found \"qword:1\"; expected a quoted string, "
                                  "dword:, hex:, hex(N): or -");
  result = parseRegText(V5 + "[HKEY_NOWHERE]\r\n", file, "x.reg");
  EXPECT_EQ(result.description(),
            "x.reg: line 2: unknown root \"HKEY_NOWHERE\"; expected HKEY_LOCAL_MACHINE, "
            "HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS or HKEY_CURRENT_CONFIG");
}

TEST(RegFileReader, ReadsKeysAndDeletions) {
  const RegFile file = parsed("Windows Registry Editor Version 5.00\r\n"
                              "; a comment\r\n"
                              "\r\n"
                              "  [hkey_local_machine\\Software\\A]B] ; the last bracket ends the name\r\n"
                              "[HKEY_CLASSES_ROOT]\r\n"
                              "[-HKEY_USERS\\.Default\\Gone]\r\n"
                              "[HKEY_CURRENT_CONFIG\\C]\r\n"
                              "\"old\"=-\r\n"
                              "@=- ; the default value\r\n");
  ASSERT_EQ(file.entries.size(), 6u);
  EXPECT_EQ(file.version, RegFile::Version::Version5);
  EXPECT_EQ(file.entries[0].kind, Kind::OpenKey);
  EXPECT_EQ(file.entries[0].root, platform::HKEY_LOCAL_MACHINE);
  EXPECT_EQ(file.entries[0].keyPath, "Software\\A]B");
  EXPECT_EQ(file.entries[0].line, 4u);
  EXPECT_EQ(file.entries[1].root, platform::HKEY_CLASSES_ROOT);
  EXPECT_EQ(file.entries[1].keyPath, "");
  EXPECT_EQ(file.entries[2].kind, Kind::DeleteKey);
  EXPECT_EQ(file.entries[2].root, platform::HKEY_USERS);
  EXPECT_EQ(file.entries[2].keyPath, ".Default\\Gone");
  EXPECT_EQ(file.entries[3].root, platform::HKEY_CURRENT_CONFIG);
  EXPECT_EQ(file.entries[4].kind, Kind::DeleteValue);
  EXPECT_EQ(file.entries[4].valueName, "old");
  EXPECT_EQ(file.entries[5].kind, Kind::DeleteValue);
  EXPECT_EQ(file.entries[5].valueName, "");
  EXPECT_EQ(file.entries[5].line, 9u);
}

TEST(RegFileReader, ReadsEveryDataForm) {
  RegFileEntry e = onlyValue(Key + "\"s\"=\"C:\\\\a \\\"b\\\" \\r\\n\" ; comment\r\n");
  EXPECT_EQ(e.kind, Kind::SetValue);
  EXPECT_EQ(e.valueName, "s");
  EXPECT_EQ(e.type, regtype::Sz);
  EXPECT_EQ(e.data, sz(u"C:\\a \"b\" \r\n"));

  e = onlyValue(Key + "@ = \"\"\t \r\n");
  EXPECT_EQ(e.valueName, "");
  EXPECT_EQ(e.data, sz(u""));

  e = onlyValue(Key + "\"a \\\"q\\\" \\\\ \\n\"=dword:  00012aBc ; c\r\n");
  EXPECT_EQ(e.valueName, "a \"q\" \\ \n");
  EXPECT_EQ(e.type, regtype::Dword);
  EXPECT_EQ(e.data, bytes({0xbc, 0x2a, 0x01, 0x00}));

  e = onlyValue(Key + "\"d\"=dword:f\r\n");
  EXPECT_EQ(e.data, bytes({0x0f, 0, 0, 0}));

  e = onlyValue(Key + "\"b\"=hex:\r\n");
  EXPECT_EQ(e.type, regtype::Binary);
  EXPECT_TRUE(e.data.empty());

  e = onlyValue(Key + "\"b\"=hex: 0, a ,FF,\r\n");
  EXPECT_EQ(e.data, bytes({0x00, 0x0a, 0xff}));

  e = onlyValue(Key + "\"t\"=hex(ffff0007):07\r\n");
  EXPECT_EQ(e.type, 0xffff0007u);
  EXPECT_EQ(e.data, bytes({7}));

  e = onlyValue(Key + "\"n\"=hex(0):\r\n");
  EXPECT_EQ(e.type, regtype::None);
  EXPECT_TRUE(e.data.empty());
}

TEST(RegFileReader, JoinsContinuedHexLines) {
  const RegFileEntry e = onlyValue(Key + "\"m\"=hex(7):61,00,\\ ; first part\r\n"
                                         "\r\n"
                                         "; a comment between the parts\r\n"
                                         "  00,00,\\\r\n"
                                         "\t62,00,00,00,00,00\r\n");
  EXPECT_EQ(e.type, regtype::MultiSz);
  EXPECT_EQ(e.data, bytes({0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}));
  // A continuation may also come straight after the type.
  EXPECT_EQ(onlyValue(Key + "\"b\"=hex:\\\r\n  01\r\n").data, bytes({1}));
}

TEST(RegFileReader, StringHexDataIsUtf16InVersion5AndWidenedInRegedit4) {
  const RegFileEntry v5 = onlyValue(Key + "\"e\"=hex(2):25,00,41,00,00,00\r\n");
  EXPECT_EQ(v5.type, regtype::ExpandSz);
  EXPECT_EQ(v5.data, sz(u"%A"));

  const RegFile r4 = parsed("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                            "\"e\"=hex(2):25,41,00\r\n"
                            "\"m\"=hex(7):61,00,e9,00,00\r\n"
                            "\"b\"=hex:25,41,00\r\n"
                            "\"s\"=\"caf\xC3\xA9\"\r\n");
  ASSERT_EQ(r4.entries.size(), 5u);
  EXPECT_EQ(r4.version, RegFile::Version::Regedit4);
  EXPECT_EQ(r4.entries[1].data, sz(u"%A"));
  // 0xE9 alone is not UTF-8, so the bytes are Windows-1252 text.
  EXPECT_EQ(r4.entries[2].data, bytes({0x61, 0, 0, 0, 0xe9, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r4.entries[3].data, bytes({0x25, 0x41, 0x00}));
  EXPECT_EQ(r4.entries[4].data, sz(u"caf\u00e9"));
}

TEST(RegFileReader, EncodingsAndLineEndsGiveTheSameEntries) {
  const std::string text = "Windows Registry Editor Version 5.00\r\n"
                           "[HKEY_CURRENT_USER\\Caf\xC3\xA9]\r\n"
                           "\"\xE2\x82\xAC\"=\"\xF0\x9F\x98\x80\"\r\n"
                           "\"h\"=hex:01,\\\r\n  02\r\n";
  const RegFile reference = parsed(text);
  ASSERT_EQ(reference.entries.size(), 3u);
  EXPECT_EQ(reference.entries[0].keyPath, "Caf\xC3\xA9");
  EXPECT_EQ(reference.entries[1].valueName, "\xE2\x82\xAC");
  EXPECT_EQ(reference.entries[1].data, sz(u"\U0001F600"));

  auto replaced = [&](std::string_view from, std::string_view to) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
      if (text.compare(i, from.size(), from) == 0) {
        out += to;
        i += from.size();
      } else {
        out += text[i++];
      }
    }
    return out;
  };
  const std::string variants[] = {utf16File(text), "\xEF\xBB\xBF" + text, replaced("\r\n", "\n"),
                                  replaced("\r\n", "\r"), "  " + text};
  for (const std::string &variant : variants) {
    const RegFile file = parsed(variant);
    ASSERT_EQ(file.entries.size(), reference.entries.size());
    for (std::size_t i = 0; i < file.entries.size(); ++i) {
      EXPECT_EQ(file.entries[i].keyPath, reference.entries[i].keyPath);
      EXPECT_EQ(file.entries[i].valueName, reference.entries[i].valueName);
      EXPECT_EQ(file.entries[i].data, reference.entries[i].data);
      EXPECT_EQ(file.entries[i].line, reference.entries[i].line);
    }
  }
  EXPECT_TRUE(parsed(utf16File(text)).utf16);
}

TEST(RegFileReader, EveryCutOfAValidFileFailsOnItsLastLineOrKeepsWholeLines) {
  const std::string text = "Windows Registry Editor Version 5.00\r\n"
                           "\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Cut]\r\n"
                           "@=\"default\"\r\n"
                           "\"s\"=\"a \\\"quoted\\\" text\"\r\n"
                           "\"d\"=dword:0000beef\r\n"
                           "\"h\"=hex:01,02,03,\\\r\n"
                           "  04,05\r\n"
                           "\"e\"=hex(2):25,00,00,00\r\n"
                           "\"x\"=-\r\n"
                           "[-HKEY_CURRENT_USER\\Software\\Cut\\Old]\r\n";
  for (const bool wide : {false, true}) {
    const std::string full = wide ? utf16File(text) : text;
    const RegFile whole = parsed(full);
    const std::size_t start = wide ? 2 : 0;
    for (std::size_t length = start; length <= full.size(); ++length) {
      const std::string cut = full.substr(0, length);
      RegFile file;
      const RegFileResult result = parseRegText(cut, file, "cut.reg");
      // The text the cut keeps, as 8-bit characters, to count its lines.
      const std::string kept = text.substr(0, wide ? (length - start) / 2 : length);
      std::size_t lines = 1;
      for (std::size_t i = 0; i < kept.size(); ++i)
        lines += kept[i] == '\n';
      const bool atLineEnd = !kept.empty() && (kept.back() == '\n' || kept.back() == '\r');
      if (!result) {
        EXPECT_TRUE(file.entries.empty());
        if (wide && (length - start) % 2 != 0) {
          EXPECT_EQ(result.status, Status::BadEncoding) << "cut at " << length;
          continue;
        }
        // Whole lines make a valid file, unless the last one promised more hex data.
        std::string lastLine = kept;
        while (!lastLine.empty() && (lastLine.back() == '\n' || lastLine.back() == '\r'))
          lastLine.pop_back();
        EXPECT_TRUE(!atLineEnd || lastLine.ends_with('\\'))
            << "cut at " << length << ": " << result.description();
        const bool endsWithLf = !kept.empty() && kept.back() == '\n';
        EXPECT_EQ(result.line, endsWithLf ? lines - 1 : lines)
            << "cut at " << length << ": " << result.description();
        continue;
      }
      // A cut that succeeds keeps the entries of the whole lines before it; only the data of
      // a dword or hex line that the cut shortened may differ, and that is documented.
      ASSERT_LE(file.entries.size(), whole.entries.size()) << "cut at " << length;
      for (std::size_t i = 0; i < file.entries.size(); ++i) {
        const RegFileEntry &got = file.entries[i];
        const RegFileEntry &want = whole.entries[i];
        EXPECT_EQ(got.kind, want.kind) << "cut at " << length;
        EXPECT_EQ(got.valueName, want.valueName) << "cut at " << length;
        if (got.data != want.data) {
          EXPECT_EQ(i + 1, file.entries.size()) << "cut at " << length;
          EXPECT_TRUE(got.type == regtype::Dword || got.type == regtype::Binary ||
                      got.type == regtype::ExpandSz)
              << "cut at " << length;
          EXPECT_FALSE(atLineEnd) << "cut at " << length;
        }
      }
    }
  }
}

namespace {

/// Gathers what a sink is handed, as parseRegText gathers it.
struct Gathered final : RegFileSink {
  RegFile file;
  void begin(RegFile::Version version, bool utf16) override {
    file.version = version;
    file.utf16 = utf16;
  }
  bool entry(const RegFileEntry &entry) override {
    file.entries.push_back(entry);
    return true;
  }
};

void expectSameEntries(const RegFile &got, const RegFile &want, const std::string &context) {
  EXPECT_EQ(got.version, want.version) << context;
  EXPECT_EQ(got.utf16, want.utf16) << context;
  ASSERT_EQ(got.entries.size(), want.entries.size()) << context;
  for (std::size_t i = 0; i < got.entries.size(); ++i) {
    const RegFileEntry &a = got.entries[i];
    const RegFileEntry &b = want.entries[i];
    EXPECT_TRUE(a.kind == b.kind && a.line == b.line && a.root == b.root && a.keyPath == b.keyPath &&
                a.valueName == b.valueName && a.type == b.type && a.data == b.data)
        << context << ": entry " << i << " (line " << b.line << ")";
  }
}

} // namespace

// A file on disk is decoded a piece at a time; whatever falls on the border between two pieces
// (a CR LF split in two, a lone CR, a continued hex line, a damaged line) reads exactly as the
// whole text does, with the same entries, lines and messages.
TEST(RegFileSource, ReadsPieceByPieceWhatTheWholeTextGives) {
  const std::string dir = ::testing::TempDir() + "tw-regfile-source";
  std::filesystem::create_directories(dir);
  const std::string header = "Windows Registry Editor Version 5.00";
  std::string body;
  for (int i = 0; i < 40; ++i) {
    body += "[HKEY_CURRENT_USER\\Software\\Piece " + std::to_string(i) + "]\n";
    body += "\"s\"=\"text \\\"" + std::to_string(i) + "\\\" \\\\ end\"\n";
    body += "\"h\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
            "  17,18,19,1a ; a comment\n";
    body += "\"d\"=dword:" + std::to_string(10000000 + i) + "\n";
  }
  for (const char *lineEnd : {"\r\n", "\n", "\r"}) {
    for (const bool damaged : {false, true}) {
      for (int shift = -4; shift <= 0; ++shift) {
        // A comment line long enough that the first lines of the body straddle the border.
        const std::size_t before = header.size() + std::strlen(lineEnd) + 1;
        const std::size_t pad = RegFileSource::PieceUnits - before - 2 + static_cast<std::size_t>(shift + 4);
        std::string text = header + "\n;" + std::string(pad, 'x') + "\n" + body + (damaged ? "\"bad\"=dword:xyz\n" : "");
        std::string withEnds;
        withEnds.reserve(text.size() + text.size() / 16);
        for (char c : text) {
          if (c == '\n')
            withEnds += lineEnd;
          else
            withEnds += c;
        }
        const std::string bytes = utf16File(withEnds);
        const std::string path = dir + "/piece.reg";
        std::ofstream(path, std::ios::binary) << bytes;
        const std::string context = "line end " + std::to_string(std::strlen(lineEnd)) + " shift " +
                                    std::to_string(shift) + (damaged ? " damaged" : "");

        Gathered whole;
        const RegFileResult wholeResult = readRegText(bytes, whole, "piece.reg");
        RegFileSource source;
        ASSERT_TRUE(source.open(path)) << context;
        Gathered pieces;
        const RegFileResult piecesResult = source.read(pieces, "piece.reg");
        EXPECT_EQ(static_cast<bool>(wholeResult), !damaged) << context << ": " << wholeResult.description();
        EXPECT_EQ(piecesResult.description(), wholeResult.description()) << context;
        EXPECT_EQ(piecesResult.status, wholeResult.status) << context;
        expectSameEntries(pieces.file, whole.file, context);
        // Reading again starts over.
        Gathered again;
        EXPECT_EQ(source.read(again, "piece.reg").description(), wholeResult.description()) << context;
        EXPECT_EQ(again.file.entries.size(), whole.file.entries.size()) << context;
      }
    }
  }
  // A file cut in the middle of a unit is refused with the line count the whole text gives.
  const std::string odd = utf16File(header + "\r\n;" + std::string(RegFileSource::PieceUnits, 'y') + "\r\n[HKEY_CURRENT_USER\\A]\r\n") + "x";
  std::ofstream(dir + "/odd.reg", std::ios::binary) << odd;
  RegFile notUsed;
  const RegFileResult wholeOdd = parseRegText(odd, notUsed, "odd.reg");
  RegFileSource source;
  ASSERT_TRUE(source.open(dir + "/odd.reg"));
  Gathered pieces;
  const RegFileResult oddResult = source.read(pieces, "odd.reg");
  EXPECT_EQ(oddResult.status, Status::BadEncoding);
  EXPECT_EQ(oddResult.line, 4u);
  EXPECT_EQ(oddResult.description(), wholeOdd.description());
  // 8-bit text, whose encoding only the whole file tells, reads as parseRegText reads it.
  const std::string latin = V5 + "[HKEY_CURRENT_USER\\Caf\xE9]\r\n";
  std::ofstream(dir + "/latin.reg", std::ios::binary) << latin;
  ASSERT_TRUE(source.open(dir + "/latin.reg"));
  Gathered eightBit;
  EXPECT_TRUE(source.read(eightBit, "latin.reg"));
  expectSameEntries(eightBit.file, parsed(latin), "8-bit");
  std::filesystem::remove_all(dir);
}
