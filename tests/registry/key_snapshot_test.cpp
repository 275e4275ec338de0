#include "registry/KeySnapshot.h"

#include "registry/XmlStore.h"

#include "TestMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace tw {
namespace {

using platform::regtype::Binary;
using platform::regtype::Dword;
using platform::regtype::ExpandSz;
using platform::regtype::MultiSz;
using platform::regtype::Sz;
namespace regtype = platform::regtype;

using Bytes = std::vector<std::uint8_t>;

Bytes countingBytes(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

/// The attributes of an element as "NAME=value" texts, in document order.
std::vector<std::string> attributesOf(pugi::xml_node node) {
  std::vector<std::string> texts;
  for (pugi::xml_attribute attribute : node.attributes())
    texts.push_back(std::string(attribute.name()) + "=" + attribute.value());
  return texts;
}

class KeySnapshotTest : public ::testing::Test {
protected:
  test::TestMachine machine;
  pugi::xml_document store;
  pugi::xml_node record;

  void SetUp() override {
    resetXmlDocument(store, UndoStoreRootName);
    record = appendUndoRecord(store, {"Application Paths", "HKEY_LOCAL_MACHINE\\SOFTWARE\\K", "c:\\x.exe"});
  }

  /// Records the value `name` of HKEY_LOCAL_MACHINE\SOFTWARE\K and returns its ITEM.
  pugi::xml_node snapshotOne(const std::string &name) {
    SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", name);
    return record.last_child();
  }

  void setValue(const std::string &name, std::uint32_t type, const Bytes &data) {
    machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\K", name, type, data);
  }

  std::optional<std::pair<std::uint32_t, Bytes>> valueNow(const std::string &name) {
    return machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\K", name);
  }

  /// Writes a value with its data exactly as stored (text as UTF-16LE), creating the key.
  void setStored(const std::string &keyPath, const std::string &name, std::uint32_t type, const Bytes &data) {
    platform::RegKey key = 0;
    ASSERT_EQ(machine.registry().createKey(HKEY_LOCAL_MACHINE, keyPath, platform::access::KeyAllAccess, key), 0);
    EXPECT_EQ(machine.registry().setValue(key, name, type, data.data(), data.size(), platform::DataForm::Raw), 0);
    machine.registry().closeKey(key);
  }

  /// Every value of a key with its type and data exactly as stored, in enumeration order;
  /// nothing when the key does not exist.
  std::optional<std::vector<platform::RegValue>> storedValues(const std::string &keyPath) {
    platform::RegKey key = 0;
    if (machine.registry().openKey(HKEY_LOCAL_MACHINE, keyPath, platform::access::KeyRead, key) != 0)
      return std::nullopt;
    std::vector<platform::RegValue> values;
    platform::RegValue value;
    for (std::uint32_t i = 0; machine.registry().enumValue(key, i, value, platform::DataForm::Raw) == 0; ++i)
      values.push_back(value);
    machine.registry().closeKey(key);
    return values;
  }

  /// Deletes the key, then writes the record back from its saved and re-read text, the way it
  /// comes back after the program restarts.
  void restoreFromSavedText() {
    ASSERT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K"));
    DeleteRegKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE", "K");
    ASSERT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K"));
    pugi::xml_document reloaded;
    ASSERT_TRUE(parseXmlDocument(reloaded, xmlDocumentText(store), "Backup.xml", UndoStoreRootName));
    restoreRecord(undoRecordAt(reloaded, 0));
  }
};

TEST_F(KeySnapshotTest, ItemAttributesInOrder) {
  setValue("Path", Sz, test::textBytes("C:\\App"));
  pugi::xml_node item = snapshotOne("Path");
  EXPECT_EQ(attributesOf(item), (std::vector<std::string>{"SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K",
                                                          "NAME=Path", "TYPE=rdString",
                                                          "VALUE=C:\\\\App"}));
  EXPECT_EQ(attributesOf(record), (std::vector<std::string>{"NAME=Application Paths",
                                                            "TYPE=HKEY_LOCAL_MACHINE\\SOFTWARE\\K",
                                                            "PATH=c:\\x.exe"}));
}

TEST_F(KeySnapshotTest, TextsKeepTheirBackslashes) {
  setValue("one", Sz, test::textBytes("a\\b"));
  setValue("unc", Sz, test::textBytes("\\\\server\\share"));
  setValue("expand", ExpandSz, test::textBytes("%SystemRoot%\\x"));
  setValue("markup", Sz, test::textBytes("<a href=\"x\">&amp;'\t\r\n"));
  setValue("control", Sz, test::textBytes("\x01\x1F\x7F end"));
  EXPECT_STREQ(snapshotOne("one").attribute("VALUE").value(), "a\\\\b");
  EXPECT_STREQ(snapshotOne("unc").attribute("VALUE").value(), "\\\\\\\\server\\\\share");
  // An expandable text keeps the texts a plain one would have, and carries its exact form after them.
  EXPECT_EQ(attributesOf(snapshotOne("expand")),
            (std::vector<std::string>{"SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K", "NAME=expand", "TYPE=rdString",
                                      "VALUE=%SystemRoot%\\\\x",
                                      "RAW=2:2500530079007300740065006D0052006F006F00740025005C0078000000"}));
  snapshotOne("markup");
  EXPECT_FALSE(snapshotOne("control").attribute("RAW")) << "control characters survive the XML text";

  restoreFromSavedText();
  EXPECT_EQ(valueNow("one"), std::make_pair(Sz, test::textBytes("a\\b")));
  EXPECT_EQ(valueNow("unc"), std::make_pair(Sz, test::textBytes("\\\\server\\share")));
  EXPECT_EQ(valueNow("expand"), std::make_pair(ExpandSz, test::textBytes("%SystemRoot%\\x")))
      << "an expandable text stays expandable and unexpanded";
  EXPECT_EQ(valueNow("markup"), std::make_pair(Sz, test::textBytes("<a href=\"x\">&amp;'\t\r\n")));
  EXPECT_EQ(valueNow("control"), std::make_pair(Sz, test::textBytes("\x01\x1F\x7F end")));
}

TEST_F(KeySnapshotTest, IntegersAsEightHexDigits) {
  setValue("small", Dword, {0x00, 0x10, 0, 0});
  setValue("all", Dword, {0xFF, 0xFF, 0xFF, 0xFF});
  setValue("byte", Dword, {0xFF, 0, 0, 0});
  EXPECT_STREQ(snapshotOne("small").attribute("VALUE").value(), "00001000");
  EXPECT_STREQ(snapshotOne("all").attribute("VALUE").value(), "FFFFFFFF");
  pugi::xml_node byte = snapshotOne("byte");
  EXPECT_STREQ(byte.attribute("TYPE").value(), "rdInteger");
  EXPECT_STREQ(byte.attribute("VALUE").value(), "000000FF");

  restoreFromSavedText();
  EXPECT_EQ(valueNow("small"), std::make_pair(Dword, Bytes{0x00, 0x10, 0, 0}));
  EXPECT_EQ(valueNow("all"), std::make_pair(Dword, Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(valueNow("byte"), std::make_pair(Dword, Bytes{0xFF, 0, 0, 0}));
}

TEST_F(KeySnapshotTest, BinaryMarkersAfterEveryTwentyFifthByte) {
  setValue("b26", Binary, countingBytes(26));
  setValue("b27", Binary, countingBytes(27));
  setValue("b52", Binary, countingBytes(52));
  setValue("one", Binary, {0xAB});
  setValue("none", Binary, {});
  const std::string value26 = snapshotOne("b26").attribute("VALUE").value();
  EXPECT_EQ(value26.find('\\'), std::string::npos);
  EXPECT_EQ(value26.size(), 26u * 3 - 1);
  EXPECT_STREQ(snapshotOne("b27").attribute("VALUE").value(),
               "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,11,12,13,14,15,16,17,18,19,\\1A");
  const std::string value52 = snapshotOne("b52").attribute("VALUE").value();
  EXPECT_NE(value52.find("19,\\1A"), std::string::npos);
  EXPECT_NE(value52.find("32,\\33"), std::string::npos);
  EXPECT_EQ(std::count(value52.begin(), value52.end(), '\\'), 2);
  EXPECT_STREQ(snapshotOne("one").attribute("VALUE").value(), "AB");
  pugi::xml_node none = snapshotOne("none");
  EXPECT_STREQ(none.attribute("TYPE").value(), "rdBinary");
  EXPECT_STREQ(none.attribute("VALUE").value(), "");

  restoreFromSavedText();
  EXPECT_EQ(valueNow("b26"), std::make_pair(Binary, countingBytes(26)));
  EXPECT_EQ(valueNow("b27"), std::make_pair(Binary, countingBytes(27)));
  EXPECT_EQ(valueNow("b52"), std::make_pair(Binary, countingBytes(52)));
  EXPECT_EQ(valueNow("one"), std::make_pair(Binary, Bytes{0xAB}));
  EXPECT_EQ(valueNow("none"), std::make_pair(Binary, Bytes{})) << "zero-length binary stays binary";
}

TEST_F(KeySnapshotTest, PlainKindsCarryNoExactForm) {
  setValue("text", Sz, test::textBytes("Grüße\\x"));
  setValue("empty", Sz, test::textBytes(""));
  setValue("number", Dword, {0xFF, 0, 0, 0});
  setValue("bytes", Binary, countingBytes(27));
  setValue("no bytes", Binary, {});
  SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", "");
  std::vector<std::vector<std::string>> items;
  for (pugi::xml_node item : record.children("ITEM")) items.push_back(attributesOf(item));
  const std::string subKey = "SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K";
  EXPECT_EQ(items, (std::vector<std::vector<std::string>>{
                       {subKey, "NAME=text", "TYPE=rdString", "VALUE=Grüße\\\\x"},
                       {subKey, "NAME=empty", "TYPE=rdString", "VALUE="},
                       {subKey, "NAME=number", "TYPE=rdInteger", "VALUE=000000FF"},
                       {subKey, "NAME=bytes", "TYPE=rdBinary",
                        "VALUE=00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,11,12,13,14,15,16,17,18,19,\\1A"},
                       {subKey, "NAME=no bytes", "TYPE=rdBinary", "VALUE="},
                   }));
}

TEST_F(KeySnapshotTest, EveryOtherValueComesBackExactly) {
  const std::string key = "SOFTWARE\\K";
  const Bytes utf16 = {'a', 0, 'b', 0, 0, 0};
  setStored(key, "multi", MultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
  setStored(key, "qword", regtype::Qword, {1, 2, 3, 4, 5, 6, 7, 0x80});
  setStored(key, "none", regtype::None, {});
  setStored(key, "none with data", regtype::None, {0xDE, 0xAD});
  setStored(key, "big endian", regtype::DwordBigEndian, {0, 0, 0x10, 0});
  setStored(key, "private type", 0x12345678u, {9});
  setStored(key, "short number", Dword, {7, 1});
  setStored(key, "", ExpandSz, {'%', 0, 'x', 0, '%', 0, 0, 0});
  // Strings whose stored form a text cannot hold: an inner zero, no end zero, an odd byte, no
  // data at all, two end zeros, a lone surrogate.
  setStored(key, "inner zero", Sz, {'a', 0, 0, 0, 'b', 0, 0, 0});
  setStored(key, "unterminated", Sz, {'a', 0, 'b', 0});
  setStored(key, "odd", Sz, {'a', 0, 0, 0, 'x'});
  setStored(key, "no data", Sz, {});
  setStored(key, "two zeros", Sz, {'a', 0, 0, 0, 0, 0});
  setStored(key, "lone surrogate", Sz, {0x00, 0xD8, 'a', 0, 0, 0});
  setStored(key, "plain", Sz, utf16);
  const auto original = storedValues(key);
  ASSERT_TRUE(original);
  ASSERT_EQ(original->size(), 15u);

  SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\" + key, "");
  std::map<std::string, std::vector<std::string>> items;
  for (pugi::xml_node item : record.children("ITEM")) items[item.attribute("NAME").value()] = attributesOf(item);
  const std::string subKey = "SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K";
  // The four texts are what a reader without the exact form has always got.
  EXPECT_EQ(items["multi"], (std::vector<std::string>{subKey, "NAME=multi", "TYPE=rdString", "VALUE=",
                                                      "RAW=7:61000000620000000000"}));
  EXPECT_EQ(items["qword"], (std::vector<std::string>{subKey, "NAME=qword", "TYPE=rdString", "VALUE=",
                                                      "RAW=11:0102030405060780"}));
  EXPECT_EQ(items["none"], (std::vector<std::string>{subKey, "NAME=none", "TYPE=rdString", "VALUE=", "RAW=0:"}));
  EXPECT_EQ(items["private type"].back(), "RAW=305419896:09");
  EXPECT_EQ(items["short number"], (std::vector<std::string>{subKey, "NAME=short number", "TYPE=rdInteger",
                                                             "VALUE=00000107", "RAW=4:0701"}));
  EXPECT_EQ(items[""], (std::vector<std::string>{subKey, "NAME=", "TYPE=rdString", "VALUE=%x%",
                                                 "RAW=2:2500780025000000"}));
  EXPECT_EQ(items["inner zero"], (std::vector<std::string>{subKey, "NAME=inner zero", "TYPE=rdString",
                                                           "VALUE=a", "RAW=1:6100000062000000"}));
  for (const char *name : {"unterminated", "odd", "no data", "two zeros", "lone surrogate"})
    EXPECT_TRUE(items[name].back().starts_with("RAW=1:")) << name;
  EXPECT_EQ(items["plain"].size(), 4u);

  restoreFromSavedText();
  const auto restored = storedValues(key);
  ASSERT_TRUE(restored);
  ASSERT_EQ(restored->size(), original->size());
  for (std::size_t i = 0; i < original->size(); ++i) {
    const platform::RegValue &before = (*original)[i];
    const platform::RegValue &after = (*restored)[i];
    EXPECT_EQ(after.name, before.name);
    EXPECT_EQ(after.type, before.type) << "value '" << before.name << "'";
    EXPECT_EQ(after.data, before.data) << "value '" << before.name << "'";
  }
}

TEST_F(KeySnapshotTest, OtherKindsAndMissingValuesAsEmptyText) {
  setValue("multi", MultiSz, {'a', 0, 'b', 0, 0});
  setValue("", Sz, test::textBytes(""));
  pugi::xml_node multi = snapshotOne("multi");
  EXPECT_STREQ(multi.attribute("TYPE").value(), "rdString");
  EXPECT_STREQ(multi.attribute("VALUE").value(), "");
  EXPECT_TRUE(multi.attribute("RAW"));
  pugi::xml_node missing = snapshotOne("missing");
  EXPECT_EQ(attributesOf(missing), (std::vector<std::string>{"SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K",
                                                             "NAME=missing", "TYPE=rdString", "VALUE="}));
  // A missing key leaves no item at all.
  SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Nothing", "x");
  EXPECT_EQ(record.last_child(), missing);

  restoreFromSavedText();
  EXPECT_EQ(valueNow("multi"), std::make_pair(MultiSz, Bytes{'a', 0, 'b', 0, 0}));
  EXPECT_EQ(valueNow("missing"), std::make_pair(Sz, test::textBytes("")));
}

TEST_F(KeySnapshotTest, KeyTreeDepthFirst) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\K]
"v1"="1"
"v2"=dword:00000002
[HKEY_LOCAL_MACHINE\SOFTWARE\K\A]
"a"="a"
[HKEY_LOCAL_MACHINE\SOFTWARE\K\A\Deep]
"d"=hex:01
[HKEY_LOCAL_MACHINE\SOFTWARE\K\B]
"b"="b"
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Empty\Leaf]
"e"="e"
)");

  SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", "");
  std::vector<std::string> items;
  for (pugi::xml_node item : record.children("ITEM"))
    items.push_back(std::string(item.attribute("SUBKEY").value()) + "|" + item.attribute("NAME").value());
  EXPECT_EQ(items, (std::vector<std::string>{
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K|v1",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K|v2",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\A|a",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\A\\Deep|d",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\B|b",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\Empty|",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\Empty\\Leaf|e",
                   }));

  restoreFromSavedText();
  EXPECT_EQ(valueNow("v2"), std::make_pair(Dword, Bytes{2, 0, 0, 0}));
  EXPECT_EQ(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\A\\Deep", "d"), std::make_pair(Binary, Bytes{1}));
  EXPECT_EQ(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\Empty\\Leaf", "e"),
            std::make_pair(Sz, test::textBytes("e")));
}

TEST_F(KeySnapshotTest, KeysWithoutValuesComeBack) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\K]
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Bare]
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Mid\Leaf]
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Mid\Leaf\Empty]
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Full]
"v"="1"
[HKEY_LOCAL_MACHINE\SOFTWARE\K\Full\Empty]
)");
  SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", "");
  std::vector<std::vector<std::string>> items;
  for (pugi::xml_node item : record.children("ITEM")) items.push_back(attributesOf(item));
  const std::string k = "SUBKEY=HKEY_LOCAL_MACHINE\\SOFTWARE\\K";
  // A key without values is an item with SUBKEY alone, in its place in the depth-first order.
  EXPECT_EQ(items, (std::vector<std::vector<std::string>>{
                       {k},
                       {k + "\\Bare"},
                       {k + "\\Full", "NAME=v", "TYPE=rdString", "VALUE=1"},
                       {k + "\\Full\\Empty"},
                       {k + "\\Mid"},
                       {k + "\\Mid\\Leaf"},
                       {k + "\\Mid\\Leaf\\Empty"},
                   }));

  restoreFromSavedText();
  for (const char *path : {"SOFTWARE\\K\\Bare", "SOFTWARE\\K\\Full\\Empty", "SOFTWARE\\K\\Mid\\Leaf\\Empty"})
    EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, path)) << path;
  EXPECT_EQ(storedValues("SOFTWARE\\K\\Bare")->size(), 0u);
  EXPECT_EQ(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\K\\Full", "v"), std::make_pair(Sz, test::textBytes("1")));
  EXPECT_EQ(storedValues("SOFTWARE\\K")->size(), 0u) << "a key-only item writes no value";
}

