// The exact operators that text and line drawing write into a page's content stream.
#include <functional>

#include "text_test_util.h"

namespace {

using texttest::Document;

void A4(int h) {
  EngineSetOption(h, 109, 595, 842, nullptr, nullptr);
}
void Size(int h, int size) {
  EngineSetOption(h, 106, 100, size, nullptr, nullptr);
}

struct ContentCase {
  const char* name;
  std::function<void(int)> draw;
  const char* content; // the whole first page
};

const ContentCase kCases[] = {
    {"HeaderOnA4",
     [](int h) {
       A4(h);
       Size(h, 30);
       EngineDrawText(h, 3, 3, "Page", 0);
     },
     "BT 1 0 0 1 3 809 Tm /F0 30 Tf 30 TL (Page) Tj ET "},
    {"FooterBaselineOnBottomEdge",
     [](int h) {
       A4(h);
       Size(h, 30);
       EngineDrawText(h, 3, 812, "Foot", 0);
     },
     "BT 1 0 0 1 3 0 Tm /F0 30 Tf 30 TL (Foot) Tj ET "},
    {"LineFeedBetweenLines",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "A\nB", 0);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 16 TL (A) Tj () ' (B) Tj ET "},
    {"FinalLineFeedMovesToEmptyLine",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "A\n", 0);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 16 TL (A) Tj () ' ET "},
    {"EscapedBytes",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "a(b)c\\d\re", 0);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 16 TL (a\\(b\\)c\\\\d\\re) Tj ET "},
    {"RedWrittenOnce",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "r", 255);
       EngineDrawText(h, 10, 50, "s", 255);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 1 0 0 rg 16 TL (r) Tj 1 0 0 1 10 776 Tm /F0 16 Tf (s) Tj ET "},
    {"FillColourSurvivesLine",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "r", 255);
       EngineDrawLine(h, 0, 100, 50, 100, 1, 0);
       EngineDrawText(h, 10, 50, "s", 255);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 1 0 0 rg 16 TL (r) Tj ET q 0 742 m 50 742 l S Q "
     "BT 1 0 0 1 10 776 Tm /F0 16 Tf 16 TL (s) Tj ET "},
    {"EqualComponentsAreGrey",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "g", 0x808080);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 0.502 g 16 TL (g) Tj ET "},
    {"PlainLineOnFreshPage",
     [](int h) {
       A4(h);
       EngineDrawLine(h, 10, 20, 100, 20, 1, 0);
     },
     "q 10 822 m 100 822 l S Q "},
    {"BlueWideLine",
     [](int h) {
       A4(h);
       EngineDrawLine(h, 10, 20, 100, 40, 4, 0xFF0000);
     },
     "q 0 0 1 RG 4 w 10 822 m 100 802 l S Q "},
    {"ZeroCoordinateUsesCursorOfBegunPage",
     [](int h) {
       EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
       EngineDrawText(h, 0, 0, "c", 0);
     },
     "BT 1 0 0 1 64 728 Tm /F0 16 Tf 16 TL (c) Tj ET "},
    {"TextContinuesAfterPreviousText",
     [](int h) {
       A4(h);
       EngineSetOption(h, 106, 300, 10, nullptr, nullptr);
       EngineDrawText(h, 10, 10, "ab", 0);
       EngineDrawText(h, -1, -1, "cd", 0);
     },
     "BT 1 0 0 1 10 822 Tm /F0 10 Tf 10 TL (ab) Tj /F0 10 Tf (cd) Tj ET "},
    {"TextContinuesAfterLineAtItsCursor",
     [](int h) {
       A4(h);
       EngineSetOption(h, 106, 300, 10, nullptr, nullptr);
       EngineDrawText(h, 10, 10, "ab", 0);
       EngineDrawLine(h, 0, 0, 1, 1, 1, 0);
       EngineDrawText(h, -1, -1, "cd", 0);
     },
     "BT 1 0 0 1 10 822 Tm /F0 10 Tf 10 TL (ab) Tj ET q 0 842 m 1 841 l S Q "
     "BT 1 0 0 1 22 822 Tm /F0 10 Tf 10 TL (cd) Tj ET "},
    {"AutomaticTextPage", [](int h) { EngineDrawText(h, -1, -1, "x", 0); },
     "BT 1 0 0 1 64 712 Tm /F0 16 Tf 16 TL (x) Tj ET "},
    {"AutomaticTextPageKeepsChosenFont",
     [](int h) {
       EngineSetOption(h, 106, 300, 20, nullptr, nullptr);
       EngineDrawText(h, -1, -1, "x", 0);
     },
     "BT 1 0 0 1 64 708 Tm /F0 20 Tf 20 TL (x) Tj ET "},
    {"AutomaticLinePage", [](int h) { EngineDrawLine(h, 0, 0, 594, 792, 2, 0x0000FF); },
     "q 1 0 0 RG 2 w 0 792 m 594 0 l S Q "},
    {"LeadingRewrittenWhenSizeChanges",
     [](int h) {
       A4(h);
       EngineDrawText(h, 10, 10, "a", 0);
       Size(h, 20);
       EngineDrawText(h, 10, 50, "b", 0);
     },
     "BT 1 0 0 1 10 816 Tm /F0 16 Tf 16 TL (a) Tj 1 0 0 1 10 772 Tm /F0 20 Tf 20 TL (b) Tj ET "},
};

