// Fonts named in the font configuration file: text and byte-oriented metrics files, Type 1
// outline files, TrueType files, and font files that are hostile or may not be embedded.
#include <cstdlib>
#include <string>

#include "font_check.h"
#include "text/font_config.h"
#include "text_test_util.h"

namespace {

using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunResult;
using testsupport::WriteFile;
using text::FontCategory;

struct ParseCase {
  const char* text;
  FontCategory category;
  const char* name;
  const char* path; // expected; empty when the name must not be found
};

TEST(FontConfigurationFile, NamesValuesFoldersAndGroups) {
  const char* file = "comment line\n"
                     "FontMetrics\n"
                     "Skipped=before.afm\n"
                     ".\n"
                     "FontMetrics\n"
                     "Plain=plain.afm\r\n"
                     "/opt/fonts\n"
                     "In Folder=a.pfm\n"
                     "Abs==/abs/b.afm\n"
                     "Key\\=With\\=Signs = c.afm\n"
                     "NoValue=\n"
                     ".\n"
                     "FontOutline\n"
                     "Plain=plain.pfb\n"
                     ".\n"
                     "NoSuchCategory\n"
                     "Lost=lost.ttf\n"
                     ".\n"
                     "fontfile\n"
                     "Mono=mono.ttf\n"
                     ".\n";
  text::FontConfiguration c = text::ParseFontConfiguration(file, "/base");
  const ParseCase cases[] = {
      {file, FontCategory::kMetrics, "Plain", "/base/plain.afm"},
      {file, FontCategory::kMetrics, "plain", "/base/plain.afm"},
      {file, FontCategory::kMetrics, "In Folder", "/opt/fonts/a.pfm"},
      {file, FontCategory::kMetrics, "Abs", "/abs/b.afm"},
      {file, FontCategory::kMetrics, "Key=With=Signs", "/opt/fonts/c.afm"},
      {file, FontCategory::kMetrics, "Skipped", ""},
      {file, FontCategory::kMetrics, "NoValue", ""},
      {file, FontCategory::kOutline, "Plain", "/base/plain.pfb"},
      {file, FontCategory::kFontFile, "Plain", ""},
      {file, FontCategory::kFontFile, "Lost", ""},
      {file, FontCategory::kFontFile, "Mono", "/base/mono.ttf"},
  };
  for (const ParseCase& k : cases)
    EXPECT_EQ(c.Lookup(k.category, k.name), k.path) << k.name;
}

// Little-endian byte-oriented metrics: header, extension, extended metrics, widths 32..126.
std::string PfmFixture() {
  std::string d(147 + 52 + 2 * 95, '\0');
  auto put16 = [&](size_t at, int v) {
    d[at] = static_cast<char>(v & 0xFF);
    d[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](size_t at, int v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, (v >> 16) & 0xFFFF);
  };
  put16(0, 0x0100);
  put16(74, 750);       // ascent
  put16(83, 700);       // weight
  d[90] = 1;            // variable pitch
  put16(93, 1000);      // widest glyph
  d[95] = 32;           // first code
  d[96] = 126;          // last code
  put32(119, 147);      // extended metrics
  put32(123, 147 + 52); // widths
  put16(147 + 14, 700); // capital height
  put16(147 + 16, 500); // x-height
  put16(147 + 18, 720); // ascender
  put16(147 + 20, 210); // descender (positive downwards)
  for (int c = 32; c <= 126; ++c)
    put16(147 + 52 + static_cast<size_t>(2 * (c - 32)), c == 32 ? 300 : 10 * (c - 32));
  return d;
}

class ConfiguredFonts : public ::testing::Test {
protected:
  void SetUp() override {
    std::string mono = ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
    ASSERT_GT(mono.size(), 1000u);
    WriteFile(dir_.file("mono.ttf"), mono);
    WriteFile(dir_.file("truncated.ttf"), mono.substr(0, 3000));
    std::string huge = mono, restricted = mono;
    int tables = static_cast<unsigned char>(mono[4]) << 8 | static_cast<unsigned char>(mono[5]);
    for (int i = 0; i < tables; ++i) {
      size_t rec = 12 + 16 * static_cast<size_t>(i);
      huge.replace(rec + 12, 4, "\x7f\xff\xff\xf0");
      if (mono.compare(rec, 4, "OS/2") == 0) {
        size_t at = static_cast<unsigned char>(mono[rec + 8]) << 24 |
                    static_cast<unsigned char>(mono[rec + 9]) << 16 |
                    static_cast<unsigned char>(mono[rec + 10]) << 8 |
                    static_cast<unsigned char>(mono[rec + 11]);
        restricted[at + 8] = 0;
        restricted[at + 9] = 2; // restricted licence embedding
      }
    }
    WriteFile(dir_.file("huge.ttf"), huge);
    WriteFile(dir_.file("restricted.ttf"), restricted);
    WriteFile(dir_.file("fixture.pfm"), PfmFixture());
    WriteFile(dir_.file("Fonts.cfg"),
              "Pictofold font configuration\n"
              ".\n"
              "FontMetrics\n"
              "/usr/share/fonts/type1/urw-base35\n"
              "My Sans=NimbusSans-Regular.afm\n"
              "Pfm Font==" +
                  dir_.file("fixture.pfm") +
                  "\n"
                  ".\n"
                  "FontOutline\n"
                  "My Sans==/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1\n"
                  ".\n"
                  "FontFile\n"
                  "Mono\\=Face=mono.ttf\n"
                  "Restricted=restricted.ttf\n"
                  "Truncated=truncated.ttf\n"
                  "Huge=huge.ttf\n"
                  ".\n"
                  "Encoding\n"
                  "Swapped=swapped.enc\n"
                  "Empty=empty.enc\n"
                  ".\n");
    WriteFile(dir_.file("swapped.enc"), "% A and B change places\n32 /space\n65 /B\n0x42 A\n");
    WriteFile(dir_.file("empty.enc"), "% nothing\n");
    setenv(text::kFontConfigEnv, dir_.file("Fonts.cfg").c_str(), 1);
  }
  void TearDown() override { unsetenv(text::kFontConfigEnv); }

