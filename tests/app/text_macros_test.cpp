#include "app/text_macros.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace app {
namespace {

// 2014-09-14 22:30:05 UTC.
constexpr std::time_t kInstant = 1410733805;

// Runs each test in a zone two hours east of Greenwich, where kInstant is already
// 2014-09-15 00:30:05.
class MacroTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (tz) savedTz_ = tz;
    setenv("TZ", "UTC-2", 1);
    tzset();
    s_.title = "My %Author%";
    s_.subject = "Sub";
    s_.author = "Ann";
    s_.keywords = "k1, k2";
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", savedTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  std::string Expand(const std::string& text) const {
    return ExpandMacros(text, s_, [] { return kInstant; });
  }

  ConversionSettings s_ = DefaultConversionSettings();

private:
  bool hadTz_ = false;
  std::string savedTz_;
};

struct MacroCase {
  const char* text;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const MacroCase& c) {
  return os << c.text;
}

class Macros : public MacroTest, public ::testing::WithParamInterface<MacroCase> {};

TEST_P(Macros, Expand) {
  EXPECT_EQ(Expand(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Macros,
    ::testing::Values(
        MacroCase{"%LocalDate(YY-MM-DD)%", "2014-09-15"},
        MacroCase{"%LocalDate(DD-MM-YY)%", "15-09-2014"}, MacroCase{"%LocalTime%", "00:30:05"},
        MacroCase{"%Subject%|%Keywordes%", "Sub|k1, k2"},
        // The title's own %Author% is filled by the later step.
        MacroCase{"%Title%", "My Ann"}, MacroCase{"%title% %TITLE%", "%title% %TITLE%"},
        MacroCase{"%Keywords%", "%Keywords%"}, MacroCase{"%Author%%Author%", "AnnAnn"},
        MacroCase{"%Author%Author%", "AnnAuthor%"},
        MacroCase{"Page of %Author% on %LocalDate(DD-MM-YY)% at %LocalTime%",
                  "Page of Ann on 15-09-2014 at 00:30:05"},
        MacroCase{"no macros", "no macros"}, MacroCase{"", ""}));

TEST_F(MacroTest, EarlierTokensAreNotSeenAgain) {
  s_.author = "%Title%"; // %Title% was already replaced when %Author% is
  EXPECT_EQ(Expand("%Author%"), "%Title%");
  s_.title = "%LocalTime%";
  EXPECT_EQ(Expand("%Title%"), "00:30:05");
}

TEST_F(MacroTest, UsesTheClockGiven) {
  EXPECT_EQ(ExpandMacros("%LocalTime%", s_, [] { return kInstant + 3600 * 10 + 61; }), "10:31:06");
  EXPECT_EQ(ExpandMacros("%LocalTime%", s_).size(), 8u); // the real clock
}

TEST_F(MacroTest, ResultIsBoundedEvenWhenReplacementsMultiply) {
  s_.title.clear();
  for (int i = 0; i < 31; ++i)
    s_.title += "%Author%";
  s_.author = std::string(255, 'a');
  std::string text;
  for (int i = 0; i < 36; ++i)
    text += "%Title%";
  std::string out = Expand(text);
  EXPECT_EQ(out, std::string(kMaxExpandedChars, 'a'));

  s_.author = "\xC3\xBC"; // the cut never splits a character
  std::string many;
  for (int i = 0; i < 1100; ++i)
    many += "%Author%";
  out = Expand(many);
  EXPECT_EQ(out.size(), kMaxExpandedChars * 2);
}

struct BookmarkCase {
  int bookmark, sel, unit;
  int frame, frames;
  const char* path;
  int counter;
  const char* expected; // nullptr: no title
};

std::ostream& operator<<(std::ostream& os, const BookmarkCase& c) {
  return os << "bookmark=" << c.bookmark << " sel=" << c.sel << " unit=" << c.unit << " frame "
            << c.frame << "/" << c.frames << " " << c.path << " counter=" << c.counter;
}

class Bookmarks : public ::testing::TestWithParam<BookmarkCase> {};

TEST_P(Bookmarks, Title) {
  const BookmarkCase& c = GetParam();
  ConversionSettings s = DefaultConversionSettings();
  s.bookmark = c.bookmark;
  s.bookmarksel = c.sel;
  s.unitforfile = c.unit;
  auto title = BookmarkTitle(s, c.frame, c.frames, c.path, c.counter);
  if (!c.expected)
    EXPECT_FALSE(title.has_value()) << *title;
  else
    EXPECT_EQ(title.value_or("(none)"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Bookmarks,
    ::testing::Values(BookmarkCase{0, 2, 0, 0, 1, "/in/image1.jpg", 0, nullptr},
                      // Page numbers: four images per page start pages at counters 0, 4, 8.
                      BookmarkCase{1, 0, 0, 0, 1, "/in/a.jpg", 0, "1"},
                      BookmarkCase{1, 0, 0, 0, 1, "/in/a.jpg", 4, "5"},
                      BookmarkCase{1, 0, 1, 3, 5, "/in/a.tif", 8, "9"},
                      BookmarkCase{1, 1, 0, 0, 1, "/in/image1.jpg", 0, "image1"},
                      BookmarkCase{1, 1, 0, 0, 1, "/in/archive.tar.gz", 0, "archive.tar"},
                      BookmarkCase{1, 2, 0, 0, 1, "/in/image1.jpg", 0, "image1.jpg"},
                      BookmarkCase{1, 2, 0, 1, 5, "/in/image1.tif", 0, "image1.tif 2/5"},
                      BookmarkCase{1, 3, 0, 2, 5, "/scans/scan.tif", 0, "/scans/scan.tif 3/5"},
                      BookmarkCase{1, 3, 0, 0, 1, "/scans/scan.tif", 0, "/scans/scan.tif"},
                      // One entry per file: only the first frame is titled, with the bare name.
                      BookmarkCase{1, 2, 1, 0, 5, "/in/scan.tif", 0, "scan.tif"},
                      BookmarkCase{1, 2, 1, 1, 5, "/in/scan.tif", 1, nullptr},
                      BookmarkCase{1, 2, 0, 0, 1, "/in/M\xC3\xBCller.jpg", 0,
                                   "M\xC3\xBCller.jpg"}));

} // namespace
} // namespace app