TEST_F(KeySnapshotTest, RootNamesAndPathsInSubkey) {
  machine.setRawValue(HKEY_CURRENT_USER, "Software\\U", "u", Sz, test::textBytes("u"));
  // A path given without its leading backslash is still recorded as an absolute one.
  SnapshotToElement(record, HKEY_CURRENT_USER, "Software\\U", "u");
  EXPECT_STREQ(record.last_child().attribute("SUBKEY").value(), "HKEY_CURRENT_USER\\Software\\U");
  SnapshotToElement(record, HKEY_CURRENT_USER, "\\Software", "");
  EXPECT_STREQ(record.last_child().attribute("SUBKEY").value(), "HKEY_CURRENT_USER\\Software\\U");
}

TEST_F(KeySnapshotTest, UnreadableValueLeavesNoHalfItem) {
  setValue("good", Sz, test::textBytes("g"));
  setValue("long", Dword, {1, 2, 3, 4, 5});
  EXPECT_THROW(SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", "long"), ERegistryException);
  EXPECT_FALSE(record.child("ITEM"));
  EXPECT_THROW(SnapshotToElement(record, HKEY_LOCAL_MACHINE, "\\SOFTWARE\\K", ""), ERegistryException);
  std::vector<std::string> names;
  for (pugi::xml_node item : record.children("ITEM")) {
    names.push_back(item.attribute("NAME").value());
    EXPECT_TRUE(item.attribute("VALUE"));
  }
  EXPECT_EQ(names, std::vector<std::string>{"good"});
}

/// The message of the exception a restore throws, or "no exception".
template <typename Action> std::string restoreError(Action action) {
  try {
    action();
  } catch (const std::exception &error) {
    return error.what();
  }
  return "no exception";
}

TEST_F(KeySnapshotTest, RestoreCreatesKeysAndDefaultValues) {
  RestoreItem("HKEY_CURRENT_USER\\Software\\New\\Deeper", "", "", "");
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\New\\Deeper"));
  RestoreItem("HKEY_CURRENT_USER\\Software\\New", "", "rdString", "");
  EXPECT_EQ(machine.rawValue(HKEY_CURRENT_USER, "Software\\New", ""), std::make_pair(Sz, test::textBytes("")));
  // An unknown root name, an unknown type or an integer that is not hexadecimal cannot be given
  // back exactly: nothing is written (not under the classes root, not as 0), and the error says why.
  EXPECT_EQ(restoreError([] { RestoreItem("HKEY_SOMETHING\\.xyz", "v", "rdString", "01"); }),
            "Could not convert the record: the value 'v' of HKEY_SOMETHING\\.xyz is under 'HKEY_SOMETHING', "
            "which is not a registry root the program records");
  EXPECT_EQ(restoreError([] { RestoreItem("HKEY_CURRENT_USER\\Software\\Q", "v", "rdQword", "01"); }),
            "Could not convert the record: the value 'v' of HKEY_CURRENT_USER\\Software\\Q has the TYPE "
            "'rdQword', which the program does not know, and no RAW attribute");
  EXPECT_EQ(restoreError([] { RestoreItem("HKEY_CURRENT_USER\\Software\\New", "n", "rdInteger", "not hex"); }),
            "Could not convert the record: the value 'n' of HKEY_CURRENT_USER\\Software\\New is an rdInteger "
            "whose VALUE 'not hex' is not a hexadecimal number");
  EXPECT_FALSE(machine.keyExists(HKEY_CLASSES_ROOT, ".xyz"));
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\Q"));
  EXPECT_FALSE(machine.rawValue(HKEY_CURRENT_USER, "Software\\New", "n"));
  RestoreItem("HKEY_CURRENT_USER\\Software\\New", "low", "rdBinary", "1FF,\\100");
  EXPECT_EQ(machine.rawValue(HKEY_CURRENT_USER, "Software\\New", "low"), std::make_pair(Binary, Bytes{0xFF, 0}));
}

TEST_F(KeySnapshotTest, MalformedItemsFailWithoutWriting) {
  EXPECT_EQ(restoreError([] { RestoreItem("HKEY_CURRENT_USER\\Software\\M", "b", "rdBinary", "01,ZZ,02"); }),
            "'ZZ' is not a valid integer value");
  EXPECT_EQ(restoreError([] { RestoreItem("HKEY_CURRENT_USER\\Software\\M", "b", "rdBinary", "01,,02"); }),
            "'' is not a valid integer value");
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\M"));

  pugi::xml_document document;
  ASSERT_TRUE(parseXmlDocument(document,
                               "<TidewellRegistryCleaner><ELEMENT NAME='n' TYPE='t' PATH='p'>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\M' NAME='a' TYPE='rdString' VALUE='1'/>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\M' NAME='b' TYPE='rdString'/>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\M' NAME='c' TYPE='rdString' VALUE='3'/>"
                               "</ELEMENT><ELEMENT><ITEM NAME='x'/></ELEMENT>"
                               "<ELEMENT><ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\KeyOnly'/></ELEMENT>"
                               "</TidewellRegistryCleaner>",
                               "Backup.xml", UndoStoreRootName));
  EXPECT_EQ(restoreError([&] { restoreRecord(undoRecordAt(document, 0)); }),
            "Could not convert the record: an ITEM lacks its VALUE attribute");
  // Every item is checked before any is written: none of the record is.
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\M"));
  EXPECT_EQ(restoreError([&] { restoreRecord(undoRecordAt(document, 1)); }),
            "Could not convert the record: an ITEM lacks its SUBKEY attribute");
  EXPECT_EQ(restoreError([&] { restoreRecord(undoRecordAt(document, 2)); }), "no exception");
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\KeyOnly"));
}

TEST_F(KeySnapshotTest, ExactFormIsCheckedBeforeAnythingIsWritten) {
  const std::string damaged = "Could not convert the record: the RAW attribute of the value 'r' of "
                              "HKEY_CURRENT_USER\\Software\\R is damaged (";
  const std::pair<const char *, std::string> cases[] = {
      {"", "no colon after the value type)"},
      {"0700", "no colon after the value type)"},
      {":00", "value type '' is not a decimal number below 2^32)"},
      {"x7:00", "value type 'x7' is not a decimal number below 2^32)"},
      {"-1:00", "value type '-1' is not a decimal number below 2^32)"},
      {"4294967296:00", "value type '4294967296' is not a decimal number below 2^32)"},
      {"7:0", "odd number of hex digits in the data)"},
      {"7:00,01", "odd number of hex digits in the data)"},
      {"7:000G", "'0G' at data offset 2 is not a hex byte)"},
      {"7:00 1", "' 1' at data offset 2 is not a hex byte)"},
  };
  for (const auto &[raw, problem] : cases)
    EXPECT_EQ(restoreError([&] { RestoreItem("HKEY_CURRENT_USER\\Software\\R", "r", "rdString", "", raw); }),
              damaged + problem)
        << "RAW=\"" << raw << "\"";
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\R"));

  // A well-formed exact form stands for the value, whatever TYPE and VALUE say; lower-case hex
  // and the largest type are accepted.
  RestoreItem("HKEY_CURRENT_USER\\Software\\R", "r", "rdBinary", "not,hex", "4294967295:0a0B");
  EXPECT_EQ(machine.rawValue(HKEY_CURRENT_USER, "Software\\R", "r"), std::make_pair(0xFFFFFFFFu, Bytes{0x0A, 0x0B}));
  RestoreItem("HKEY_CURRENT_USER\\Software\\R", "", "", "", "0:");
  EXPECT_EQ(machine.rawValue(HKEY_CURRENT_USER, "Software\\R", ""), std::make_pair(regtype::None, Bytes{}));

  // In a record, the bad item keeps the whole record from being written, as any malformed item.
  pugi::xml_document document;
  ASSERT_TRUE(parseXmlDocument(document,
                               "<TidewellRegistryCleaner><ELEMENT NAME='n' TYPE='t' PATH='p'>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\S' NAME='a' TYPE='rdString' VALUE='' RAW='7:610000000000'/>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\S' NAME='b' TYPE='rdString' VALUE='' RAW='7:6'/>"
                               "<ITEM SUBKEY='HKEY_CURRENT_USER\\Software\\S' NAME='c' TYPE='rdString' VALUE='3'/>"
                               "</ELEMENT></TidewellRegistryCleaner>",
                               "Backup.xml", UndoStoreRootName));
  EXPECT_EQ(restoreError([&] { restoreRecord(undoRecordAt(document, 0)); }),
            "Could not convert the record: the RAW attribute of the value 'b' of HKEY_CURRENT_USER\\Software\\S "
            "is damaged (odd number of hex digits in the data)");
  EXPECT_FALSE(machine.rawValue(HKEY_CURRENT_USER, "Software\\S", "a"));
  EXPECT_FALSE(machine.rawValue(HKEY_CURRENT_USER, "Software\\S", "b"));
  EXPECT_FALSE(machine.rawValue(HKEY_CURRENT_USER, "Software\\S", "c"));
}

} // namespace
} // namespace tw

