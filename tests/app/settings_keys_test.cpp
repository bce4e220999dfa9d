#include "app/settings_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "app/conversion_settings.h"
#include "app/settings_store.h"
#include "platform/paths.h"
#include "test_support.h"

namespace app {
namespace {

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

struct DefaultCase {
  const char* key;
  const char* value; // the default as the program reads it; "~/" is the home folder
};

// Every key of the settings file with its default.
const DefaultCase kDefaults[] = {
    {"outMode", "0"},     {"outPath0", ""},      {"outPath1", ""},     {"outPath2", ""},
    {"input", ""},        {"doutput", ""},       {"subdir", "0"},      {"del_success", "0"},
    {"keepsub", "0"},     {"winstart", "0"},     {"autorun", "0"},     {"runsec", "0"},
    {"second", "5"},      {"after", "0"},        {"exists", "2"},      {"priority", "2"},
    {"log", "0"},         {"logpath", ""},       {"openDir", "~/"},    {"OpenFile", "~/"},
    {"colorTif", "4"},    {"grayTif", "4"},      {"bwTif", "4"},       {"bSkew", "0"},
    {"quality", "75"},    {"lossless", "1"},     {"autoRotate", "1"},  {"title", ""},
    {"author", ""},       {"subject", ""},       {"keywords", ""},     {"creator", ""},
    {"producer", ""},     {"security", "0"},     {"user", ""},         {"owner", ""},
    {"level", "0"},       {"print", "0"},        {"copy", "0"},        {"modify", "0"},
    {"document", "0"},    {"zoom", "0"},         {"resize", "0"},      {"center", "0"},
    {"fullscreen", "0"},  {"hideMenu", "0"},     {"hideTool", "0"},    {"hideControl", "0"},
    {"bookmark", "0"},    {"bookmarksel", "0"},  {"unitforfile", "0"}, {"header", "0"},
    {"hpos", "0"},        {"hcolor", "0"},       {"hWatermark", ""},   {"footer", "0"},
    {"fpos", "0"},        {"fcolor", "0"},       {"fWatermark", ""},   {"text", "0"},
    {"tpos", "4"},        {"tcolor", "0"},       {"tsize", "12"},      {"tWatermark", ""},
    {"image", "0"},       {"imgpos", "4"},       {"imgWidth", "100"},  {"imgHeight", "100"},
    {"imgWatermark", ""}, {"font", "Helvetica"}, {"imgFit", "0"},      {"pageRotate", "0"},
    {"xdpi", "72"},       {"ydpi", "72"},        {"layout", "1"},      {"order", "0"},
    {"repeat", "0"},      {"border", "0"},       {"mTop", "0"},        {"mLeft", "0"},
    {"mRight", "0"},      {"mBottom", "0"},      {"pageSize", "0"},    {"page_W", "0"},
    {"page_H", "0"},
};

std::string Expected(const char* v) {
  std::string s = v;
  if (s == "~/") return platform::HomeDir() + "/";
  return s;
}

std::ostream& operator<<(std::ostream& os, const DefaultCase& c) {
  return os << c.key;
}

class KeyDefault : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(KeyDefault, EmptyFileReadsTheDefault) {
  const DefaultCase& c = GetParam();
  const SettingKey* key = FindSettingKey(c.key);
  ASSERT_NE(key, nullptr) << c.key;
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  std::string read = key->isText() ? store.ReadText(*key) : std::to_string(store.ReadInt(*key));
  EXPECT_EQ(read, Expected(c.value));

