// Unicode text through Identity-H fonts and CJK text through predefined CMaps: what readers
// extract, render and find in the embedded subset.
#include <iterator>
#include <string>
#include <vector>

#include "font_check.h"
#include "text_test_util.h"

namespace {

using testsupport::Quote;
using testsupport::RunResult;

void UseFont(int h, const char* family, const char* encoding, int embed, int size = 24) {
  ASSERT_EQ(EngineSetOption(h, 106, 1, size, family, nullptr), 1);
  ASSERT_EQ(EngineSetOption(h, 130, embed, 0, encoding, nullptr), 1);
}

TEST(IdentityText, ExtractsExactlyFromTwoFonts) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  UseFont(doc.h(), "DejaVu Sans", "Identity-H", 1);
  ASSERT_EQ(EngineDrawText(doc.h(), 30, 40, "Ελληνικά Кириллица ", 0), 1);
  UseFont(doc.h(), "WenQuanYi Micro Hei", "Identity-H", 1);
  ASSERT_EQ(EngineDrawText(doc.h(), -1, -1, "中文 日本語", 0), 1);
  doc.Close();
  RunResult r = testsupport::Run("pdftotext -raw " + Quote(doc.path()) + " -");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "Ελληνικά Кириллица 中文 日本語\n\f") << r.out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

// Characters beyond the Basic Multilingual Plane copy as themselves (a surrogate pair in the
// ToUnicode map); malformed UTF-8 shows as the replacement character, not as lost text.
TEST(IdentityText, PlaneOneAndMalformedBytesCopyBack) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  UseFont(doc.h(), "DejaVu Sans", "Identity-H", 1);
  ASSERT_EQ(EngineDrawText(doc.h(), 30, 40, "\xF0\x90\x8C\x80x\xC3(y", 0), 1);
  doc.Close();
  RunResult r = testsupport::Run("pdftotext -raw " + Quote(doc.path()) + " -");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "\xF0\x90\x8C\x80x\xEF\xBF\xBD(y\n\f") << r.out;
  std::string raw = testsupport::ReadFile(doc.path());
  EXPECT_NE(raw.find("<0000> <0000> <D800DF00>"), std::string::npos);
}

// Rows of ink in a grey render (72 dpi, a point is a pixel) between two heights.
bool InkBetween(const std::string& pgm, int width, int height, int top, int bottom, int left,
                int right) {
  size_t header = pgm.size() - static_cast<size_t>(width) * static_cast<size_t>(height);
  for (int y = top; y < bottom && y < height; ++y)
    for (int x = left; x < right && x < width; ++x)
      if (static_cast<unsigned char>(pgm[header + static_cast<size_t>(y * width + x)]) < 128)
        return true;
  return false;
}

// Byte offsets where the UTF-8 characters of s begin, and s.size() at the end.
std::vector<size_t> CharStarts(const std::string& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(s.size());
  return starts;
}

TEST(IdentityText, EveryCharacterRendersAndNothingElse) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr); // 594 x 792
  struct Word {
    const char* family;
    std::string text;
    int y;
  } const words[] = {{"DejaVu Sans", "Ελληνικά", 100},
                     {"DejaVu Serif", "Кириллица", 200},
                     {"WenQuanYi Micro Hei", "中文", 300},
                     {"WenQuanYi Micro Hei", "日本語", 400}};
  // Horizontal extent of every character, from the engine's own measurements.
  std::vector<std::vector<int>> edges;
  for (const Word& w : words) {
    UseFont(doc.h(), w.family, "Identity-H", 1, 30);
    std::vector<int> x;
    for (size_t end : CharStarts(w.text))
      x.push_back(
          100 + (end ? texttest::Measure(doc.h(), 250, 0, 30, w.text.substr(0, end).c_str()) : 0));
    edges.push_back(x);
    ASSERT_EQ(EngineDrawText(doc.h(), 100, w.y, w.text.c_str(), 0), 1);
  }
  doc.Close();
  testsupport::ScratchDir dir;
  std::string png = dir.file("page.pgm");
  RunResult r = testsupport::Run("mutool draw -q -r 72 -c gray -o " + Quote(png) + " " +
                                 Quote(doc.path()) + " 1 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::string pgm = testsupport::ReadFile(png);
  ASSERT_GT(pgm.size(), 594u * 792u);
  for (size_t k = 0; k < std::size(words); ++k) {
    const std::vector<int>& x = edges[k];
    for (size_t i = 0; i + 1 < x.size(); ++i)
      EXPECT_TRUE(InkBetween(pgm, 594, 792, words[k].y, words[k].y + 34, x[i] + 1, x[i + 1] - 1))
          << words[k].text << " character " << i;
    EXPECT_FALSE(InkBetween(pgm, 594, 792, words[k].y, words[k].y + 34, x.back() + 2, 594))
        << words[k].text;
  }
  EXPECT_FALSE(InkBetween(pgm, 594, 792, 440, 792, 0, 594));
  EXPECT_FALSE(InkBetween(pgm, 594, 792, 0, 792, 0, 95));
}