void PrintTo(const ContentCase& c, std::ostream* os) {
  *os << c.name;
}

class ContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ContentTest, WritesExactOperators) {
  Document doc;
  ASSERT_NE(doc.h(), 0);
  GetParam().draw(doc.h());
  std::vector<std::string> pages = doc.Close();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], GetParam().content);
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

INSTANTIATE_TEST_SUITE_P(Text, ContentTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
  const char* name;
  std::function<int(int)> call;
  int expected;
};

const Refusal kRefusals[] = {
    {"TextXMinusOneAlone", [](int h) { return EngineDrawText(h, -1, 5, "t", 0); }, 0},
    {"TextYNegative", [](int h) { return EngineDrawText(h, 5, -1, "t", 0); }, 0},
    {"TextBothMinusTwo", [](int h) { return EngineDrawText(h, -2, -2, "t", 0); }, 0},
    {"TextMissing", [](int h) { return EngineDrawText(h, 5, 5, nullptr, 0); }, 0},
    {"TextBadHandle", [](int h) { return EngineDrawText(h + 1, 5, 5, "t", 0); }, 0},
    {"TextUnknownFont",
     [](int h) {
       EngineSetOption(h, 106, 1, 0, "NoSuchFont", nullptr);
       return EngineDrawText(h, 5, 5, "t", 0);
     },
     0},
    {"LineNegative", [](int h) { return EngineDrawLine(h, -1, 0, 5, 5, 1, 0); }, 0},
    {"LineTooFar", [](int h) { return EngineDrawLine(h, 0, 0, 5, 11400, 1, 0); }, 0},
    {"LineWidthZero", [](int h) { return EngineDrawLine(h, 0, 0, 5, 5, 0, 0); }, 0},
    {"LineWidthTooLarge", [](int h) { return EngineDrawLine(h, 0, 0, 5, 5, 1001, 0); }, 0},
    {"LineBadHandle", [](int h) { return EngineDrawLine(0, 0, 0, 5, 5, 1, 0); }, 0},
};

void PrintTo(const Refusal& c, std::ostream* os) {
  *os << c.name;
}

class RefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusalTest, RefusedCallDrawsNothingAndBeginsNoPage) {
  Document doc;
  EXPECT_EQ(GetParam().call(doc.h()), GetParam().expected);
  EXPECT_EQ(EngineQuery(doc.h(), 206, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(doc.Close().empty());
}

INSTANTIATE_TEST_SUITE_P(Text, RefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DrawLimits, ExtremeAcceptedValuesDraw) {
  Document doc;
  EXPECT_EQ(EngineDrawLine(doc.h(), 11399, 11399, 0, 0, 1000, 0), 1);
  EXPECT_EQ(EngineDrawText(doc.h(), -1, -1, "", 0), 1);
  EXPECT_EQ(EngineDrawText(doc.h(), 0, 0, "t", 0), 1);
  std::vector<std::string> pages = doc.Close();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("1000 w"), std::string::npos);
  EXPECT_NE(pages[0].find("() Tj"), std::string::npos);
}

} // namespace
