// TIFF files placed through the engine: copied strips keep their compression, everything
// renders like libtiff's own decoding.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>

#include "engine_helpers.h"
#include "fixtures.h"
#include "test_support.h"

namespace {

using enginetest::Ask;
using enginetest::PageCount;
using enginetest::PlaceEach;
using fixtures::Raster;
using fixtures::TiffPage;
using testsupport::QpdfCheckClean;
using testsupport::ScratchDir;

// Per image XObject of the first page, in name order: filter, bits, colour space, decode
// parameters and Decode array.
const char kDescribe[] =
    "pdf = pikepdf.open(sys.argv[1])\n"
    "xs = pdf.pages[0].Resources.XObject\n"
    "def name(v):\n"
    "  if isinstance(v, pikepdf.Array): return '[' + ' '.join(name(x) for x in v if not "
    "isinstance(x, pikepdf.Stream)) + ']'\n"
    "  return str(v)\n"
    "k = sorted(xs.keys(), key=lambda s: int(s[2:]))\n"
    "im = xs[k[0]]\n"
    "parms = im.get('/DecodeParms')\n"
    "p = ' '.join('%s=%s' % (key, str(parms[key])) for key in sorted(parms.keys())) if parms is "
    "not None else '-'\n"
    "print(len(k), name(im.get('/Filter', '-')), im.BitsPerComponent, name(im.ColorSpace), p, "
    "name(im.get('/Decode', '-')))";

TiffPage Bitonal(int compression, int photometric, int fillOrder, uint32_t t4 = 0) {
  TiffPage p;
  p.raster = fixtures::BitonalPattern(203, 97);
  p.bitsPerSample = 1;
  p.photometric = photometric;
  p.compression = compression;
  p.fillOrder = fillOrder;
  p.group3Options = t4;
  return p;
}

TiffPage Colour(int components, int compression, int predictor = 0, int photometric = -1) {
  TiffPage p;
  p.raster = fixtures::Pattern(91, 57, components);
  p.photometric = photometric >= 0 ? photometric : components == 1 ? 1 : 2;
  p.compression = compression;
  p.predictor = predictor;
  p.rowsPerStrip = 16;
  return p;
}

TiffPage Cmyk(int compression) {
  TiffPage p;
  p.raster = Raster{64, 40, 4, {}};
  p.raster.pixels.assign(64 * 40 * 4, 0);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* q = p.raster.at(x, y);
      if (x < 20) q[3] = 255;
      if (y > 20) q[1] = 255;
      if (x > 40 && y < 10) q[2] = 255;
    }
  p.photometric = PHOTOMETRIC_SEPARATED;
  p.compression = compression;
  p.rowsPerStrip = 64;
  return p;
}

TiffPage Palette(int bits, int compression) {
  TiffPage p;
  int entries = 1 << bits;
  p.raster = Raster{70, 33, 1, {}};
  p.raster.pixels.resize(70 * 33);
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 70; ++x)
      *p.raster.at(x, y) = static_cast<uint8_t>((x / 5 + y / 4) % entries);
  p.bitsPerSample = bits;
  p.photometric = PHOTOMETRIC_PALETTE;
  p.compression = compression;
  p.colourMap.resize(static_cast<size_t>(entries) * 3);
  for (int i = 0; i < entries; ++i) {
    p.colourMap[i] = static_cast<uint16_t>(((i * 37) % 256) * 257);
    p.colourMap[entries + i] = static_cast<uint16_t>(((i * 91 + 40) % 256) * 257);
    p.colourMap[2 * entries + i] = static_cast<uint16_t>((255 - (i * 13) % 256) * 257);
  }
  return p;
}

// Some writers store colour maps of 8-bit values; they are taken as they are.
TiffPage NarrowMap(TiffPage p) {
  for (auto& v : p.colourMap)
    v = static_cast<uint16_t>(v / 257);
  return p;
}

struct TiffCase {
  const char* name;
  TiffPage page;
  // What the first XObject looks like (see kDescribe).
  std::string described;
};

void PrintTo(const TiffCase& c, std::ostream* os) {
  *os << c.name;
}

class PlacedTiff : public ::testing::TestWithParam<TiffCase> {};

