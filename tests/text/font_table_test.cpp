// The font table on its own: lookups, refusals and the bytes of the font objects.
#include <regex>

#include "pdfwriter/writer.h"
#include "test_support.h"
#include "text/fonts.h"
#include "text/std_fonts.h"

namespace {

class StringSink : public pdf::Sink {
public:
  explicit StringSink(std::string* out) : out_(out) {}
  size_t Write(const void* bytes, size_t n) override {
    out_->append(static_cast<const char*>(bytes), n);
    return n;
  }

private:
  std::string* out_;
};

class FontTableTest : public ::testing::Test {
protected:
  std::string bytes;
  pdf::Writer w{pdf::Allocator::Default(), std::make_unique<StringSink>(&bytes)};
  text::FontTable fonts;

  std::string Written() {
    w.Flush();
    return bytes;
  }
};

TEST(StandardMetrics, PublishedValues) {
  const text::StdFontMetrics* helvetica = text::FindStdFontMetrics("Helvetica");
  const text::StdFontMetrics* times = text::FindStdFontMetrics("Times-Roman");
  ASSERT_TRUE(helvetica && times);
  EXPECT_EQ(helvetica->widths['a'], 556);
  EXPECT_EQ(helvetica->widths[' '], 278);
  EXPECT_EQ(times->widths['a'], 444);
  for (const char* name : {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"}) {
    const text::StdFontMetrics* c = text::FindStdFontMetrics(name);
    ASSERT_TRUE(c) << name;
    EXPECT_EQ(c->flags & 1u, 1u) << name; // fixed pitch
    for (int code = 32; code < 256; ++code)
      EXPECT_EQ(c->widths[code], 600) << name << code;
  }
  EXPECT_EQ(text::FindStdFontMetrics("Helvetica-Bold")->flags & 262144u, 262144u);
  EXPECT_EQ(text::FindStdFontMetrics("Times-Italic")->flags & 64u, 64u);
  EXPECT_EQ(text::FindStdFontMetrics("Symbol")->flags, 4u);
}

TEST(StandardMetrics, CodesAndNames) {
  const std::pair<int, const char*> table[] = {{100, "Helvetica"},
                                               {101, "Helvetica-Bold"},
                                               {102, "Helvetica-Oblique"},
                                               {103, "Helvetica-BoldOblique"},
                                               {200, "Times-Roman"},
                                               {201, "Times-Bold"},
                                               {202, "Times-Italic"},
                                               {203, "Times-BoldItalic"},
                                               {300, "Courier"},
                                               {301, "Courier-Bold"},
                                               {302, "Courier-Oblique"},
                                               {303, "Courier-BoldOblique"},
                                               {400, "Symbol"},
                                               {500, "ZapfDingbats"}};
  for (const auto& [code, name] : table) {
    EXPECT_STREQ(text::StdFontNameForCode(code), name);
    EXPECT_EQ(text::StdFontCode(name), code);
  }
  EXPECT_EQ(text::StdFontCode("HELVETICA-bold"), 101);
  EXPECT_EQ(text::StdFontNameForCode(104), nullptr);
  EXPECT_EQ(text::FindStdFontMetrics("helvetica"), nullptr); // records are exact
}

TEST_F(FontTableTest, FindRefusesBadRequests) {
  EXPECT_EQ(fonts.Find(w, nullptr, "WinAnsiEncoding", 0), -1);
  EXPECT_EQ(fonts.Find(w, "", "WinAnsiEncoding", 0), -1);
  EXPECT_EQ(fonts.Find(w, "Helvetica", "", 0), -1);
  EXPECT_EQ(fonts.Find(w, "Helvetica", "WinAnsiEncoding", 2), -1);
  EXPECT_EQ(fonts.Find(w, "Helvetica", "WinAnsiEncoding", 1), -1); // no outline file
  EXPECT_EQ(fonts.Find(w, "Helvetica", "NoSuchEncoding", 0), -1);
  EXPECT_EQ(fonts.Find(w, "Helvetica", "MacRomanEncoding", 0), -1); // keyed to WinAnsi
  EXPECT_EQ(fonts.Find(w, "Symbol", "WinAnsiEncoding", 0), -1);     // keyed to its own
  EXPECT_EQ(fonts.size(), 0);
}

TEST_F(FontTableTest, SameFontSameEntry) {
  EXPECT_EQ(fonts.Find(w, "Helvetica", "WinAnsiEncoding", 0), 0);
  EXPECT_EQ(fonts.Find(w, "Times-Roman", "WinAnsiEncoding", 0), 1);
  EXPECT_EQ(fonts.Find(w, "Helvetica", "Default", 0), 0); // the alias
  EXPECT_EQ(fonts.Find(w, "Symbol", "FontSpecific", 0), 2);
  EXPECT_EQ(fonts.size(), 3);
  EXPECT_NE(fonts.at(0)->objectNumber, fonts.at(1)->objectNumber);
}

TEST_F(FontTableTest, PageResourcesListOnlyMarkedFontsOnce) {
  fonts.Find(w, "Helvetica", "WinAnsiEncoding", 0);
  fonts.Find(w, "Courier", "WinAnsiEncoding", 0);
  fonts.WritePageResources(w);
  EXPECT_EQ(Written(), ""); // nothing used: no /Font entry
  fonts.MarkUsed(1);
  fonts.WritePageResources(w);
  fonts.WritePageResources(w); // marks were cleared
  EXPECT_EQ(Written(), "/Font <</F1 2 0 R >> ");
}

TEST_F(FontTableTest, StandardFontsGetShortDictionaries) {
  fonts.Find(w, "Helvetica", "WinAnsiEncoding", 0);
  fonts.Find(w, "ZapfDingbats", "FontSpecific", 0);
  fonts.WriteFonts(w);
  EXPECT_EQ(Written(),
            "1 0 obj\r <</Type /Font /Subtype /Type1 /Encoding /WinAnsiEncoding "
            "/BaseFont /Helvetica >> endobj "
            "2 0 obj\r <</Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >> endobj ");
}

TEST_F(FontTableTest, OtherType1FontsGetFullFormWithDifferences) {
  text::FontRecord r;
  r.name = "My Font";
  r.encodingIndex = text::ResolveEncoding("StandardEncoding");
  ASSERT_GE(r.encodingIndex, 0);
  for (int c = 0; c < 256; ++c)
    r.widths[c] = c;
  r.ascent = 700;
  r.descent = -200;
  r.capHeight = 650;
  r.flags = 32;
  r.italicAngle = -12.5f;
  r.stemV = 80;
  fonts.Add(w, r);
  fonts.WriteFonts(w);
  std::string out = Written();

  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(/Widths \[([^\]]*)\])")));
  std::string widths = m[1];
  std::regex number(R"(-?\d+)");
  auto count = std::distance(std::sregex_iterator(widths.begin(), widths.end(), number),
                             std::sregex_iterator());
  EXPECT_EQ(count, 256);
  EXPECT_EQ(std::count(widths.begin(), widths.end(), '\r'), 16); // 16 groups of 16
  EXPECT_NE(out.find("/FirstChar 0 /LastChar 255 "), std::string::npos);
  EXPECT_NE(out.find("/BaseFont /My#20Font "), std::string::npos);
  EXPECT_NE(out.find("/Encoding 2 0 R "), std::string::npos);
  EXPECT_NE(out.find("/FontDescriptor 3 0 R "), std::string::npos);
  EXPECT_NE(out.find("3 0 obj\r <</Type /FontDescriptor /Ascent 700 /CapHeight 650 "
                     "/Descent -200 /Flags 32 "),
            std::string::npos);
  EXPECT_NE(out.find("/FontName /My#20Font /ItalicAngle -12 /StemV 80 >>"), std::string::npos);

  ASSERT_TRUE(std::regex_search(
      out, m, std::regex(R"(2 0 obj\r <</Type /Encoding /Differences \[0 ([^\]]*)\])")));
  std::string names = m[1];
  EXPECT_EQ(std::count(names.begin(), names.end(), '/'), 256);
  EXPECT_NE(names.find("/space /exclam"), std::string::npos);
  EXPECT_NE(names.find("/quoteright"), std::string::npos);
}

} // namespace
