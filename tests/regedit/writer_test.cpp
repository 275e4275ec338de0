// The text the writer produces, value kind by value kind, compared with what the registry
// editor writes for the same data.

#include "registry/regfile/RegFileWriter.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
namespace regtype = platform::regtype;

namespace {

const std::string Header = "Windows Registry Editor Version 5.00\r\n";

/// The text of a file holding the key HKEY_CURRENT_USER\T with the one value given.
std::string fileWith(const platform::RegValue &value) {
  RegFileWriter writer;
  writer.beginKey(std::string_view("HKEY_CURRENT_USER\\T"));
  writer.writeValue(value);
  return textOfUtf16File(writer.finish());
}

std::string expectedFile(const std::string &valueLines) {
  return Header + "\r\n[HKEY_CURRENT_USER\\T]\r\n" + valueLines + "\r\n";
}

platform::RegValue value(std::string name, std::uint32_t type, std::vector<std::uint8_t> data) {
  return platform::RegValue{std::move(name), type, std::move(data)};
}

/// "xx,xx,...,xx" of `count` bytes counting up from 0.
std::vector<std::uint8_t> counting(std::size_t count) {
  std::vector<std::uint8_t> data(count);
  for (std::size_t i = 0; i < count; ++i)
    data[i] = static_cast<std::uint8_t>(i);
  return data;
}

std::string hexList(std::size_t from, std::size_t to) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = from; i < to; ++i) {
    if (!text.empty())
      text += ',';
    text += digits[(i >> 4) & 0xF];
    text += digits[i & 0xF];
  }
  return text;
}

} // namespace

TEST(RegFileWriter, FileBytesAreUtf16WithMarkAndCrlf) {
  RegFileWriter writer;
  writer.beginKey(std::string_view("HKEY_USERS"));
  const std::string bytes = writer.finish();
  const std::string expected("\xFF\xFE"
                             "W\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0 "
                             "\0V\0e\0r\0s\0i\0o\0n\0 \0"
                             "5\0.\0"
                             "0\0"
                             "0\0\r\0\n\0"
                             "\r\0\n\0[\0H\0K\0E\0Y\0_\0U\0S\0E\0R\0S\0]\0\r\0\n\0"
                             "\r\0\n\0",
                             2 + 2 * (38 + 2 + 12 + 2 + 2));
  EXPECT_EQ(bytes, expected);
}

TEST(RegFileWriter, StringsAndNamesEscapeQuotesBackslashesAndLineBreaks) {
  EXPECT_EQ(fileWith(value("", regtype::Sz, sz(u"C:\\x.exe"))),
            expectedFile("@=\"C:\\\\x.exe\"\r\n"));
  EXPECT_EQ(fileWith(value("say \"hi\"\r\n", regtype::Sz, sz(u"a\"b\rc\nd\\"))),
            expectedFile("\"say \\\"hi\\\"\\r\\n\"=\"a\\\"b\\rc\\nd\\\\\"\r\n"));
  EXPECT_EQ(fileWith(value("empty", regtype::Sz, sz(u""))), expectedFile("\"empty\"=\"\"\r\n"));
  // Text beyond ASCII, and a name outside the basic plane, pass through as UTF-16.
  EXPECT_EQ(fileWith(value("\xF0\x9F\x98\x80", regtype::Sz, sz(u"caf\u00e9 \u20ac"))),
            expectedFile("\"\xF0\x9F\x98\x80\"=\"caf\xC3\xA9 \xE2\x82\xAC\"\r\n"));
}

TEST(RegFileWriter, StringsThatTheQuotedFormWouldChangeAreWrittenAsHex) {
  // No terminating zero, a zero inside, an odd size, no data: hex(1) keeps every byte.
  EXPECT_EQ(fileWith(value("a", regtype::Sz, bytes({'h', 0, 'i', 0}))),
            expectedFile("\"a\"=hex(1):68,00,69,00\r\n"));
  EXPECT_EQ(fileWith(value("a", regtype::Sz, bytes({'h', 0, 0, 0, 'i', 0, 0, 0}))),
            expectedFile("\"a\"=hex(1):68,00,00,00,69,00,00,00\r\n"));
  EXPECT_EQ(fileWith(value("a", regtype::Sz, bytes({'h', 0, 0}))),
            expectedFile("\"a\"=hex(1):68,00,00\r\n"));
  EXPECT_EQ(fileWith(value("a", regtype::Sz, {})), expectedFile("\"a\"=hex(1):\r\n"));
}

