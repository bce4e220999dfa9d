// Query keys 250 (width of the widest line) and 251 (height of the block).
#include <string>

#include "text_test_util.h"

namespace {

using texttest::Document;
using texttest::Measure;

struct MeasureCase {
  const char* name;
  int key, code, size;
  std::string text;
  int expected;
};

std::string ManyLines(int n) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += "x\n";
  return s;
}

const MeasureCase kCases[] = {
    // Published advance widths of the standard fonts, read at size 1000.
    {"HelveticaA", 250, 100, 1000, "a", 556},
    {"TimesRomanA", 250, 200, 1000, "a", 444},
    {"CourierEveryGlyph", 250, 300, 1000, "aW.i ", 3000},
    {"SymbolAlpha", 250, 400, 1000, "a", 631},
    {"TruncatedTowardZero", 250, 100, 30, "Page", 70},
    {"WidestLineCounts", 250, 300, 10, "ab\nabcd\na", 24},
    {"CurrentFontAndSize", 250, 0, 0, "aaaaaaaaaa", 88},
    {"OneLineHeight", 251, 100, 30, "Foot", 30},
    {"FinalLineFeedAddsNoLine", 251, 100, 30, "A\n", 30},
    {"TwoLines", 251, 100, 30, "A\nB", 68},
    {"ThreeLines", 251, 100, 30, "A\n\nB", 102},
    {"HeightCurrentSize", 251, 0, 0, "x\ny", 40},
    {"OnlyFirst1024Lines", 251, 100, 10, ManyLines(1100), 1024 * 14},
    {"EmptyText", 250, 100, 10, "", 0},
    {"NegativeSize", 250, 100, -1, "a", 0},
    {"CodeOutsideTable", 250, 104, 10, "a", 0},
    {"NamedCodeNotInTable", 251, 1, 10, "a", 0},
};

void PrintTo(const MeasureCase& c, std::ostream* os) {
  *os << c.name;
}

class MeasureTest : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(MeasureTest, GivesPoints) {
  Document doc;
  const MeasureCase& c = GetParam();
  EXPECT_EQ(Measure(doc.h(), c.key, c.code, c.size, c.text.c_str()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Text, MeasureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Measure, MissingTextAndBadHandleGiveZero) {
  Document doc;
  EXPECT_EQ(Measure(doc.h(), 250, 100, 10, nullptr), 0);
  EXPECT_EQ(Measure(doc.h() + 1, 250, 100, 10, "a"), 0);
}

TEST(Measure, FollowsTheFontSelectedByOption) {
  Document doc;
  EXPECT_EQ(EngineSetOption(doc.h(), 106, 300, 20, nullptr, nullptr), 1);
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "abc"), 36);
  EXPECT_EQ(EngineSetOption(doc.h(), 106, 1, 0, "times-roman", nullptr), 1);
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "a"), 8); // 444 × 20 / 1000, size kept
}

} // namespace
