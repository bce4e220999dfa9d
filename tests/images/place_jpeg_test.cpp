// JPEG files placed through the engine, judged by qpdf, pikepdf, mupdf and poppler.
#include <gtest/gtest.h>

#include <string>

#include "engine_helpers.h"
#include "fixtures.h"
#include "test_support.h"

namespace {

using enginetest::Ask;
using enginetest::PageCount;
using enginetest::PlaceEach;
using fixtures::Raster;
using testsupport::QpdfCheckClean;
using testsupport::ScratchDir;

struct JpegCase {
  const char* name;
  int components;
  bool progressive;
  bool adobe;
  size_t garbage;
  std::string trailing;
};

void PrintTo(const JpegCase& c, std::ostream* os) {
  *os << c.name;
}

class PlacedJpeg : public ::testing::TestWithParam<JpegCase> {};

// CMYK fixtures use pure ink values, which every reader maps to RGB the same way.
Raster Fixture(int components) {
  if (components != 4) return fixtures::Pattern(96, 64, components);
  Raster r{96, 64, 4, {}};
  r.pixels.assign(96 * 64 * 4, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x) {
      uint8_t* p = r.at(x, y);
      if (x >= 8 && x < 40 && y >= 8 && y < 40) p[3] = 255; // black square
      if (x >= 56 && y >= 24) p[0] = 255;                   // cyan block
    }
  return r;
}

TEST_P(PlacedJpeg, StreamIsTheFileAndPageRendersLikeLibjpeg) {
  const JpegCase& c = GetParam();
  ScratchDir dir;
  Raster source = Fixture(c.components);
  fixtures::JpegOptions o;
  o.progressive = c.progressive;
  o.adobeMarker = c.adobe;
  o.quality = 92;
  std::string jpeg = fixtures::EncodeJpeg(source, o);
  std::string file = std::string(c.garbage, '\0') + jpeg + c.trailing;
  std::string in = dir.file("in.jpg"), pdf = dir.file("out.pdf");
  testsupport::WriteFile(in, file);

  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\np = pdf.pages[0]\n"
                     "print(list(p.MediaBox), list(p.Resources.XObject.keys()))"),
            "[0, 0, 96, 64] ['/I0']");

  std::string raw = dir.file("raw.bin");
  EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\nim = pdf.pages[0].Resources.XObject['/I0']\n"
                     "open('" +
                         raw +
                         "', 'wb').write(im.read_raw_bytes())\n"
                         "print(im.Filter, im.ColorSpace, im.BitsPerComponent, '/Decode' in im)"),
            std::string("/DCTDecode ") +
                (c.components == 1   ? "/DeviceGray"
                 : c.components == 3 ? "/DeviceRGB"
                                     : "/DeviceCMYK") +
                " 8 " + (c.components == 4 && c.adobe ? "True" : "False"));
  EXPECT_TRUE(testsupport::ReadFile(raw) == jpeg + c.trailing) << "stream differs from the file";

  // mupdf decodes the JPEG itself, so allow the small differences between decoders.
  Raster expected = fixtures::ToRgb(fixtures::DecodeJpeg(jpeg));
  Raster mupdf = fixtures::RenderMupdf(pdf, 1, dir.path().string());
  EXPECT_LE(fixtures::MaxDifference(mupdf, expected), 24);
  EXPECT_LE(fixtures::MeanDifference(mupdf, expected), 1.5);
  Raster poppler = fixtures::RenderPoppler(pdf, 1, dir.path().string());
  EXPECT_TRUE(fixtures::PopplerAgrees(poppler, expected, c.components == 4));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlacedJpeg,
                         ::testing::Values(JpegCase{"baseline", 3, false, true, 0, ""},
                                           JpegCase{"progressive", 3, true, true, 0, ""},
                                           JpegCase{"grey", 1, false, true, 0, ""},
                                           JpegCase{"cmyk_adobe", 4, false, true, 0, ""},
                                           JpegCase{"cmyk_plain", 4, false, false, 0, ""},
                                           JpegCase{"garbage_700", 3, false, true, 700, ""},
                                           JpegCase{"trailing_bytes", 3, false, true, 0,
                                                    std::string("after\xFF\xD9!", 8)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlacedJpegRefusal, GivesZeroAndLeavesTheDocumentAsItWas) {
  ScratchDir dir;
  std::string good = dir.file("good.jpg");
  std::string jpeg = fixtures::EncodeJpeg(fixtures::Pattern(40, 30, 3));
  testsupport::WriteFile(good, jpeg);
  size_t sof = 0;
  for (size_t i = 2; i + 1 < jpeg.size(); ++i)
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && static_cast<uint8_t>(jpeg[i + 1]) == 0xC0) {
      sof = i;
      break;
    }
  ASSERT_GT(sof, 0u);
  struct Bad {
    const char* name;
    std::string bytes;
  };
  std::string twelve = jpeg, arithmetic = jpeg;
  twelve[sof + 4] = 12;
  arithmetic[sof + 1] = '\xC9';
  std::vector<Bad> cases = {{"garbage_1000", std::string(1000, '\0') + jpeg},
                            {"12-bit", twelve},
                            {"arithmetic", arithmetic},
                            {"truncated", jpeg.substr(0, sof + 4)},
                            {"empty", ""}};
  for (const Bad& b : cases) {
    std::string in = dir.file(std::string(b.name) + ".jpg");
    testsupport::WriteFile(in, b.bytes);
    std::string pdf = dir.file(std::string(b.name) + ".pdf");
    EXPECT_EQ(PlaceEach(pdf, {good, in}), (std::vector<int>{1, 0})) << b.name;
    EXPECT_TRUE(QpdfCheckClean(pdf)) << b.name;
    EXPECT_EQ(PageCount(pdf), 1) << b.name;
    EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\n"
                       "print(sum(1 for o in pdf.objects if isinstance(o, pikepdf.Stream) and "
                       "o.get('/Subtype') == '/Image'))"),
              "1")
        << b.name;
  }
  EXPECT_EQ(PlaceImageFile(1023, good.c_str()), 0) << "bad handle";
  EXPECT_EQ(PlaceImageFile(0, good.c_str()), 0) << "bad handle";
  int h = EngineCreate(dir.file("null.pdf").c_str());
  EXPECT_EQ(PlaceImageFile(h, nullptr), 0);
  EXPECT_EQ(PlaceImageFile(h, dir.file("missing.jpg").c_str()), 0);
  EngineClose(h);
}

