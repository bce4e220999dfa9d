// Installed fonts found by family name, in the four forms their embed flag and character set
// choose; judged by pdffonts, pikepdf and fontTools' reading of the same font file.
#include <string>
#include <vector>

#include "font_check.h"
#include "text_test_util.h"

namespace {

using fonttest::DescribeFont;
using fonttest::FileSize;
using fonttest::MatchedFile;

struct FormCase {
  const char* family;
  int bold, italic;
  const char* encoding;
  int embed;
  const char* pattern; // fc-match pattern of the file that must be used
  int face;
  const char* pdffontsType;
  const char* pdffontsFlags; // "emb sub uni" columns
  std::vector<std::string> lines;
  bool length1IsFile;
};

class FontForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(FontForms, FormKindAndMetricsFollowTheFont) {
  const FormCase& c = GetParam();
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  EngineSetOption(doc.h(), 108, c.bold, c.italic, nullptr, nullptr);
  ASSERT_EQ(EngineSetOption(doc.h(), 106, 1, 24, c.family, nullptr), 1);
  ASSERT_EQ(EngineSetOption(doc.h(), 130, c.embed, 0, c.encoding, nullptr), 1);
  ASSERT_EQ(EngineDrawText(doc.h(), 40, 40, "Abc", 0), 1);
  doc.Close();
  std::string file = MatchedFile(c.pattern);
  ASSERT_FALSE(file.empty());

  testsupport::ScratchDir dir;
  testsupport::RunResult r = DescribeFont(dir, doc.path(), "/F0", file, c.face);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("metrics=ok\n"), std::string::npos) << r.out;
  for (const std::string& line : c.lines)
    EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
  if (c.length1IsFile) {
    EXPECT_NE(r.out.find("Length1=" + std::to_string(FileSize(file)) + "\n"), std::string::npos)
        << r.out;
  }

  testsupport::RunResult fonts = testsupport::Run("pdffonts " + testsupport::Quote(doc.path()));
  ASSERT_EQ(fonts.status, 0) << fonts.out;
  std::string row = fonts.out.substr(fonts.out.rfind("---") + 4);
  EXPECT_NE(row.find(c.pdffontsType), std::string::npos) << fonts.out;
  EXPECT_NE(row.find(c.pdffontsFlags), std::string::npos) << fonts.out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Installed, FontForms,
    ::testing::Values(
        // OS/2 version 1 holds no capital height: 666; weight 400 gives stem 87.
        FormCase{"DejaVu Sans",
                 0,
                 0,
                 "WinAnsiEncoding",
                 0,
                 "DejaVu Sans",
                 0,
                 "TrueType",
                 "no  no  no",
                 {"Subtype=/TrueType", "Encoding=/WinAnsiEncoding", "BaseFont=/DejaVu#20Sans",
                  "CapHeight=666", "StemV=87"},
                 false},
        FormCase{"DejaVu Sans",
                 1,
                 0,
                 "WinAnsiEncoding",
                 1,
                 "DejaVu Sans:bold",
                 0,
                 "TrueType",
                 "yes no  no",
                 {"Subtype=/TrueType", "FontFile=FontFile2", "Filter=/FlateDecode", "StemV=165"},
                 true},
        // The family matches in any letter case; italic picks the oblique face.
        FormCase{"dejavu sans",
                 0,
                 1,
                 "WinAnsiEncoding",
                 1,
                 "DejaVu Sans:italic",
                 0,
                 "TrueType",
                 "yes no  no",
                 {"BaseFont=/dejavu#20sans", "FontFile=FontFile2"},
                 true},
        FormCase{"Cantarell",
                 0,
                 0,
                 "WinAnsiEncoding",
                 1,
                 "Cantarell",
                 0,
                 "Type 1C",
                 "yes no  no",
                 {"Subtype=/Type1", "FontFile=FontFile3", "FontFileSubtype=/Type1C", "Length1=-",
                  "CFFTable=same"},
                 false},
        // A CJK character set without embedding: the Windows CMap of its code page.
        FormCase{"WenQuanYi Micro Hei",
                 0,
                 0,
                 "WinAnsiEncoding",
                 0,
                 "WenQuanYi Micro Hei",
                 0,
                 "CID TrueType",
                 "no  no  no",
                 {"Subtype=/Type0", "Encoding=/90ms-RKSJ-H", "CIDSubtype=/CIDFontType2",
                  "Collection=Adobe-Japan1-2"},
                 false},
        // The second face of the collection, embedded: Identity-H with a subset program.
        FormCase{"WenQuanYi Micro Hei Mono",
                 0,
                 0,
                 "WinAnsiEncoding",
                 1,
                 "WenQuanYi Micro Hei Mono",
                 1,
                 "CID TrueType",
                 "yes yes yes",
                 {"Subtype=/Type0", "Encoding=/Identity-H", "CIDSubtype=/CIDFontType2",
                  "Collection=Adobe-Identity-0", "FontFile=FontFile2", "ToUnicode=True", "W=True",
                  "CIDToGIDMap=True", "Flags=4"},
                 false}));

