#include "app/ini_document.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace app {
namespace {

TEST(IniDocument, ChangingOneKeyKeepsEveryOtherByte) {
  const std::string before = "; written by hand\r\n"
                             "[Other]\r\n"
                             "quality=10\r\n"
                             "\r\n"
                             "[settings]\r\n"
                             "  Quality = 50   ; not a comment, part of the value\r\n"
                             "title=Holiday\r\n"
                             "quality=99\r\n"
                             "\r\n"
                             "[Tail]\r\n"
                             "x=1";
  IniDocument doc = IniDocument::Parse(before);
  ASSERT_TRUE(doc.Set("Settings", "QUALITY", "80"));
  ASSERT_TRUE(doc.Set("Settings", "author", "Ann"));
  const std::string after = "; written by hand\r\n"
                            "[Other]\r\n"
                            "quality=10\r\n"
                            "\r\n"
                            "[settings]\r\n"
                            "  Quality =80\r\n"
                            "title=Holiday\r\n"
                            "quality=99\r\n"
                            "author=Ann\r\n"
                            "\r\n"
                            "[Tail]\r\n"
                            "x=1";
  EXPECT_EQ(doc.Serialize(), after);
  EXPECT_EQ(doc.Get("Other", "quality"), "10");
  EXPECT_EQ(doc.Get("SETTINGS", "quality"), "80");
}

TEST(IniDocument, LookupRules) {
  IniDocument doc = IniDocument::Parse("\xEF\xBB\xBF"
                                       "top=0\n"
                                       "[Settings]\n"
                                       "hidemenu=1\n"
                                       "# comment=5\n"
                                       ";title=no\n"
                                       "empty=\n"
                                       "spaced =  a b  \n"
                                       "=orphan\n"
                                       "[Settings]\n"
                                       "later=2\n");
  EXPECT_EQ(doc.Get("Settings", "hideMenu"), "1");
  EXPECT_EQ(doc.Get("Settings", "HIDEMENU"), "1");
  EXPECT_EQ(doc.Get("Settings", "title"), std::nullopt);
  EXPECT_EQ(doc.Get("Settings", "# comment"), std::nullopt);
  EXPECT_EQ(doc.Get("Settings", "empty"), "");
  EXPECT_EQ(doc.Get("Settings", "spaced"), "a b");
  EXPECT_EQ(doc.Get("Settings", "top"), std::nullopt);   // before any section
  EXPECT_EQ(doc.Get("Settings", "later"), std::nullopt); // only the first section counts
  EXPECT_EQ(doc.Get("Missing", "hidemenu"), std::nullopt);
}

TEST(IniDocument, SectionIsAddedToFileWithoutIt) {
  IniDocument doc = IniDocument::Parse("[Other]\nkey=1");
  ASSERT_TRUE(doc.Set("Settings", "log", "1"));
  EXPECT_EQ(doc.Serialize(), "[Other]\nkey=1\n\n[Settings]\nlog=1\n");

  IniDocument empty;
  ASSERT_TRUE(empty.Set("Settings", "log", "0"));
  EXPECT_EQ(empty.Serialize(), "[Settings]\nlog=0\n");
}

TEST(IniDocument, ValuesCannotInjectLinesAndBadNamesAreRefused) {
  IniDocument doc;
  ASSERT_TRUE(doc.Set("Settings", "title", "a\n[Evil]\r\nlog=1"));
  EXPECT_EQ(doc.Get("Settings", "title"), "a [Evil]  log=1");
  EXPECT_EQ(doc.Get("Settings", "log"), std::nullopt);
  EXPECT_EQ(doc.Get("Evil", "log"), std::nullopt);
  for (const char* bad : {"", "a=b", "x\ny", "[s", ";c", " lead", "a]"})
    EXPECT_FALSE(doc.Set("Settings", bad, "1")) << bad;
  EXPECT_FALSE(doc.Set("Set]tings", "key", "1"));
}

TEST(IniDocument, LongValuesAreCutAtACharacterAndLongLinesAreNotKeys) {
  IniDocument doc;
  std::string umlauts;
  for (size_t i = 0; i < kMaxIniValueBytes; ++i)
    umlauts += "\xC3\xBC";
  ASSERT_TRUE(doc.Set("Settings", "title", umlauts));
  auto v = doc.Get("Settings", "title");
  ASSERT_TRUE(v);
  EXPECT_LE(v->size(), kMaxIniValueBytes);
  EXPECT_EQ(v->size() % 2, 0u);

  std::string longLine = "[Settings]\nhuge=" + std::string(kMaxIniLineBytes, 'x') + "\nok=1\n";
  IniDocument parsed = IniDocument::Parse(longLine);
  EXPECT_EQ(parsed.Get("Settings", "huge"), std::nullopt);
  EXPECT_EQ(parsed.Get("Settings", "ok"), "1");
  // The long line is kept as it was.
  EXPECT_EQ(parsed.Serialize(), longLine);
}

TEST(IniDocument, RemoveTakesOnlyThatLine) {
  IniDocument doc = IniDocument::Parse("[Settings]\na=1\nb=2\nc=3");
  EXPECT_TRUE(doc.Remove("settings", "B"));
  EXPECT_FALSE(doc.Remove("settings", "B"));
  EXPECT_EQ(doc.Serialize(), "[Settings]\na=1\nc=3");
  EXPECT_TRUE(doc.Remove("settings", "c"));
  EXPECT_EQ(doc.Serialize(), "[Settings]\na=1");
}

TEST(IniDocument, GarbageParsesAndSurvivesAWrite) {
  std::mt19937 rng(7);
  std::string bytes(20000, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng());
  IniDocument doc = IniDocument::Parse(bytes);
  ASSERT_TRUE(doc.Set("Settings", "quality", "60"));
  std::string out = doc.Serialize();
  EXPECT_EQ(IniDocument::Parse(out).Get("Settings", "quality"), "60");
  EXPECT_EQ(out.substr(0, 100), bytes.substr(0, 100));
}

} // namespace
} // namespace app