// Reads back the embedded program: its glyphs, its character map, the code-to-glyph map and
// widths must agree code for code with the ToUnicode map.
const char kSubsetCheck[] = R"(
import io, re, sys, pikepdf
from fontTools.ttLib import TTFont
pdf = pikepdf.open(sys.argv[1])
font = pdf.pages[0].Resources.Font['/F0']
cid = font.DescendantFonts[0]
ff = cid.FontDescriptor.FontFile2
tt = TTFont(io.BytesIO(ff.read_bytes()))
print('length1', int(ff.Length1))
cmap = tt.getBestCmap()
print('cmap', ''.join(chr(c) for c in sorted(cmap)))
order = tt.getGlyphOrder()
# The glyphs of the characters, the parts of composite ones, and .notdef; nothing else.
wanted, todo = {'.notdef'}, list(cmap.values())
while todo:
    g = todo.pop()
    if g in wanted: continue
    wanted.add(g)
    if tt['glyf'][g].isComposite(): todo.extend(c.glyphName for c in tt['glyf'][g].components)
print('others', len(set(order) - wanted), 'missing', len(wanted - set(order)))
gidmap = cid.CIDToGIDMap.read_bytes()
tu = font.ToUnicode.read_bytes().decode('latin-1')
pairs = re.findall(r'<([0-9A-F]{4})> <\1> <([0-9A-F]{4})>', tu)
widths = list(cid.W[1])
upem = tt['head'].unitsPerEm
bad = 0
for code, uni in pairs:
    c, u = int(code, 16), int(uni, 16)
    gid = gidmap[2 * c] << 8 | gidmap[2 * c + 1]
    if cmap.get(u) != order[gid]: bad += 1
    if round(tt['hmtx'][order[gid]][0] * 1000 / upem) != int(widths[c]): bad += 1
print('codes', len(pairs), 'bad', bad)
)";

TEST(IdentityText, SubsetHoldsTheUsedGlyphsOnly) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  UseFont(doc.h(), "WenQuanYi Micro Hei", "Identity-H", 1);
  // Repeated characters get one code; the order of first use is not the glyph order.
  ASSERT_EQ(EngineDrawText(doc.h(), 30, 40, "語本日文中\n中文日本語", 0), 1);
  doc.Close();
  testsupport::ScratchDir dir;
  std::string script = dir.file("check.py");
  testsupport::WriteFile(script, kSubsetCheck);
  RunResult r = testsupport::Run("/usr/bin/python3 " + Quote(script) + " " + Quote(doc.path()));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("others 0 missing 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("cmap 中文日本語\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("codes 5 bad 0\n"), std::string::npos) << r.out;
  size_t at = r.out.find("length1 ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_LT(std::stol(r.out.substr(at + 8)), 20 * 1024) << r.out;
}

struct CmapCase {
  const char* header; // the document's version, "%PDF-1.x"
  const char* family;
  const char* cmap;
  int drawn;
  const char* baseFont;
  const char* collection;
};

class CmapFonts : public ::testing::TestWithParam<CmapCase> {};

// New documents are PDF 1.4; older versions are reached by appending to an older file.
TEST_P(CmapFonts, VersionCollectionAndName) {
  const CmapCase& c = GetParam();
  testsupport::ScratchDir dir;
  std::string path = dir.file("doc.pdf");
  int h = EngineCreate(path.c_str());
  EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
  EngineDrawLine(h, 1, 1, 2, 2, 1, 0);
  EngineClose(h);
  std::string bytes = testsupport::ReadFile(path);
  bytes.replace(bytes.find("%PDF-1.4"), 8, c.header);
  testsupport::WriteFile(path, bytes);

  h = std::string(c.header) == "%PDF-1.4" ? EngineCreate(path.c_str())
                                          : EngineOpenAppend(path.c_str());
  ASSERT_NE(h, 0);
  EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
  ASSERT_EQ(EngineSetOption(h, 106, 1, 24, c.family, nullptr), 1);
  ASSERT_EQ(EngineSetOption(h, 130, 0, 0, c.cmap, nullptr), 1);
  EXPECT_EQ(EngineDrawText(h, 40, 40, "\x4e\x2d\x65\x87", 0), c.drawn);
  EXPECT_EQ(texttest::Measure(h, 250, 0, 24, "\x4e\x2d"), 0);
  EngineClose(h);
  if (!c.drawn) return;
  RunResult r = fonttest::DescribeFont(dir, path, "/F0", "");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(std::string("BaseFont=") + c.baseFont + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::string("Collection=") + c.collection + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(std::string("Encoding=/") + c.cmap + "\n"), std::string::npos) << r.out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(path));
}