  testsupport::ScratchDir dir_;
};

TEST_F(ConfiguredFonts, EachSourceGivesItsFormOrFailsCleanly) {
  struct {
    const char* name;
    int embed;
    int drawn;
    const char* pdffonts; // type and embedded columns of the font's row
  } const cases[] = {
      {"My Sans", 0, 1, "Type 1            WinAnsi          no "},
      {"My Sans", 1, 1, "Type 1            WinAnsi          yes"},
      {"Pfm Font", 0, 1, "Type 1            WinAnsi          no "},
      {"Pfm Font", 1, 0, ""}, // no outline file configured
      {"Mono=Face", 1, 1, "TrueType          WinAnsi          yes"},
      {"Restricted", 0, 1, "TrueType          WinAnsi          no "},
      {"Restricted", 1, 0, ""},
      {"Truncated", 0, 0, ""},
      {"Huge", 1, 0, ""},
      {"Unconfigured Name", 0, 0, ""},
  };
  for (const auto& c : cases) {
    texttest::Document doc;
    EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
    EngineSetOption(doc.h(), 106, 1, 24, c.name, nullptr);
    EngineSetOption(doc.h(), 130, c.embed, 0, "WinAnsiEncoding", nullptr);
    EXPECT_EQ(EngineDrawText(doc.h(), 40, 40, "AAA", 0), c.drawn) << c.name << c.embed;
    doc.Close();
    if (!c.drawn) continue;
    RunResult fonts = testsupport::Run("pdffonts " + Quote(doc.path()));
    EXPECT_NE(fonts.out.find(c.pdffonts), std::string::npos) << c.name << "\n" << fonts.out;
    EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path())) << c.name;
    RunResult text = testsupport::Run("pdftotext " + Quote(doc.path()) + " -");
    EXPECT_EQ(text.out, "AAA\n\n\f") << c.name;
  }
}

