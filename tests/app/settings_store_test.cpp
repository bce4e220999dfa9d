#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;

namespace app {
namespace {

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

class SettingsStoreTest : public ::testing::Test {
protected:
  ScratchDir dir;
  std::string path = dir.file("Settings.ini");
  SettingsStore store{path};

  void Given(const std::string& text) { WriteFile(path, text); }
  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
      names.push_back(e.path().filename().string());
    return names;
  }
};

struct IntCase {
  const char* stored; // nullptr: key missing
  int expected;
};

std::ostream& operator<<(std::ostream& os, const IntCase& c) {
  return os << (c.stored ? c.stored : "(missing)");
}

class IntegerRule : public SettingsStoreTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(IntegerRule, ReadsLeadingDigits) {
  const IntCase& c = GetParam();
  Given(c.stored ? std::string("[Settings]\nquality=") + c.stored + "\n" : "[Settings]\n");
  EXPECT_EQ(store.ReadInt("quality", 75), c.expected) << (c.stored ? c.stored : "(missing)");
}

INSTANTIATE_TEST_SUITE_P(Values, IntegerRule,
                         ::testing::Values(IntCase{"12", 12}, IntCase{"12abc", 12},
                                           IntCase{"007", 7}, IntCase{"  42  ", 42},
                                           IntCase{"3.9", 3}, IntCase{"-5", 0}, IntCase{"-1", 0},
                                           IntCase{"+3", 0}, IntCase{"abc", 0}, IntCase{"0x1F", 0},
                                           IntCase{"99999999999999", INT_MAX}, IntCase{"", 75},
                                           IntCase{nullptr, 75}));

TEST_F(SettingsStoreTest, MissingFileOrSectionGivesDefaults) {
  EXPECT_EQ(store.ReadInt("exists", 2), 2);
  EXPECT_EQ(store.ReadText("second", "5", 32), "5");
  Given("[Other]\nexists=1\nsecond=9\n");
  EXPECT_EQ(store.ReadInt("exists", 2), 2);
  EXPECT_EQ(store.ReadText("second", "5", 32), "5");
}

TEST_F(SettingsStoreTest, KeysMatchInAnyLetterCase) {
  ASSERT_TRUE(store.WriteInt("hidemenu", 1));
  EXPECT_EQ(store.ReadInt("hideMenu", 0), 1);
  ASSERT_TRUE(store.WriteInt("HIDEMENU", 0));
  EXPECT_EQ(store.ReadInt("hideMenu", 1), 0);
  EXPECT_EQ(ReadFile(path), "[Settings]\nhidemenu=0\n");
}

TEST_F(SettingsStoreTest, TextReadsAreBoundedByCapacity) {
  ASSERT_TRUE(store.WriteText("title", std::string(300, 'a')));
  EXPECT_EQ(store.ReadText("title", "", 256), std::string(255, 'a'));
  EXPECT_EQ(store.ReadText("title", "", 32).size(), 31u);

  std::string umlauts;
  for (int i = 0; i < 300; ++i)
    umlauts += "\xC3\xBC";
  ASSERT_TRUE(store.WriteText("author", umlauts));
  std::string read = store.ReadText("author", "", 256);
  EXPECT_EQ(read, umlauts.substr(0, 255 * 2)); // 255 characters, none split

  Given(std::string("[Settings]\ntitle=ab\0cd\n", 23));
  EXPECT_EQ(store.ReadText("title", "", 256), "ab");
}

TEST_F(SettingsStoreTest, NegativeWriteReadsAsZero) {
  ASSERT_TRUE(store.WriteInt("outMode", -1));
  EXPECT_EQ(ReadFile(path), "[Settings]\noutMode=-1\n");
  EXPECT_EQ(store.ReadInt("outMode", 0), 0);
}

TEST_F(SettingsStoreTest, WriteIsAtomicAndKeepsModeAndLinks) {
  Given("; mine\n[Settings]\nlog=0\n");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  std::string real = dir.file("real.ini");
  fs::rename(path, real);
  fs::create_symlink(real, path);

  ASSERT_TRUE(store.WriteInt("log", 1));
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(ReadFile(real), "; mine\n[Settings]\nlog=1\n");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left behind.
  auto names = FilesInDir();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Settings.ini", "real.ini"}));
}

TEST_F(SettingsStoreTest, MissingFoldersAreCreated) {
  SettingsStore nested(dir.file("a/b/pictofold/Settings.ini"));
  ASSERT_TRUE(nested.WriteText("input", "/srv/in"));
  EXPECT_EQ(nested.ReadText("input", "", 256), "/srv/in");
}

TEST_F(SettingsStoreTest, UnwritableLocationFailsWithoutDamage) {
  WriteFile(dir.file("plain"), "x");
  SettingsStore blocked(dir.file("plain/Settings.ini"));
  EXPECT_FALSE(blocked.WriteInt("log", 1));
  EXPECT_EQ(ReadFile(dir.file("plain")), "x");
}

TEST_F(SettingsStoreTest, OversizedFileIsNeitherReadNorReplaced) {
  std::string big = "[Settings]\nquality=5\n" + std::string(kMaxIniFileBytes, ';');
  Given(big);
  EXPECT_EQ(store.ReadInt("quality", 75), 75);
  EXPECT_FALSE(store.WriteInt("quality", 6));
  EXPECT_EQ(ReadFile(path), big);
}

TEST_F(SettingsStoreTest, DirectoryInPlaceOfFileIsRefused) {
  fs::create_directory(path);
  EXPECT_EQ(store.ReadInt("quality", 75), 75);
  EXPECT_FALSE(store.WriteInt("quality", 6));
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(SettingsStoreTest, FifoInPlaceOfFileDoesNotHang) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(store.ReadInt("quality", 75), 75);
  EXPECT_FALSE(store.WriteInt("quality", 6));
}

TEST_F(SettingsStoreTest, WriteManyIsOneUpdate) {
  ASSERT_TRUE(store.WriteMany({{"a", "1"}, {"b", "x y"}, {"A", "2"}}));
  EXPECT_EQ(ReadFile(path), "[Settings]\na=2\nb=x y\n");
  // One unusable key leaves the file as it was.
  EXPECT_FALSE(store.WriteMany({{"c", "3"}, {"bad=key", "4"}}));
  EXPECT_EQ(ReadFile(path), "[Settings]\na=2\nb=x y\n");
}

TEST(SettingsPath, PortableFileBesideExecutableWins) {
  ScratchDir exe;
  ScratchDir config;
  EXPECT_EQ(SettingsStore::PathFor(exe.path().string(), config.path().string()),
            config.path().string() + "/pictofold/Settings.ini");
  WriteFile(exe.file("Settings.ini"), "");
  EXPECT_EQ(SettingsStore::PathFor(exe.path().string() + "/", config.path().string()),
            exe.file("Settings.ini"));
  EXPECT_EQ(SettingsStore::PathFor("", "/home/u/.config/"),
            "/home/u/.config/pictofold/Settings.ini");
}

TEST(SettingsPath, DefaultFollowsXdgConfigHome) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const char* oldHome = std::getenv("HOME");
  std::string savedXdg = oldXdg ? oldXdg : "";
  std::string savedHome = oldHome ? oldHome : "";

  setenv("XDG_CONFIG_HOME", "/tmp/xdg-conf", 1);
  EXPECT_EQ(SettingsStore::DefaultPath(), "/tmp/xdg-conf/pictofold/Settings.ini");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(SettingsStore::DefaultPath(), "/home/someone/.config/pictofold/Settings.ini");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsStore::DefaultPath(), "/home/someone/.config/pictofold/Settings.ini");

  if (oldXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

} // namespace
} // namespace app