// Names that fontconfig would answer with some other family are not found.
TEST(InstalledFonts, UnknownFamilyFailsAndNoSubstituteIsTaken) {
  const char* const names[] = {"DejaVu Sanz", "Pictofold Imaginary Sans",
                               "DejaVu Sans ExtraWideImaginary"};
  for (const char* name : names) {
    ASSERT_FALSE(MatchedFile(name).empty()) << "fontconfig offers a substitute for " << name;
    texttest::Document doc;
    EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
    EngineSetOption(doc.h(), 106, 1, 12, name, nullptr);
    EngineSetOption(doc.h(), 130, 1, 0, "WinAnsiEncoding", nullptr);
    EXPECT_EQ(EngineDrawText(doc.h(), 10, 10, "x", 0), 0) << name;
    EXPECT_EQ(texttest::Measure(doc.h(), 250, 0, 12, "x"), 0) << name;
    EngineSetOption(doc.h(), 130, 1, 0, "Identity-H", nullptr);
    EXPECT_EQ(EngineDrawText(doc.h(), 10, 10, "x", 0), 0) << name;
  }
}

TEST(InstalledFonts, EncodingOptionRefusesBadArguments) {
  texttest::Document doc;
  std::string longName(64, 'a');
  struct {
    int embed;
    const char* name;
    int result;
  } const cases[] = {
      {0, "WinAnsiEncoding", 1}, {1, "Identity-H", 1}, {2, "WinAnsiEncoding", 0},
      {-1, "Identity-H", 0},     {0, "", 0},           {0, nullptr, 0},
      {0, longName.c_str(), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EngineSetOption(doc.h(), 130, c.embed, 0, c.name, nullptr), c.result)
        << c.embed << " " << (c.name ? c.name : "null");
}

// Measuring uses the font's own advance widths, in the Identity-H form too.
TEST(InstalledFonts, MeasuredWidthComesFromTheFont) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, 1, 100, "DejaVu Sans Mono", nullptr);
  EngineSetOption(doc.h(), 130, 0, 0, "WinAnsiEncoding", nullptr);
  // Every DejaVu Sans Mono glyph advances 1233 of 2048 units: 602 thousandths.
  EXPECT_EQ(texttest::Measure(doc.h(), 250, 0, 100, "abcde"), 301);
  EngineSetOption(doc.h(), 130, 1, 0, "Identity-H", nullptr);
  EXPECT_EQ(texttest::Measure(doc.h(), 250, 0, 100, "Ωmega\nЖ"), 301);
  EXPECT_EQ(texttest::Measure(doc.h(), 251, 0, 100, "Ωmega\nЖ"), 208);
}

} // namespace