  if (key->isConversion()) {
    ConversionSettings s = LoadConversionSettings(store);
    std::string field = key->textField ? s.*key->textField : std::to_string(s.*key->intField);
    EXPECT_EQ(field, Expected(c.value));
  }
}

INSTANTIATE_TEST_SUITE_P(AllKeys, KeyDefault, ::testing::ValuesIn(kDefaults),
                         [](const auto& info) { return std::string(info.param.key); });

TEST(SettingKeys, TableHoldsEachKeyOnceAndConversionKeysColorTifToPageH) {
  std::set<std::string> expected;
  for (const auto& c : kDefaults)
    expected.insert(c.key);
  std::set<std::string> names;
  for (const SettingKey& k : kSettingKeys)
    EXPECT_TRUE(names.insert(std::string(k.name)).second);
  EXPECT_EQ(names, expected);

  bool inside = false;
  for (const SettingKey& k : kSettingKeys) {
    if (k.name == "colorTif") inside = true;
    EXPECT_EQ(k.isConversion(), inside) << k.name;
    if (k.name == "page_H") inside = false;
  }
  EXPECT_EQ(FindSettingKey("HIDEMENU"), FindSettingKey("hideMenu"));
  EXPECT_EQ(FindSettingKey("nosuchkey"), nullptr);
}

ConversionSettings Changed() {
  ConversionSettings s = DefaultConversionSettings();
  s.colorTif = 1;
  s.quality = 33;
  s.title = "Trip \xC3\xBC";
  s.producer = "Me";
  s.user = "pw=with=equals";
  s.hideMenu = 1;
  s.hcolor = 0x00FF8000;
  s.hWatermark = "%Title% - %LocalTime%";
  s.layout = 4;
  s.pageSize = 7;
  s.page_W = 700;
  s.page_H = 900;
  return s;
}

TEST(ConversionSettingsStore, SaveThenLoadGivesTheSameCopy) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  ConversionSettings s = Changed();
  ASSERT_TRUE(SaveConversionSettings(store, s));
  EXPECT_EQ(LoadConversionSettings(store), s);
  std::string file = ReadFile(store.path());
  EXPECT_NE(file.find("\nhidemenu=1\n"), std::string::npos);
  EXPECT_NE(file.find("\nhidetool=0\n"), std::string::npos);

  ConversionSettings monitor = LoadConversionSettings(store, ProducerMode::kExclude);
  EXPECT_EQ(monitor.producer, "");
  EXPECT_EQ(monitor.title, s.title);
}

TEST(ConversionSettingsStore, CustomSizeIsWrittenOnlyForCustomPages) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  ConversionSettings s = Changed();
  s.pageSize = 2;
  ASSERT_TRUE(SaveConversionSettings(store, s));
  std::string file = ReadFile(store.path());
  EXPECT_EQ(file.find("page_W"), std::string::npos);
  EXPECT_EQ(file.find("page_H"), std::string::npos);
}

TEST(ConversionSettingsStore, SavingOnePageChangesOnlyItsKeys) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  WriteFile(store.path(), "[Settings]\r\nquality=10\r\ntitle=Old\r\noutMode=1\r\n");
  ConversionSettings s = Changed();
  ASSERT_TRUE(SaveConversionSettings(store, s, SettingGroup::kInfo));
  EXPECT_EQ(ReadFile(store.path()),
            "[Settings]\r\nquality=10\r\ntitle=Trip \xC3\xBC\r\noutMode=1\r\n"
            "author=\r\nsubject=\r\nkeywords=\r\ncreator=\r\nproducer=Me\r\n");
}

TEST(ConversionSettingsStore, RunKeysAreReadStraightFromTheFile) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  EXPECT_EQ(ReadExistingFilePolicy(store), ExistingFilePolicy::kCreateNew);
  EXPECT_EQ(ReadAfterAction(store), AfterAction::kDoNothing);
  EXPECT_EQ(ReadOutputMode(store), OutputMode::kMerge);
  ASSERT_TRUE(store.WriteMany({{"exists", "3"}, {"after", "6"}, {"outMode", "-1"}}));
  EXPECT_EQ(ReadExistingFilePolicy(store), ExistingFilePolicy::kAppend);
  EXPECT_EQ(ReadAfterAction(store), AfterAction::kOpenOutput);
  EXPECT_EQ(ReadOutputMode(store), OutputMode::kMerge);
}

TEST(Dpi, ComboTextsAreNormalised) {
  const std::pair<const char*, int> cases[] = {
      {"50", 72},   {"5000", 1200}, {"Remain unchanged", 0}, {"72(Reader)", 72},
      {"300", 300}, {"1", 72},      {"1200", 1200},          {"0", 0}};
  for (const auto& [text, dpi] : cases)
    EXPECT_EQ(NormaliseDpi(text), dpi) << text;
}

