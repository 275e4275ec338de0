// The overlay an action's registry changes are held in: its own reads see them at once, the
// registry below sees them only when they are applied, in the order they were made.
#include "registry/RegistryOverlay.h"

#include "platform/MemoryRegistry.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

namespace api = platform;
namespace error = platform::error;
using api::HKEY_CLASSES_ROOT;
using api::HKEY_LOCAL_MACHINE;

class RegistryOverlayTest : public ::testing::Test {
protected:
  std::unique_ptr<api::RegistryApi> below = api::makeMemoryRegistry();
  RegistryOverlay overlay{*below};

  void SetUp() override {
    for (const char *path : {"Software\\A\\B", "Software\\A\\C\\D", "Software\\Classes\\CLSID\\{X}"}) {
      api::RegKey key = 0;
      ASSERT_EQ(below->createKey(HKEY_LOCAL_MACHINE, path, api::access::KeyAllAccess, key), error::Success);
      below->closeKey(key);
    }
    set(*below, "Software\\A", "v1", "one");
    set(*below, "Software\\A", "v2", "two");
    set(*below, "Software\\A", "v3", "three");
  }

  static void set(api::RegistryApi &registry, const std::string &path, const std::string &name,
                  const std::string &text) {
    api::RegKey key = 0;
    ASSERT_EQ(registry.openKey(HKEY_LOCAL_MACHINE, path, api::access::KeyAllAccess, key), error::Success);
    EXPECT_EQ(registry.setValue(key, name, api::regtype::Sz, reinterpret_cast<const std::uint8_t *>(text.c_str()),
                                text.size() + 1),
              error::Success);
    registry.closeKey(key);
  }

  /// "sub-keys | values" of a key as `registry` enumerates them, or the error opening it gives.
  static std::string listing(api::RegistryApi &registry, const std::string &path, api::RegKey root = HKEY_LOCAL_MACHINE) {
    api::RegKey key = 0;
    if (long status = registry.openKey(root, path, api::access::KeyRead, key); status != error::Success)
      return "error " + std::to_string(status);
    std::string text;
    std::string name;
    for (std::uint32_t i = 0; registry.enumKey(key, i, name) == error::Success; ++i) text += name + " ";
    text += "|";
    api::RegValue value;
    for (std::uint32_t i = 0; registry.enumValue(key, i, value) == error::Success; ++i)
      text += " " + value.name + "=" + std::string(value.data.begin(), value.data.end() - 1);
    api::KeyInfo info;
    EXPECT_EQ(registry.queryInfoKey(key, info), error::Success);
    text += " (" + std::to_string(info.subKeyCount) + "," + std::to_string(info.valueCount) + ")";
    registry.closeKey(key);
    return text;
  }
};

TEST_F(RegistryOverlayTest, DeletionsAreSeenAboveAndReachTheRegistryOnlyWhenApplied) {
  api::RegKey a = 0;
  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyAllAccess, a), error::Success);
  EXPECT_EQ(overlay.deleteValue(a, "V2"), error::Success);
  EXPECT_EQ(overlay.deleteValue(a, "v2"), error::FileNotFound) << "deleted already";
  EXPECT_EQ(overlay.deleteKey(a, "C"), error::AccessDenied) << "it still has a sub-key";
  EXPECT_EQ(overlay.deleteKey(a, "c\\d"), error::Success);
  EXPECT_EQ(overlay.deleteKey(a, "C"), error::Success);
  EXPECT_EQ(overlay.deleteKey(a, "C"), error::FileNotFound);
  overlay.closeKey(a);

  const std::string before = "B C | v1=one v2=two v3=three (2,3)";
  EXPECT_EQ(listing(overlay, "Software\\A"), "B | v1=one v3=three (1,2)");
  EXPECT_EQ(listing(overlay, "Software\\A\\C"), "error 2");
  EXPECT_EQ(listing(*below, "Software\\A"), before);
  EXPECT_EQ(overlay.changeCount(), 3u);

  const RegistryOverlay::ApplyResult applied = overlay.apply();
  EXPECT_TRUE(applied.allApplied()) << applied.problem;
  EXPECT_EQ(applied.changes.size(), 3u);
  EXPECT_EQ(listing(*below, "Software\\A"), "B | v1=one v3=three (1,2)");
  EXPECT_EQ(overlay.changeCount(), 0u);
}

TEST_F(RegistryOverlayTest, AHandleOfADeletedKeyFailsAndDiscardingForgetsEverything) {
  api::RegKey b = 0, a = 0;
  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A\\B", api::access::KeyRead, b), error::Success);
  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyAllAccess, a), error::Success);
  ASSERT_EQ(overlay.deleteKey(a, "B"), error::Success);
  api::RegValue value;
  EXPECT_EQ(overlay.queryValue(b, "", value), error::KeyDeleted);
  EXPECT_EQ(overlay.closeKey(b), error::Success);

  // A key opened for reading only cannot delete.
  api::RegKey readOnly = 0;
  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyRead, readOnly), error::Success);
  EXPECT_EQ(overlay.deleteValue(readOnly, "v1"), error::AccessDenied);
  overlay.closeKey(readOnly);

  EXPECT_EQ(overlay.discardUnflushedChanges(), error::Success);
  EXPECT_EQ(listing(overlay, "Software\\A"), "B C | v1=one v2=two v3=three (2,3)");
  EXPECT_TRUE(overlay.apply().changes.empty());
  overlay.closeKey(a);
}