// A solid colour JPEG, so placement can be read off the rendering.
std::string SolidJpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  Raster s{w, h, 3, {}};
  s.pixels.resize(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < s.pixels.size(); i += 3) {
    s.pixels[i] = r;
    s.pixels[i + 1] = g;
    s.pixels[i + 2] = b;
  }
  fixtures::JpegOptions o;
  o.quality = 95;
  return fixtures::EncodeJpeg(s, o);
}

bool IsColour(const uint8_t* p, int r, int g, int b) {
  return std::abs(p[0] - r) < 30 && std::abs(p[1] - g) < 30 && std::abs(p[2] - b) < 30;
}

TEST(PlacedJpegPage, BoxScalesTheImageAndResourcesListOnlyThatPagesImages) {
  ScratchDir dir;
  std::string red = dir.file("red.jpg"), blue = dir.file("blue.jpg");
  testsupport::WriteFile(red, SolidJpeg(400, 200, 255, 0, 0));
  testsupport::WriteFile(blue, SolidJpeg(50, 50, 0, 0, 255));
  std::string pdf = dir.file("out.pdf");
  int h = EngineCreate(pdf.c_str());
  ASSERT_NE(h, 0);
  ASSERT_EQ(EngineSetOption(h, 109, 300, 400, nullptr, nullptr), 1);
  EngineSetOption(h, 104, 20, 30, "200", "100");
  EXPECT_EQ(PlaceImageFile(h, red.c_str()), 1);
  EngineSetOption(h, 104, 250, 350, "40", "40");
  EXPECT_EQ(PlaceImageFile(h, blue.c_str()), 1);
  EngineSetOption(h, 109, 0, 0, nullptr, nullptr);
  EXPECT_EQ(PlaceImageFile(h, blue.c_str()), 1); // automatic page
  EngineClose(h);

  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\n"
                     "for p in pdf.pages:\n"
                     "  print(list(p.MediaBox), sorted(p.Resources.XObject.keys()), "
                     "[str(n) for n in p.Resources.ProcSet], len(p.obj.Contents))"),
            "[0, 0, 300, 400] ['/I0', '/I1'] ['/PDF', '/Text', '/ImageC'] 3\n"
            "[0, 0, 50, 50] ['/I2'] ['/PDF', '/Text', '/ImageC'] 1");

  Raster page = fixtures::RenderMupdf(pdf, 1, dir.path().string());
  ASSERT_EQ(page.width, 300);
  ASSERT_EQ(page.height, 400);
  // The red box spans x 20..220, y 30..130 from the top; the blue one x 250..290, y 350..390.
  EXPECT_TRUE(IsColour(page.at(21, 31), 255, 0, 0));
  EXPECT_TRUE(IsColour(page.at(218, 128), 255, 0, 0));
  EXPECT_TRUE(IsColour(page.at(18, 31), 255, 255, 255));
  EXPECT_TRUE(IsColour(page.at(222, 128), 255, 255, 255));
  EXPECT_TRUE(IsColour(page.at(100, 28), 255, 255, 255));
  EXPECT_TRUE(IsColour(page.at(100, 132), 255, 255, 255));
  EXPECT_TRUE(IsColour(page.at(251, 351), 0, 0, 255));
  EXPECT_TRUE(IsColour(page.at(288, 388), 0, 0, 255));
  EXPECT_TRUE(IsColour(page.at(288, 392), 255, 255, 255));
  Raster poppler = fixtures::RenderPoppler(pdf, 1, dir.path().string());
  EXPECT_TRUE(fixtures::PopplerAgrees(poppler, page, false));
}