struct ValidationCase {
  const char* key;
  const char* value;
  bool ok;
};

std::ostream& operator<<(std::ostream& os, const ValidationCase& c) {
  return os << c.key << "=" << c.value;
}

class Validation : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(Validation, AcceptsOnlyValuesTheKeyCanHold) {
  const ValidationCase& c = GetParam();
  const SettingKey* key = FindSettingKey(c.key);
  ASSERT_NE(key, nullptr);
  auto error = ValidateSettingValue(*key, c.value);
  EXPECT_EQ(!error.has_value(), c.ok)
      << c.key << "=" << c.value << ": " << error.value_or("accepted");
  if (error) {
    EXPECT_NE(error->find(c.key), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, Validation,
    ::testing::Values(
        ValidationCase{"quality", "100", true}, ValidationCase{"quality", "101", false},
        ValidationCase{"quality", "-1", false}, ValidationCase{"quality", "7x", false},
        ValidationCase{"quality", "", false}, ValidationCase{"tsize", "0", false},
        ValidationCase{"tsize", "1", true}, ValidationCase{"layout", "9", true},
        ValidationCase{"layout", "3", false}, ValidationCase{"outMode", "2", true},
        ValidationCase{"outMode", "3", false}, ValidationCase{"tpos", "8", true},
        ValidationCase{"tpos", "9", false}, ValidationCase{"hcolor", "16777215", true},
        ValidationCase{"hcolor", "16777216", false}, ValidationCase{"bSkew", "2", false},
        ValidationCase{"xdpi", "1200", true}, ValidationCase{"page_W", "99999", true},
        ValidationCase{"page_W", "100000", false}, ValidationCase{"second", "120", true},
        ValidationCase{"second", "1200", false}, ValidationCase{"second", "5s", false},
        ValidationCase{"title", "Holiday \xC3\xBC", true},
        ValidationCase{"title", "two\nlines", false}));

TEST(Validation, TextLengthCountsCharacters) {
  const SettingKey& title = *FindSettingKey("title");
  std::string umlauts;
  for (int i = 0; i < 255; ++i)
    umlauts += "\xC3\xBC";
  EXPECT_FALSE(ValidateSettingValue(title, umlauts).has_value());
  EXPECT_TRUE(ValidateSettingValue(title, umlauts + "x").has_value());
}

TEST(Validation, AssignmentTextsFromTheCommandLine) {
  SettingAssignment a = ParseSettingAssignment("hidemenu=1");
  ASSERT_NE(a.key, nullptr) << a.error;
  EXPECT_EQ(a.key->name, "hideMenu");
  EXPECT_EQ(a.value, "1");
  a = ParseSettingAssignment("title=a=b");
  ASSERT_NE(a.key, nullptr) << a.error;
  EXPECT_EQ(a.value, "a=b");
  a = ParseSettingAssignment("title=");
  EXPECT_NE(a.key, nullptr) << a.error;
  for (const char* bad : {"quality", "=5", "nosuch=1", "quality=200"}) {
    a = ParseSettingAssignment(bad);
    EXPECT_EQ(a.key, nullptr) << bad;
    EXPECT_FALSE(a.error.empty()) << bad;
  }
  EXPECT_NE(ParseSettingAssignment("nosuch=1").error.find("nosuch"), std::string::npos);
}

TEST(Validation, AssignSetsTheNamedField) {
  ConversionSettings s = DefaultConversionSettings();
  EXPECT_TRUE(AssignConversionSetting(s, *FindSettingKey("QUALITY"), "90"));
  EXPECT_TRUE(AssignConversionSetting(s, *FindSettingKey("hWatermark"), "%Title%"));
  EXPECT_FALSE(AssignConversionSetting(s, *FindSettingKey("outMode"), "1"));
  EXPECT_EQ(s.quality, 90);
  EXPECT_EQ(s.hWatermark, "%Title%");
}

} // namespace
} // namespace app
