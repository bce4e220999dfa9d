// Font resources of pages and the font objects of a finished file, read back with pikepdf.
#include <regex>

#include "text_test_util.h"

namespace {

using testsupport::Pikepdf;
using texttest::Document;
using texttest::Measure;

// Prints, per page, its font resource names with the base font and object number, then
// every font object of the file.
const char kListFonts[] = R"(
pdf = pikepdf.open(sys.argv[1])
for i, page in enumerate(pdf.pages):
    fonts = page.Resources.get('/Font', {})
    print('page', i + 1, ' '.join('%s=%s@%d' % (k, fonts[k].BaseFont, fonts[k].objgen[0])
                                  for k in sorted(fonts.keys())))
for obj in pdf.objects:
    if isinstance(obj, pikepdf.Dictionary) and obj.get('/Type') == '/Font':
        print('font', obj.BaseFont, obj.get('/Encoding', '-'),
              '/Widths' in obj, '/FontDescriptor' in obj)
)";

std::string Fonts(const std::string& pdf) {
  testsupport::RunResult r = Pikepdf(pdf, kListFonts);
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

void Page(int h) {
  EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
}

TEST(FontResources, OneFontOnThreePagesIsOneObject) {
  Document doc;
  for (int i = 0; i < 3; ++i) {
    Page(doc.h());
    EngineSetOption(doc.h(), 106, 100, 12, nullptr, nullptr);
    EngineDrawText(doc.h(), 10, 10, "x", 0);
  }
  doc.Close();
  std::string out = Fonts(doc.path());
  // The font object is numbered when the font is first found, on page 1.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(page 1 /F0=/Helvetica@(\d+))"))) << out;
  std::string n = m[1];
  EXPECT_NE(out.find("page 2 /F0=/Helvetica@" + n + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("page 3 /F0=/Helvetica@" + n + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("font /Helvetica /WinAnsiEncoding False False\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("font /Helvetica", out.find("font /Helvetica") + 1), std::string::npos);
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(FontResources, PageListsOnlyTheFontsItUsed) {
  Document doc;
  Page(doc.h());
  EngineSetOption(doc.h(), 106, 100, 12, nullptr, nullptr);
  EngineDrawText(doc.h(), 10, 10, "h", 0);
  EngineSetOption(doc.h(), 106, 300, 12, nullptr, nullptr);
  EngineDrawText(doc.h(), 10, 40, "c", 0);
  Page(doc.h());
  EngineSetOption(doc.h(), 106, 300, 12, nullptr, nullptr);
  EngineDrawText(doc.h(), 10, 10, "c", 0);
  Page(doc.h());
  EngineDrawLine(doc.h(), 0, 0, 10, 10, 1, 0);
  doc.Close();
  std::string out = Fonts(doc.path());
  EXPECT_NE(out.find("page 1 /F0=/Helvetica@"), std::string::npos) << out;
  EXPECT_NE(out.find(" /F1=/Courier@"), std::string::npos) << out;
  EXPECT_NE(out.find("page 2 /F1=/Courier@"), std::string::npos) << out;
  EXPECT_EQ(out.find("page 2 /F0"), std::string::npos) << out;
  EXPECT_NE(out.find("page 3 \n"), std::string::npos) << out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(FontResources, MeasuredFontIsWrittenButListedNowhere) {
  Document doc;
  Page(doc.h());
  EXPECT_EQ(Measure(doc.h(), 250, 201, 10, "abc"), 15);
  EngineDrawText(doc.h(), 10, 10, "x", 0);
  doc.Close();
  std::string out = Fonts(doc.path());
  EXPECT_NE(out.find("font /Times-Bold /WinAnsiEncoding False False\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("=/Times-Bold"), std::string::npos) << out;
  EXPECT_NE(out.find("page 1 /F1=/Helvetica@"), std::string::npos) << out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(FontResources, FontMeasuredWithoutAnyPageIsWritten) {
  Document doc;
  EXPECT_EQ(Measure(doc.h(), 251, 500, 10, "abc"), 10);
  doc.Close();
  EXPECT_NE(Fonts(doc.path()).find("font /ZapfDingbats - False False\n"), std::string::npos);
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

struct Selection {
  const char* name;
  int code;
  const char* text;
  const char* baseFont;
  const char* encoding;
};

const Selection kSelections[] = {
    {"Code101", 101, nullptr, "/Helvetica-Bold", "/WinAnsiEncoding"},
    {"Code203", 203, nullptr, "/Times-BoldItalic", "/WinAnsiEncoding"},
    {"Code303", 303, nullptr, "/Courier-BoldOblique", "/WinAnsiEncoding"},
    {"SymbolUsesItsOwnEncoding", 400, nullptr, "/Symbol", "-"},
    {"NamedInAnyCase", 1, "times-ITALIC", "/Times-Italic", "/WinAnsiEncoding"},
    {"NamedSymbol", 1, "zapfdingbats", "/ZapfDingbats", "-"},
    {"FixedFontTwo", 2, nullptr, "/Times-Roman", "/WinAnsiEncoding"},
    {"FixedFontThree", 3, nullptr, "/Courier", "/WinAnsiEncoding"},
    {"CodeOneWithoutName", 1, nullptr, "/Helvetica", "/WinAnsiEncoding"},
    {"UnknownCode", 7, nullptr, "/Helvetica", "/WinAnsiEncoding"},
};

void PrintTo(const Selection& c, std::ostream* os) {
  *os << c.name;
}

class SelectionTest : public ::testing::TestWithParam<Selection> {};

TEST_P(SelectionTest, Option106SelectsTheFontDrawn) {
  const Selection& s = GetParam();
  Document doc;
  Page(doc.h());
  EXPECT_EQ(EngineSetOption(doc.h(), 106, s.code, 14, s.text, nullptr), 1);
  EXPECT_EQ(EngineDrawText(doc.h(), 10, 10, "abc", 0), 1);
  std::vector<std::string> pages = doc.Close();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("/F0 14 Tf"), std::string::npos) << pages[0];
  std::string expected = std::string("font ") + s.baseFont + " " + s.encoding + " False False\n";
  EXPECT_NE(Fonts(doc.path()).find(expected), std::string::npos) << expected;
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

INSTANTIATE_TEST_SUITE_P(Fonts, SelectionTest, ::testing::ValuesIn(kSelections),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FontOption, SizeAndStyleArguments) {
  Document doc;
  EXPECT_EQ(EngineSetOption(doc.h(), 106, 300, 0, nullptr, nullptr), 1); // size kept
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "a"), 9);                        // 600 × 16
  EXPECT_EQ(EngineSetOption(doc.h(), 106, 300, -5, nullptr, nullptr), 1);
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "a"), 9);
  std::string longName(64, 'F');
  EXPECT_EQ(EngineSetOption(doc.h(), 106, 1, 10, longName.c_str(), nullptr), 0);
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "a"), 9); // refused option changed nothing
  EXPECT_EQ(EngineSetOption(doc.h(), 108, 1, -1, nullptr, nullptr), 1);
  EXPECT_EQ(EngineSetOption(doc.h() + 1, 106, 100, 10, nullptr, nullptr), 0);
  EXPECT_EQ(EngineSetOption(doc.h() + 1, 108, 1, 1, nullptr, nullptr), 0);
}

TEST(FontOption, PageBeginRestoresDefaultFont) {
  Document doc;
  Page(doc.h());
  EngineSetOption(doc.h(), 106, 300, 30, nullptr, nullptr);
  Page(doc.h());
  EXPECT_EQ(Measure(doc.h(), 250, 0, 0, "a"), 8); // Helvetica 16 again
}

} // namespace