TEST(PlacedJpegPage, NaturalSizeBoxPutsTheImageTopAtTheBox) {
  ScratchDir dir;
  std::string red = dir.file("red.jpg");
  testsupport::WriteFile(red, SolidJpeg(60, 40, 255, 0, 0));
  std::string pdf = dir.file("out.pdf");
  int h = EngineCreate(pdf.c_str());
  EngineSetOption(h, 109, 200, 200, nullptr, nullptr);
  EngineSetOption(h, 104, 10, 20, nullptr, nullptr);
  EXPECT_EQ(PlaceImageFile(h, red.c_str()), 1);
  EngineClose(h);
  Raster page = fixtures::RenderMupdf(pdf, 1, dir.path().string());
  ASSERT_EQ(page.width, 200);
  EXPECT_TRUE(IsColour(page.at(11, 21), 255, 0, 0));
  EXPECT_TRUE(IsColour(page.at(68, 58), 255, 0, 0));
  EXPECT_TRUE(IsColour(page.at(11, 62), 255, 255, 255));
  EXPECT_TRUE(IsColour(page.at(11, 18), 255, 255, 255));
}

} // namespace

namespace {

TEST(EngineRunner, PlaceImageFilePrintsItsResult) {
  ScratchDir dir;
  std::string jpeg = dir.file("a.jpg"), pdf = dir.file("a.pdf"), script = dir.file("s.txt");
  testsupport::WriteFile(jpeg, fixtures::EncodeJpeg(fixtures::Pattern(30, 20, 3)));
  testsupport::WriteFile(script, "EngineCreate \"" + pdf + "\"\nPlaceImageFile $ \"" + jpeg +
                                     "\"\nPlaceImageFile $ \"" + dir.file("none.jpg") +
                                     "\"\nPlaceImageFile $ -\nEngineClose $\n");
  testsupport::RunResult r =
      testsupport::Run(testsupport::Quote(testsupport::BinPath("pictofold-engine")) + " " +
                       testsupport::Quote(script));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\n1\n0\n0\n1\n");
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(PageCount(pdf), 1);
}

} // namespace