TEST_F(ConfiguredFonts, MetricsFilesGiveTheirWidths) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, 1, 100, "My Sans", nullptr);
  // A 667, space 278 in the metrics file.
  EXPECT_EQ(texttest::Measure(doc.h(), 250, 0, 100, "A A"), 161);
  EngineSetOption(doc.h(), 106, 1, 100, "Pfm Font", nullptr);
  // "!" is code 33: 10; space 300.
  EXPECT_EQ(texttest::Measure(doc.h(), 250, 0, 100, "! !"), 32);
}

TEST_F(ConfiguredFonts, EmbeddedType1ProgramRenders) {
  texttest::Document doc;
  EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, 1, 40, "My Sans", nullptr);
  EngineSetOption(doc.h(), 130, 1, 0, "WinAnsiEncoding", nullptr);
  ASSERT_EQ(EngineDrawText(doc.h(), 40, 40, "Hello", 0), 1);
  doc.Close();
  RunResult r = testsupport::Pikepdf(doc.path(), R"(
pdf = pikepdf.open(sys.argv[1])
ff = pdf.pages[0].Resources.Font.F0.FontDescriptor.FontFile
data = ff.read_bytes()
n1, n2, n3 = int(ff.Length1), int(ff.Length2), int(ff.Length3)
print(n1 + n2 + n3 == len(data), data[:2] == b'%!', data[n1 - 7:n1].strip().endswith(b'eexec'))
)");
  EXPECT_EQ(r.out, "True True True\n") << r.out;
  RunResult draw = testsupport::Run("mutool draw -q -r 72 -c gray -o " + Quote(doc.file("p.pgm")) +
                                    " " + Quote(doc.path()) + " 1 2>&1");
  ASSERT_EQ(draw.status, 0) << draw.out;
  std::string pgm = ReadFile(doc.file("p.pgm"));
  size_t dark = 0;
  for (size_t i = pgm.size() - 594 * 792; i < pgm.size(); ++i)
    dark += static_cast<unsigned char>(pgm[i]) < 128 ? 1 : 0;
  EXPECT_GT(dark, 200u);
}

// An encoding file gives codes other glyphs, for Type 1 and TrueType fonts alike.
TEST_F(ConfiguredFonts, EncodingFileRenamesTheCodes) {
  struct {
    const char* font;
    const char* encoding;
    int embed;
    int drawn;
  } const cases[] = {{"My Sans", "Swapped", 0, 1},
                     {"DejaVu Sans", "Swapped", 1, 1},
                     {"My Sans", "Empty", 0, 0},
                     {"My Sans", "Unconfigured", 0, 0}};
  for (const auto& c : cases) {
    texttest::Document doc;
    EngineSetOption(doc.h(), 109, 2, 2, nullptr, nullptr);
    EngineSetOption(doc.h(), 106, 1, 24, c.font, nullptr);
    EngineSetOption(doc.h(), 130, c.embed, 0, c.encoding, nullptr);
    EXPECT_EQ(EngineDrawText(doc.h(), 40, 40, "AB AB", 0), c.drawn) << c.font << c.encoding;
    doc.Close();
    if (!c.drawn) continue;
    RunResult text = testsupport::Run("pdftotext " + Quote(doc.path()) + " -");
    EXPECT_EQ(text.out, "BA BA\n\n\f") << c.font;
    // The widths follow the glyphs: code 65 measures as B.
    RunResult r = testsupport::Pikepdf(doc.path(), R"(
pdf = pikepdf.open(sys.argv[1])
f = pdf.pages[0].Resources.Font.F0
d = list(f.Encoding.Differences)  # [0 /code0 /code1 ...]
print(str(d[66]), str(d[67]), str(d[68]), int(f.Widths[65]), int(f.Widths[66]))
)");
    const char* widths = c.embed ? "/B /A /.notdef 686 684\n" : "/B /A /.notdef 667 667\n";
    EXPECT_EQ(r.out, widths) << c.font;
    EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path())) << c.font;
  }
}

} // namespace