TEST_F(RegistryOverlayTest, KeysAndValuesMadeAboveAreReplayedInOrder) {
  api::RegKey made = 0;
  bool created = false;
  ASSERT_EQ(overlay.createKey(HKEY_LOCAL_MACHINE, "Software\\A\\Bb\\Deeper", api::access::KeyAllAccess, made, &created),
            error::Success);
  EXPECT_TRUE(created);
  set(overlay, "Software\\A\\Bb\\Deeper", "text", "caf\xc3\xa9");
  api::RegValue raw;
  ASSERT_EQ(overlay.queryValue(made, "TEXT", raw, api::DataForm::Raw), error::Success);
  EXPECT_EQ(raw.data, (std::vector<std::uint8_t>{'c', 0, 'a', 0, 'f', 0, 0xe9, 0, 0, 0}));
  overlay.closeKey(made);
  // A value replaced keeps its place; sub-keys made here are listed in their order.
  set(overlay, "Software\\A", "v2", "TWO");
  set(overlay, "Software\\A", "v4", "four");
  EXPECT_EQ(listing(overlay, "Software\\A"), "B Bb C | v1=one v2=TWO v3=three v4=four (3,4)");
  EXPECT_EQ(listing(overlay, "Software\\A\\BB\\deeper"), "| text=caf\xc3\xa9 (0,1)");
  EXPECT_EQ(listing(*below, "Software\\A\\Bb"), "error 2");
  // Opening a key that exists does not make it again.
  ASSERT_EQ(overlay.createKey(HKEY_LOCAL_MACHINE, "Software\\A\\B", api::access::KeyRead, made, &created), error::Success);
  EXPECT_FALSE(created);
  overlay.closeKey(made);

  ASSERT_TRUE(overlay.apply().allApplied());
  EXPECT_EQ(listing(*below, "Software\\A"), "B Bb C | v1=one v2=TWO v3=three v4=four (3,4)");
  EXPECT_EQ(listing(*below, "Software\\A\\Bb\\Deeper"), "| text=caf\xc3\xa9 (0,1)");
}

TEST_F(RegistryOverlayTest, TheClassesRootIsTheMachinesClassesKey) {
  api::RegKey clsid = 0;
  ASSERT_EQ(overlay.openKey(HKEY_CLASSES_ROOT, "CLSID", api::access::KeyAllAccess, clsid), error::Success);
  ASSERT_EQ(overlay.deleteKey(clsid, "{x}"), error::Success);
  overlay.closeKey(clsid);
  EXPECT_EQ(listing(overlay, "software\\classes\\clsid\\{X}"), "error 2");
  EXPECT_EQ(listing(overlay, "CLSID", HKEY_CLASSES_ROOT), "| (0,0)");
  EXPECT_EQ(listing(*below, "CLSID", HKEY_CLASSES_ROOT), "{X} | (1,0)");
}

TEST_F(RegistryOverlayTest, ChangesCarryTheTagOfTheirMomentAndARefusedOneIsNamed) {
  std::uintptr_t record = 1;
  overlay.setTagger([&record] { return record; });
  api::RegKey a = 0;
  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyAllAccess, a), error::Success);
  ASSERT_EQ(overlay.deleteValue(a, "v1"), error::Success);
  record = 2;
  ASSERT_EQ(overlay.deleteKey(a, "B"), error::Success);
  overlay.closeKey(a);
  // Meanwhile the key goes from the registry below by another way.
  api::RegKey belowA = 0;
  ASSERT_EQ(below->openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyAllAccess, belowA), error::Success);
  ASSERT_EQ(below->deleteKey(belowA, "B"), error::Success);
  below->closeKey(belowA);

  const RegistryOverlay::ApplyResult applied = overlay.apply();
  ASSERT_EQ(applied.changes.size(), 2u);
  EXPECT_EQ(applied.changes[0].tag, 1u);
  EXPECT_TRUE(applied.changes[0].applied);
  EXPECT_EQ(applied.changes[1].tag, 2u);
  EXPECT_FALSE(applied.changes[1].applied);
  EXPECT_EQ(applied.problem, "HKEY_LOCAL_MACHINE\\Software\\A\\B could not be removed: it does not exist (error 2)");
}

// The action names keys where they are stored; on a registry with two views the overlay says
// so, names where its keys are stored and refuses the 32-bit view instead of aliasing its keys.
TEST_F(RegistryOverlayTest, KeysAreNamedWhereTheyAreStoredAndThe32BitViewIsRefused) {
  ASSERT_TRUE(below->hasTwoViews());
  EXPECT_TRUE(overlay.hasTwoViews());
  set(*below, "Software\\A", "v1", "one");
  api::RegKey key = 0;
  ASSERT_EQ(below->createKey(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\A", api::access::KeyAllAccess, key),
            error::Success);
  below->closeKey(key);

  EXPECT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\A", api::access::KeyRead | api::access::Wow64_32Key, key),
            error::NotSupported);
  EXPECT_EQ(overlay.createKey(HKEY_LOCAL_MACHINE, "Software\\New", api::access::KeyAllAccess | api::access::Wow64_32Key,
                              key),
            error::NotSupported);

  ASSERT_EQ(overlay.openKey(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\A", api::access::KeyAllAccess, key),
            error::Success);
  api::RegKey root = 0;
  std::string path;
  ASSERT_EQ(overlay.storedKeyPath(key, root, path), error::Success);
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(path, "Software\\Wow6432Node\\A");
  api::RegKey made = 0;
  ASSERT_EQ(overlay.createKey(key, "Made", api::access::KeyAllAccess, made), error::Success);
  ASSERT_EQ(overlay.storedKeyPath(made, root, path), error::Success);
  EXPECT_EQ(path, "Software\\Wow6432Node\\A\\Made");
  overlay.closeKey(made);
  overlay.closeKey(key);
  // Nothing of this reached the registry below.
  EXPECT_EQ(listing(*below, "Software\\Wow6432Node\\A"), "| (0,0)");
}

} // namespace
} // namespace tw