namespace tw {
namespace {

TEST(KeySnapshotNames, EveryNameTheUndoStoreSaysItHoldsComesBackExactly) {
  // Every control character, markup, and text the registry may hand over that is not UTF-8.
  std::vector<std::string> names;
  for (int c = 0; c < 32; ++c) names.push_back(std::string("a") + static_cast<char>(c) + "b");
  for (const char *text : {"<&>\"'", "\t\n\r lead and trail \n", "\xc3\xa9t\xc3\xa9", "\xed\xa0\x80 lone surrogate",
                           "\xff\xfe bytes", "]]>"})
    names.emplace_back(text);
  int held = 0;
  for (const std::string &name : names) {
    if (!undoStoreCanHold(name)) {
      EXPECT_NE(name.find('\0'), std::string::npos) << "only a NUL is beyond the undo store";
      continue;
    }
    ++held;
    pugi::xml_document store;
    resetXmlDocument(store, UndoStoreRootName);
    appendUndoRecord(store, {"n", "t", "p"}).append_child("ITEM").append_attribute("NAME").set_value(name.c_str());
    pugi::xml_document reread;
    ASSERT_TRUE(parseXmlDocument(reread, xmlDocumentText(store), "Backup.xml", UndoStoreRootName));
    EXPECT_EQ(std::string(undoRecordAt(reread, 0).child("ITEM").attribute("NAME").value()), name);
  }
  EXPECT_EQ(held, static_cast<int>(names.size()) - 1);
}

} // namespace
} // namespace tw