TEST(RegFileWriter, DwordsOfFourBytesAreNumbersAndOthersHex) {
  EXPECT_EQ(fileWith(value("n", regtype::Dword, bytes({0x78, 0x56, 0x34, 0x12}))),
            expectedFile("\"n\"=dword:12345678\r\n"));
  EXPECT_EQ(fileWith(value("n", regtype::Dword, bytes({0xff, 0xff, 0xff, 0xff}))),
            expectedFile("\"n\"=dword:ffffffff\r\n"));
  EXPECT_EQ(fileWith(value("n", regtype::Dword, bytes({1, 2, 3}))),
            expectedFile("\"n\"=hex(4):01,02,03\r\n"));
  EXPECT_EQ(fileWith(value("n", regtype::Dword, {})), expectedFile("\"n\"=hex(4):\r\n"));
}

TEST(RegFileWriter, OtherTypesAreHexWithTheirTypeNumber) {
  EXPECT_EQ(fileWith(value("b", regtype::Binary, bytes({0, 0xab, 0x10}))),
            expectedFile("\"b\"=hex:00,ab,10\r\n"));
  EXPECT_EQ(fileWith(value("b", regtype::Binary, {})), expectedFile("\"b\"=hex:\r\n"));
  EXPECT_EQ(fileWith(value("e", regtype::ExpandSz, sz(u"%A%"))),
            expectedFile("\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"));
  EXPECT_EQ(fileWith(value("m", regtype::MultiSz, bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}))),
            expectedFile("\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"));
  EXPECT_EQ(fileWith(value("", regtype::None, bytes({1}))), expectedFile("@=hex(0):01\r\n"));
  EXPECT_EQ(fileWith(value("q", regtype::Qword, bytes({1, 0, 0, 0, 0, 0, 0, 0}))),
            expectedFile("\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"));
  EXPECT_EQ(fileWith(value("w", 0xffff0007u, bytes({7}))),
            expectedFile("\"w\"=hex(ffff0007):07\r\n"));
}

TEST(RegFileWriter, HexWrapsAfterTheCommaThatReaches77Columns) {
  // "a"=hex: takes 8 columns, each byte with its comma 3 more: 23 bytes reach column 77.
  EXPECT_EQ(fileWith(value("a", regtype::Binary, counting(23))),
            expectedFile("\"a\"=hex:" + hexList(0, 23) + "\r\n"));
  EXPECT_EQ(fileWith(value("a", regtype::Binary, counting(24))),
            expectedFile("\"a\"=hex:" + hexList(0, 23) + ",\\\r\n  " + hexList(23, 24) + "\r\n"));
  // Continuation lines hold 25 bytes after their two-blank indent.
  EXPECT_EQ(fileWith(value("a", regtype::Binary, counting(48))),
            expectedFile("\"a\"=hex:" + hexList(0, 23) + ",\\\r\n  " + hexList(23, 48) + "\r\n"));
  EXPECT_EQ(fileWith(value("a", regtype::Binary, counting(49))),
            expectedFile("\"a\"=hex:" + hexList(0, 23) + ",\\\r\n  " + hexList(23, 48) +
                         ",\\\r\n  " + hexList(48, 49) + "\r\n"));
  // The type tag counts: "a"=hex(2): is 11 columns, so 22 bytes fill the first line.
  EXPECT_EQ(fileWith(value("a", regtype::ExpandSz, counting(23))),
            expectedFile("\"a\"=hex(2):" + hexList(0, 22) + ",\\\r\n  " + hexList(22, 23) +
                         "\r\n"));
  // The escaped name counts, each escape as two columns: two quotes make an 11-column start
  // ("\"\""=hex:) where two letters make a 9-column one.
  EXPECT_EQ(fileWith(value("ab", regtype::Binary, counting(23))),
            expectedFile("\"ab\"=hex:" + hexList(0, 23) + "\r\n"));
  EXPECT_EQ(fileWith(value("\"\"", regtype::Binary, counting(23))),
            expectedFile("\"\\\"\\\"\"=hex:" + hexList(0, 22) + ",\\\r\n  " + hexList(22, 23) +
                         "\r\n"));
  // A name past the wrap column breaks after the first byte.
  const std::string longName(80, 'n');
  EXPECT_EQ(fileWith(value(longName, regtype::Binary, counting(3))),
            expectedFile("\"" + longName + "\"=hex:00,\\\r\n  01,02\r\n"));
}

TEST(RegFileWriter, KeysFollowEachOtherWithABlankLineAndValuesInOrder) {
  RegFileWriter writer;
  writer.beginKey(std::string_view("HKEY_LOCAL_MACHINE\\A"));
  writer.writeValue(value("x", regtype::Dword, bytes({1, 0, 0, 0})));
  writer.writeValue(value("", regtype::Sz, sz(u"d")));
  writer.beginKey(std::string_view("HKEY_LOCAL_MACHINE\\A\\B]C"));
  EXPECT_EQ(textOfUtf16File(writer.finish()),
            Header + "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:00000001\r\n@=\"d\"\r\n"
                     "\r\n[HKEY_LOCAL_MACHINE\\A\\B]C]\r\n\r\n");
}