TEST_P(PlacedTiff, KeepsItsCompressionAndRendersLikeLibtiff) {
  const TiffCase& c = GetParam();
  ScratchDir dir;
  std::string in = dir.file("in.tif"), pdf = dir.file("out.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(in, {c.page}));
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(Ask(pdf, kDescribe), c.described);

  Raster expected = fixtures::DecodeTiff(in, 0);
  ASSERT_GT(expected.width, 0);
  if (c.page.bitsPerSample == 1) {
    // Black on white, whatever the photometric interpretation and fill order.
    EXPECT_EQ(fixtures::MaxDifference(expected, fixtures::ToRgb(c.page.raster)), 0);
  }
  Raster mupdf = fixtures::RenderMupdf(pdf, 1, dir.path().string());
  EXPECT_EQ(fixtures::MaxDifference(mupdf, expected), 0) << "mupdf";
  Raster poppler = fixtures::RenderPoppler(pdf, 1, dir.path().string());
  EXPECT_TRUE(
      fixtures::PopplerAgrees(poppler, expected, c.page.photometric == PHOTOMETRIC_SEPARATED));
}

const std::string kGrey = "[/DeviceGray]";

INSTANTIATE_TEST_SUITE_P(
    Bitonal, PlacedTiff,
    ::testing::Values(
        TiffCase{"g3_1d_white0", Bitonal(3, 0, 1),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /Rows=97 -"},
        TiffCase{"g3_1d_black0", Bitonal(3, 1, 1),
                 "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=203 /Rows=97 -"},
        TiffCase{"g3_1d_white0_lsb", Bitonal(3, 0, 2),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /Rows=97 -"},
        TiffCase{"g3_1d_black0_lsb", Bitonal(3, 1, 2),
                 "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=203 /Rows=97 -"},
        TiffCase{"g3_2d_white0", Bitonal(3, 0, 1, GROUP3OPT_2DENCODING),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /K=4 /Rows=97 -"},
        TiffCase{"g3_2d_black0_lsb", Bitonal(3, 1, 2, GROUP3OPT_2DENCODING),
                 "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=203 /K=4 /Rows=97 -"},
        TiffCase{"g3_2d_fill_bits", Bitonal(3, 0, 1, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /K=4 /Rows=97 -"},
        TiffCase{"g4_white0", Bitonal(4, 0, 1),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /K=-1 /Rows=97 -"},
        TiffCase{"g4_black0", Bitonal(4, 1, 1),
                 "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=203 /K=-1 /Rows=97 -"},
        TiffCase{"g4_white0_lsb", Bitonal(4, 0, 2),
                 "1 /CCITTFaxDecode 1 /DeviceGray /Columns=203 /K=-1 /Rows=97 -"},
        TiffCase{"g4_black0_lsb", Bitonal(4, 1, 2),
                 "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=203 /K=-1 /Rows=97 -"},
        TiffCase{"lzw_1bit_white0", Bitonal(5, 0, 1), "1 /LZWDecode 1 /DeviceGray - [1 0]"},
        TiffCase{"deflate_1bit_white0", Bitonal(32946, 0, 1),
                 "1 /FlateDecode 1 /DeviceGray - [1 0]"},
        TiffCase{"packbits_1bit_black0", Bitonal(32773, 1, 1),
                 "1 /RunLengthDecode 1 /DeviceGray - -"},
        TiffCase{"none_1bit_white0", Bitonal(1, 0, 1), "1 /FlateDecode 8 /DeviceGray - -"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Colour, PlacedTiff,
    ::testing::Values(
        TiffCase{"lzw_rgb_predictor", Colour(3, 5, 2),
                 "4 /LZWDecode 8 /DeviceRGB /Colors=3 /Columns=91 /Predictor=2 -"},
        TiffCase{"lzw_rgb", Colour(3, 5), "4 /LZWDecode 8 /DeviceRGB - -"},
        TiffCase{"lzw_grey_predictor", Colour(1, 5, 2),
                 "4 /LZWDecode 8 /DeviceGray /Columns=91 /Predictor=2 -"},
        TiffCase{"lzw_grey_white0", Colour(1, 5, 0, 0), "4 /LZWDecode 8 /DeviceGray - [1 0]"},
        TiffCase{"deflate_rgb_predictor", Colour(3, 32946, 2),
                 "4 /FlateDecode 8 /DeviceRGB /Colors=3 /Columns=91 /Predictor=2 -"},
        TiffCase{"adobe_deflate_grey", Colour(1, 8), "4 /FlateDecode 8 /DeviceGray - -"},
        TiffCase{"deflate_grey_white0", Colour(1, 32946, 0, 0),
                 "4 /FlateDecode 8 /DeviceGray - [1 0]"},
        TiffCase{"packbits_rgb", Colour(3, 32773), "4 /RunLengthDecode 8 /DeviceRGB - -"},
        TiffCase{"packbits_grey", Colour(1, 32773), "4 /RunLengthDecode 8 /DeviceGray - -"},
        TiffCase{"none_rgb", Colour(3, 1), "1 /FlateDecode 8 /DeviceRGB - -"},
        TiffCase{"none_grey", Colour(1, 1), "1 /FlateDecode 8 /DeviceGray - -"},
        TiffCase{"palette8_packbits", Palette(8, 32773),
                 "1 /RunLengthDecode 8 [/Indexed /DeviceRGB 255] - -"},
        TiffCase{"palette4_packbits", Palette(4, 32773),
                 "1 /RunLengthDecode 4 [/Indexed /DeviceRGB 15] - -"},
        TiffCase{"palette8_lzw", Palette(8, 5), "1 /LZWDecode 8 [/Indexed /DeviceRGB 255] - -"},
        TiffCase{"palette8_narrow_map", NarrowMap(Palette(8, 32773)),
                 "1 /RunLengthDecode 8 [/Indexed /DeviceRGB 255] - -"},
        TiffCase{"palette4_none", Palette(4, 1), "1 /FlateDecode 8 /DeviceRGB - -"},
        TiffCase{"cmyk_lzw", Cmyk(5), "1 /LZWDecode 8 /DeviceCMYK - -"},
        TiffCase{"cmyk_none", Cmyk(1), "1 /FlateDecode 8 /DeviceCMYK - -"}),
    [](const auto& info) { return std::string(info.param.name); });

TiffPage Tiled(TiffPage p) {
  p.tiled = true;
  return p;
}
TiffPage WithAlpha(TiffPage p) {
  p.extraSamples = 1;
  return p;
}

INSTANTIATE_TEST_SUITE_P(Decoded, PlacedTiff,
                         ::testing::Values(TiffCase{"tiled_g4", Tiled(Bitonal(4, 0, 1)),
                                                    "1 /FlateDecode 8 /DeviceGray - -"},
                                           TiffCase{"tiled_packbits_rgb", Tiled(Colour(3, 32773)),
                                                    "1 /FlateDecode 8 /DeviceRGB - -"},
                                           TiffCase{"packbits_rgba", WithAlpha(Colour(3, 32773)),
                                                    "1 /FlateDecode 8 /DeviceRGB - -"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlacedTiffStrips, TwentyTwoStripsStackFromTheTop) {
  ScratchDir dir;
  TiffPage p;
  p.raster = fixtures::BitonalPattern(1728, 2200);
  p.bitsPerSample = 1;
  p.photometric = 0;
  p.compression = 4;
  p.rowsPerStrip = 100;
  std::string in = dir.file("fax.tif"), pdf = dir.file("fax.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(in, {p}));
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(Ask(pdf, kDescribe), "22 /CCITTFaxDecode 1 /DeviceGray /K=-1 /Rows=100 -");
  testsupport::RunResult list = testsupport::Run("pdfimages -list " + testsupport::Quote(pdf));
  int ccitt = 0;
  for (size_t at = 0; (at = list.out.find(" ccitt ", at)) != std::string::npos; ++at)
    ++ccitt;
  EXPECT_EQ(ccitt, 22) << list.out;
  Raster expected = fixtures::ToRgb(p.raster);
  EXPECT_EQ(fixtures::MaxDifference(fixtures::RenderMupdf(pdf, 1, dir.path().string()), expected),
            0);
  EXPECT_TRUE(fixtures::PopplerAgrees(fixtures::RenderPoppler(pdf, 1, dir.path().string()),
                                      expected, false));
}

TEST(PlacedTiffStrips, LastStripMayBeShorter) {
  ScratchDir dir;
  TiffPage p = Colour(3, 5, 2);
  p.raster = fixtures::Pattern(2480, 45, 3);
  p.rowsPerStrip = 20;
  std::string in = dir.file("in.tif"), pdf = dir.file("out.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(in, {p}));
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\nxs = pdf.pages[0].Resources.XObject\n"
                     "print([int(xs['/I%d' % i].Height) for i in range(len(xs))])"),
            "[20, 20, 5]");
  EXPECT_EQ(fixtures::MaxDifference(fixtures::RenderMupdf(pdf, 1, dir.path().string()),
                                    fixtures::DecodeTiff(in, 0)),
            0);
}

TEST(PlacedTiffPages, OnePagePerDirectory) {
  ScratchDir dir;
  std::vector<TiffPage> pages = {Bitonal(4, 0, 1), Colour(3, 5, 2), Palette(4, 32773), Cmyk(1)};
  std::string in = dir.file("multi.tif"), pdf = dir.file("multi.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(in, pages));
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  ASSERT_EQ(PageCount(pdf), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(fixtures::MaxDifference(fixtures::RenderMupdf(pdf, i + 1, dir.path().string()),
                                      fixtures::DecodeTiff(in, i)),
              0)
        << "page " << i + 1;
  EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\n"
                     "print([sorted(p.Resources.XObject.keys()) for p in pdf.pages])"),
            "[['/I0'], ['/I1', '/I2', '/I3', '/I4'], ['/I5'], ['/I6']]");
}

TEST(PlacedTiffPages, AllDirectoriesShareAnOpenPage) {
  ScratchDir dir;
  std::string in = dir.file("two.tif"), pdf = dir.file("two.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(in, {Bitonal(4, 0, 1), Bitonal(4, 1, 1)}));
  int h = EngineCreate(pdf.c_str());
  EngineSetOption(h, 109, 500, 500, nullptr, nullptr);
  EXPECT_EQ(PlaceImageFile(h, in.c_str()), 1);
  EngineClose(h);
  EXPECT_EQ(PageCount(pdf), 1);
  EXPECT_EQ(
      Ask(pdf,
          "pdf = pikepdf.open(sys.argv[1])\nprint(sorted(pdf.pages[0].Resources.XObject.keys()))"),
      "['/I0', '/I1']");
}

TEST(PlacedTiffPages, HugeImageMakesACappedPageItFills) {
  ScratchDir dir;
  std::string in = dir.file("big.tif"), pdf = dir.file("big.pdf");
  // A blank 20000 x 10000 fax page, written row by row.
  TIFF* t = TIFFOpen(in.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 20000u);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 10000u);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 10000u);
  std::vector<uint8_t> row(20000 / 8, 0);
  for (uint32_t y = 0; y < 10000; ++y)
    ASSERT_GE(TIFFWriteScanline(t, row.data(), y, 0), 0);
  TIFFClose(t);
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(
      Ask(pdf,
          "pdf = pikepdf.open(sys.argv[1])\np = pdf.pages[0]\n"
          "print(list(p.MediaBox), b''.join(c.read_bytes() for c in p.obj.Contents).decode())"),
      "[0, 0, 14400, 7200] q 0.72 0 0 0.72 0 0 cm q 20000 0 0 10000 0 0 cm /I0 Do Q Q");
}

TEST(PlacedTiffStrips, ModifiedHuffmanRowsByteAlignedAreCopiedWordAlignedDecoded) {
  ScratchDir dir;
  // 8 x 4: white 8 | white 4 black 4 | white 4 black 4 | white 8, one code row per byte.
  const uint8_t bytes[] = {0x98, 0xB6, 0xB6, 0x98};
  const uint8_t words[] = {0x98, 0, 0xB6, 0, 0xB6, 0, 0x98, 0};
  struct Case {
    const char* name;
    int compression;
    int photometric;
    const uint8_t* data;
    size_t size;
    const char* described;
  } cases[] = {
      {"mh_white0", COMPRESSION_CCITTRLE, 0, bytes, sizeof bytes,
       "1 /CCITTFaxDecode 1 /DeviceGray /Columns=8 /EncodedByteAlign=True /K=0 /Rows=4 -"},
      {"mh_black0", COMPRESSION_CCITTRLE, 1, bytes, sizeof bytes,
       "1 /CCITTFaxDecode 1 /DeviceGray /BlackIs1=True /Columns=8 /EncodedByteAlign=True /K=0 "
       "/Rows=4 -"},
      {"mh_words", COMPRESSION_CCITTRLEW, 0, words, sizeof words,
       "1 /FlateDecode 8 /DeviceGray - -"},
  };
  for (const Case& c : cases) {
    std::string in = dir.file(std::string(c.name) + ".tif");
    std::string pdf = dir.file(std::string(c.name) + ".pdf");
    TIFF* t = TIFFOpen(in.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8u);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4u);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, static_cast<uint16_t>(c.photometric));
    TIFFSetField(t, TIFFTAG_COMPRESSION, static_cast<uint16_t>(c.compression));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4u);
    ASSERT_EQ(TIFFWriteRawStrip(t, 0, const_cast<uint8_t*>(c.data), static_cast<tmsize_t>(c.size)),
              static_cast<tmsize_t>(c.size));
    TIFFClose(t);
    Raster expected = fixtures::DecodeTiff(in, 0);
    ASSERT_EQ(expected.width, 8) << c.name;
    EXPECT_NE(expected.at(5, 1)[0], expected.at(5, 0)[0]) << c.name << ": runs not decoded";
    EXPECT_EQ(expected.at(1, 1)[0], expected.at(5, 0)[0]) << c.name;
    ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1}) << c.name;
    EXPECT_TRUE(QpdfCheckClean(pdf)) << c.name;
    EXPECT_EQ(Ask(pdf, kDescribe), c.described) << c.name;
    EXPECT_EQ(fixtures::MaxDifference(fixtures::RenderMupdf(pdf, 1, dir.path().string()), expected),
              0)
        << c.name;
  }
}

TEST(PlacedTiffStrips, PackBitsNoOpHeadersDoNotEndTheRunLengthData) {
  ScratchDir dir;
  std::string in = dir.file("noop.tif"), pdf = dir.file("noop.pdf");
  // 6 x 3 grey; each row packed on its own, with the no-op header 128 in two rows.
  const uint8_t packed[] = {0x80, 0x05, 10, 20, 30,   40,   50,  60, // row 0
                            0xFB, 0x90,                              // row 1
                            0x02, 1,    2,  3,  0x80, 0xFE, 0xC8};   // row 2
  TIFF* t = TIFFOpen(in.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 6u);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, 3u);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3u);
  ASSERT_EQ(TIFFWriteRawStrip(t, 0, const_cast<uint8_t*>(packed), sizeof packed),
            static_cast<tmsize_t>(sizeof packed));
  TIFFClose(t);
  Raster expected = fixtures::DecodeTiff(in, 0);
  ASSERT_EQ(expected.width, 6);
  EXPECT_EQ(expected.at(5, 0)[0], 60);
  EXPECT_EQ(expected.at(5, 2)[0], 200);
  ASSERT_EQ(PlaceEach(pdf, {in}), std::vector<int>{1});
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(Ask(pdf, kDescribe), "1 /RunLengthDecode 8 /DeviceGray - -");
  EXPECT_EQ(fixtures::MaxDifference(fixtures::RenderMupdf(pdf, 1, dir.path().string()), expected),
            0);
}

TEST(PlacedTiffRefusal, GivesZeroNoPageAndAValidFile) {
  ScratchDir dir;
  std::string good = dir.file("good.tif");
  ASSERT_TRUE(fixtures::WriteTiff(good, {Bitonal(4, 0, 1)}));
  TiffPage sixteen = Colour(1, 1);
  sixteen.bitsPerSample = 16;
  struct Bad {
    const char* name;
    TiffPage page;
  } cases[] = {
      {"jpeg", Colour(3, 7)},
      {"ycbcr", Colour(3, 1, 0, PHOTOMETRIC_YCBCR)},
      {"cielab", Colour(3, 1, 0, PHOTOMETRIC_CIELAB)},
      {"sixteen_bits", sixteen},
      {"lzw_alpha", WithAlpha(Colour(3, 5))},
      {"deflate_alpha", WithAlpha(Colour(3, 32946))},
      {"lzw_tiled", Tiled(Colour(3, 5))},
  };
  for (const Bad& b : cases) {
    std::string in = dir.file(std::string(b.name) + ".tif");
    ASSERT_TRUE(fixtures::WriteTiff(in, {b.page})) << b.name;
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
  // A later directory that cannot be embedded ends the file's pages with success.
  std::string mixed = dir.file("mixed.tif"), pdf = dir.file("mixed.pdf");
  ASSERT_TRUE(fixtures::WriteTiff(mixed, {Bitonal(4, 0, 1), Colour(3, 7), Bitonal(4, 0, 1)}));
  EXPECT_EQ(PlaceEach(pdf, {mixed}), std::vector<int>{1});
  EXPECT_EQ(PageCount(pdf), 1);

  // Damaged files.
  std::string bytes = testsupport::ReadFile(good);
  std::string cut = dir.file("cut.tif");
  testsupport::WriteFile(cut, bytes.substr(0, bytes.size() / 2));
  std::string cutPdf = dir.file("cut.pdf");
  EXPECT_EQ(PlaceEach(cutPdf, {cut}), std::vector<int>{0});
  EXPECT_TRUE(QpdfCheckClean(cutPdf));
  EXPECT_EQ(PageCount(cutPdf), 0);
}

// Sets the value of a one-value SHORT or LONG entry of the first directory of a little-endian
// TIFF.
bool PatchTag(std::string& tiff, uint16_t tag, uint32_t value) {
  auto u16 = [&](size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(tiff[at]) | static_cast<uint8_t>(tiff[at + 1])
                                                                      << 8);
  };
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
  };
  if (tiff.size() < 8 || tiff[0] != 'I') return false;
  size_t ifd = u32(4);
  if (ifd + 2 > tiff.size()) return false;
  for (size_t i = 0, n = u16(ifd); i < n; ++i) {
    size_t e = ifd + 2 + i * 12;
    if (e + 12 > tiff.size()) return false;
    if (u16(e) != tag) continue;
    int bytes = u16(e + 2) == 3 ? 2 : 4;
    for (int b = 0; b < bytes; ++b)
      tiff[e + 8 + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
    return true;
  }
  return false;
}

TEST(PlacedTiffRefusal, HostileSizesAreRefusedBeforeAnythingIsWritten) {
  ScratchDir dir;
  std::string fax = dir.file("fax.tif"), grey = dir.file("grey.tif");
  ASSERT_TRUE(fixtures::WriteTiff(fax, {Bitonal(4, 0, 1)}));
  ASSERT_TRUE(fixtures::WriteTiff(grey, {Colour(1, 1)}));
  struct Case {
    const char* name;
    std::string source;
    uint16_t tag;
    uint32_t value;
  } cases[] = {
      {"strip_past_end", fax, TIFFTAG_STRIPBYTECOUNTS, 0x7FFFFFF0u},
      {"strip_offset_past_end", fax, TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0u},
      {"decoded_too_large", grey, TIFFTAG_IMAGEWIDTH, 0xFFFFFFu},
      {"strips_missing", fax, TIFFTAG_IMAGELENGTH, 5000u},
  };
  for (const Case& c : cases) {
    std::string bytes = testsupport::ReadFile(c.source);
    ASSERT_TRUE(PatchTag(bytes, c.tag, c.value)) << c.name;
    std::string in = dir.file(std::string(c.name) + ".tif");
    std::string pdf = dir.file(std::string(c.name) + ".pdf");
    testsupport::WriteFile(in, bytes);
    EXPECT_EQ(PlaceEach(pdf, {in}), std::vector<int>{0}) << c.name;
    EXPECT_TRUE(QpdfCheckClean(pdf)) << c.name;
    EXPECT_EQ(Ask(pdf, "pdf = pikepdf.open(sys.argv[1])\n"
                       "print(len(pdf.pages), sum(1 for o in pdf.objects if "
                       "isinstance(o, pikepdf.Stream)))"),
              "0 0")
        << c.name;
  }
}

} // namespace