INSTANTIATE_TEST_SUITE_P(
    Predefined, CmapFonts,
    ::testing::Values(CmapCase{"%PDF-1.4", "STSong-Light", "UniGB-UCS2-H", 1,
                               "/STSong-Light-UniGB-UCS2-H", "Adobe-GB1-2"},
                      CmapCase{"%PDF-1.4", "heiseimin-w3", "90ms-RKSJ-H", 1,
                               "/heiseimin-w3-90ms-RKSJ-H", "Adobe-Japan1-2"},
                      CmapCase{"%PDF-1.4", "My Font(CJK)", "KSCms-UHC-H", 1,
                               "/My#20Font#28CJK#29-KSCms-UHC-H", "Adobe-Korea1-1"},
                      CmapCase{"%PDF-1.3", "MSung-Light", "ETenms-B5-H", 1,
                               "/MSung-Light-ETenms-B5-H", "Adobe-CNS1-0"},
                      // GBKp-EUC-H needs PDF 1.4; a PDF 1.2 document takes no CID fonts at all.
                      CmapCase{"%PDF-1.3", "STSong-Light", "GBKp-EUC-H", 0, "", ""},
                      CmapCase{"%PDF-1.2", "STSong-Light", "GB-EUC-H", 0, "", ""},
                      CmapCase{"%PDF-1.4", "STSong-Light", "NoSuch-CMap-H", 0, "", ""}));

const char kDescriptor[] = R"(
pdf = pikepdf.open(sys.argv[1])
fd = pdf.pages[0].Resources.Font.F0.DescendantFonts[0].FontDescriptor
print(int(fd.Flags), [int(x) for x in fd.FontBBox], int(fd.CapHeight), int(fd.XHeight),
      int(fd.Ascent), int(fd.Descent), int(fd.StemV), int(fd.ItalicAngle))
)";

TEST(CmapFonts, UnknownNameGetsTheDefaultMetrics) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  UseFont(doc.h(), "Unlisted Mincho", "UniJIS-UCS2-H", 0);
  ASSERT_EQ(EngineDrawText(doc.h(), 40, 40, "\x65\xe5", 0), 1);
  doc.Close();
  RunResult r = testsupport::Pikepdf(doc.path(), kDescriptor);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "4 [-250, -143, 600, 857] 857 599 857 -143 91 0\n");
}

TEST(CmapFonts, EncryptedDocumentOpensWithItsPasswordAndShowsTheText) {
  texttest::Document doc;
  ASSERT_EQ(EngineSetOption(doc.h(), 105, 128, 0, "owner", "user"), 1);
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  UseFont(doc.h(), "STSong-Light", "UniGB-UCS2-H", 0);
  ASSERT_EQ(EngineDrawText(doc.h(), 40, 40, "\x4e\x2d\x65\x87", 0), 1);
  UseFont(doc.h(), "DejaVu Sans", "Identity-H", 1);
  ASSERT_EQ(EngineDrawText(doc.h(), 40, 100, "Ωμέγα", 0), 1);
  doc.Close();
  std::string pdf = Quote(doc.path());
  RunResult check = testsupport::Run("qpdf --password=user --check " + pdf);
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(testsupport::Run("pdftotext " + pdf + " -").status, 1) << "opened without a password";
  RunResult text = testsupport::Run("pdftotext -raw -upw user " + pdf + " -");
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_EQ(text.out, "中文\nΩμέγα\n\f");
  // The collection strings are encrypted like every other string of the file.
  std::string raw = testsupport::ReadFile(doc.path());
  EXPECT_EQ(raw.find("(Adobe)"), std::string::npos);
  EXPECT_NE(raw.find("/Registry <"), std::string::npos);
  RunResult fonts = testsupport::Run("pdffonts -upw user " + pdf);
  EXPECT_NE(fonts.out.find("STSong-Light-UniGB-UCS2-H"), std::string::npos) << fonts.out;
}

} // namespace
