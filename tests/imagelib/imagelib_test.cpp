// Decoding, bad input, conversions and writers of the image library, on fixtures made here.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fixtures.h"
#include "imagelib/imagelib.h"
#include "test_support.h"

using namespace imagelib;
using fixtures::kH;
using fixtures::kW;
using fixtures::Pattern;
using fixtures::Rgba;

namespace {

std::span<const uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

Result LoadBytes(const std::string& bytes, ImageType type, Image& img, bool headerOnly = false,
                 int frame = 0) {
  LoadOptions o;
  o.headerOnly = headerOnly;
  o.frame = frame;
  return LoadFromMemory(Span(bytes), type, o, img);
}

int Index(const Image& img, int x, int y) {
  const uint8_t* r = img.Row(y);
  switch (img.BitsPerPixel()) {
  case 1:
    return (r[x >> 3] >> (7 - (x & 7))) & 1;
  case 4:
    return (x & 1) ? (r[x >> 1] & 15) : (r[x >> 1] >> 4);
  default:
    return r[x];
  }
}

// What a pixel looks like, whatever the depth.
Rgba Visual(const Image& img, int x, int y) {
  Rgba c;
  if (img.BitsPerPixel() == 24) {
    const uint8_t* p = img.Row(y) + 3 * x;
    c = Rgba{p[0], p[1], p[2], 255};
  } else {
    Rgb e = img.Palette()[Index(img, x, y)];
    c = Rgba{e.r, e.g, e.b, 255};
  }
  if (img.HasAlpha()) c.a = img.AlphaRow(y)[x];
  return c;
}

int Luma(const Rgb& c) {
  return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

Pattern Blocky(Pattern p) {
  return [p](int x, int y) { return p(x / 3 * 3, y); };
}
// Each channel kept to `bits` significant bits and spread back to 8.
Pattern Quantised(Pattern p, int rb, int gb, int bb) {
  auto q = [](uint8_t v, int bits) {
    int m = (1 << bits) - 1;
    return static_cast<uint8_t>(((v >> (8 - bits)) * 255 + m / 2) / m);
  };
  return [=](int x, int y) {
    Rgba c = p(x, y);
    return Rgba{q(c.r, rb), q(c.g, gb), q(c.b, bb), c.a};
  };
}
Pattern MaskedBy128(Pattern p) {
  return [p](int x, int y) {
    Rgba c = p(x, y);
    c.a = fixtures::AlphaAt(x, y) < 128 ? 0 : 255;
    return c;
  };
}
Pattern PaletteAlpha(int colours) {
  return [colours](int x, int y) {
    int i = fixtures::IndexAt(x, y, colours);
    Rgba c = fixtures::PaletteColour(i);
    c.a = static_cast<uint8_t>(i * 37 + 11);
    return c;
  };
}

struct DecodeCase {
  const char* name;
  std::function<std::string()> make;
  ImageType type;
  int bpp;
  bool alpha;
  Pattern expect;
  int tolerance = 0; // largest channel difference allowed (lossy formats)
  double dpi = 0;
  int compression = kCompressionNone;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << c.name;
}

using fixtures::BmpOptions;
using fixtures::PngOptions;
using fixtures::TgaOptions;
using fixtures::TiffPage;

std::vector<DecodeCase> DecodeCases() {
  using namespace fixtures;
  auto bmp = [](BmpOptions o) { return [o] { return Bmp(o); }; };
  auto png = [](PngOptions o) { return [o] { return Png(o); }; };
  auto tiff = [](TiffPage p) { return [p] { return Tiff({p}); }; };
  auto tga = [](TgaOptions o) { return [o] { return Tga(o); }; };
  BmpOptions b;
  std::vector<DecodeCase> v = {
      {"bmp1", bmp({1}), ImageType::kBmp, 1, false, InkPattern(), 0, 300},
      {"bmp2", bmp({2}), ImageType::kBmp, 4, false, PalettePattern(4), 0, 300},
      {"bmp4", bmp({4}), ImageType::kBmp, 4, false, PalettePattern(16), 0, 300},
      {"bmp8", bmp({8}), ImageType::kBmp, 8, false, PalettePattern(256), 0, 300},
      {"bmp16_565", bmp({16}), ImageType::kBmp, 24, false, Quantised(RgbPattern(), 5, 6, 5), 0,
       300},
      {"bmp24", bmp({24}), ImageType::kBmp, 24, false, RgbPattern(), 0, 300},
      {"bmp24_topdown", bmp({24, 40, true}), ImageType::kBmp, 24, false, RgbPattern(), 0, 300},
      {"bmp32", bmp({32}), ImageType::kBmp, 24, false, RgbPattern(), 0, 300},
      {"bmp32_v4_alpha", bmp({32, 108, false, 0, true}), ImageType::kBmp, 24, true, RgbaPattern(),
       0, 300},
      {"bmp32_v5_plain", bmp({32, 124}), ImageType::kBmp, 24, false, RgbPattern(), 0, 300},
      {"bmp16_v4_fields", bmp({16, 108}), ImageType::kBmp, 24, false,
       Quantised(RgbPattern(), 5, 6, 5), 0, 300},
      {"bmp_rle8", bmp({8, 40, false, 8}), ImageType::kBmp, 8, false, PalettePattern(256), 0, 300},
      {"bmp_rle4", bmp({4, 40, false, 4}), ImageType::kBmp, 4, false, PalettePattern(16), 0, 300},
      {"bmp_os2_core24", bmp({24, 12}), ImageType::kBmp, 24, false, RgbPattern()},
      {"bmp_os2_core8", bmp({8, 12}), ImageType::kBmp, 8, false, PalettePattern(256)},
      {"bmp_os2_v2", bmp({8, 64}), ImageType::kBmp, 8, false, PalettePattern(256), 0, 300},
      {"bmp_headerless_dib", bmp({24, 40, false, 0, false, false}), ImageType::kBmp, 24, false,
       RgbPattern(), 0, 300},
      {"bmp_array", bmp({8, 40, false, 0, false, true, true}), ImageType::kBmp, 8, false,
       PalettePattern(256), 0, 300},
      {"png_grey1", png({0, 1}), ImageType::kPng, 1, false, InkPattern()},
      {"png_grey2", png({0, 2}), ImageType::kPng, 8, false, Quantised(GreyPattern(), 2, 2, 2)},
      {"png_grey4", png({0, 4}), ImageType::kPng, 8, false, Quantised(GreyPattern(), 4, 4, 4)},
      {"png_grey8", png({0, 8, false, false, 3937}), ImageType::kPng, 8, false, GreyPattern(), 0,
       100},
      {"png_grey16", png({0, 16}), ImageType::kPng, 8, false, GreyPattern()},
      {"png_grey_alpha", png({4, 8}), ImageType::kPng, 8, true, GreyAlphaPattern()},
      {"png_grey_alpha16", png({4, 16}), ImageType::kPng, 8, true, GreyAlphaPattern()},
      {"png_rgb", png({2, 8}), ImageType::kPng, 24, false, RgbPattern()},
      {"png_rgb16", png({2, 16}), ImageType::kPng, 24, false, RgbPattern()},
      {"png_rgba", png({6, 8}), ImageType::kPng, 24, true, RgbaPattern()},
      {"png_rgba16_interlaced", png({6, 16, false, true}), ImageType::kPng, 24, true,
       RgbaPattern()},
      {"png_rgb_interlaced", png({2, 8, false, true}), ImageType::kPng, 24, false, RgbPattern()},
      {"png_palette1", png({3, 1}), ImageType::kPng, 1, false, PalettePattern(2)},
      {"png_palette2", png({3, 2}), ImageType::kPng, 4, false, PalettePattern(4)},
      {"png_palette4", png({3, 4}), ImageType::kPng, 4, false, PalettePattern(16)},
      {"png_palette8_trns", png({3, 8, true}), ImageType::kPng, 8, true, PaletteAlpha(256)},
      {"png_palette4_interlaced", png({3, 4, false, true}), ImageType::kPng, 4, false,
       PalettePattern(16)},
      {"jpeg_grey", [] { return Jpeg(true, 95, 300); }, ImageType::kJpeg, 8, false, GreyPattern(),
       40, 300, kCompressionJpeg},
      {"jpeg_grey_1dpi_is_none", [] { return Jpeg(true, 95, 1); }, ImageType::kJpeg, 8, false,
       GreyPattern(), 40, 0, kCompressionJpeg},
      {"jpeg_exif_inch", [] { return JpegWithExif(240, 2, false); }, ImageType::kJpeg, 8, false,
       GreyPattern(), 40, 240, kCompressionJpeg},
      {"jpeg_exif_cm_big_endian", [] { return JpegWithExif(118, 3, true); }, ImageType::kJpeg, 8,
       false, GreyPattern(), 40, 299.72, kCompressionJpeg},
      {"jpeg_rgb", [] { return Jpeg(false, 95); }, ImageType::kJpeg, 24, false, RgbPattern(), 128,
       0, kCompressionJpeg},
      {"jpeg_cmyk", [] { return Jpeg(false, 95, 0, kW, kH, true); }, ImageType::kJpeg, 24, false,
       RgbPattern(), 60, 0, kCompressionJpeg},
      {"tiff_bitonal_white0", tiff({1, 1, 0, 1}), ImageType::kTiff, 1, false, InkPattern()},
      {"tiff_bitonal_black0_lzw", tiff({1, 1, 1, 5}), ImageType::kTiff, 1, false, InkPattern(), 0,
       0, kCompressionLzw},
      {"tiff_g4", tiff({1, 1, 0, 4, false, false, false, 200}), ImageType::kTiff, 1, false,
       InkPattern(), 0, 200, kCompressionCcittG4},
      {"tiff_g3", tiff({1, 1, 0, 3}), ImageType::kTiff, 1, false, InkPattern(), 0, 0,
       kCompressionCcittG3},
      {"tiff_grey8_deflate", tiff({8, 1, 1, 32946}), ImageType::kTiff, 8, false, GreyPattern(), 0,
       0, kCompressionDeflate},
      {"tiff_grey16", tiff({16, 1, 1, 1}), ImageType::kTiff, 8, false, GreyPattern()},
      {"tiff_grey_white0", tiff({8, 1, 0, 1}), ImageType::kTiff, 8, false,
       [](int x, int y) {
         uint8_t g = 255 - fixtures::GreyAt(x, y);
         return Rgba{g, g, g, 255};
       }},
      {"tiff_grey_alpha", tiff({8, 1, 1, 5, false, false, true}), ImageType::kTiff, 8, true,
       GreyAlphaPattern(), 0, 0, kCompressionLzw},
      {"tiff_palette4", tiff({4, 1, 3, 32773}), ImageType::kTiff, 4, false, PalettePattern(16), 0,
       0, kCompressionPackBits},
      {"tiff_palette8", tiff({8, 1, 3, 5}), ImageType::kTiff, 8, false, PalettePattern(256), 0, 0,
       kCompressionLzw},
      {"tiff_rgb", tiff({8, 3, 2, 1, false, false, false, 118.11f, 3}), ImageType::kTiff, 24, false,
       RgbPattern(), 0, 300},
      {"tiff_rgb16", tiff({16, 3, 2, 5}), ImageType::kTiff, 24, false, RgbPattern(), 0, 0,
       kCompressionLzw},
      {"tiff_rgba", tiff({8, 3, 2, 8, false, false, true}), ImageType::kTiff, 24, true,
       RgbaPattern(), 1, 0, kCompressionAdobeDeflate},
      {"tiff_rgb_tiled", tiff({8, 3, 2, 5, true}), ImageType::kTiff, 24, false, RgbPattern(), 0, 0,
       kCompressionLzw},
      {"tiff_grey_tiled", tiff({8, 1, 1, 1, true}), ImageType::kTiff, 8, false, GreyPattern()},
      {"tiff_rgb_separate", tiff({8, 3, 2, 1, false, true}), ImageType::kTiff, 24, false,
       RgbPattern()},
      {"tiff_jpeg_ycbcr", tiff({8, 3, 6, 7}), ImageType::kTiff, 24, false, RgbPattern(), 110, 0,
       kCompressionJpeg},
      {"jp2_grey", [] { return Jpeg2000(1, false); }, ImageType::kJp2, 8, false, GreyPattern()},
      {"jp2_rgb", [] { return Jpeg2000(3, false); }, ImageType::kJp2, 24, false, RgbPattern()},
      {"jp2_rgba", [] { return Jpeg2000(4, false); }, ImageType::kJp2, 24, true, RgbaPattern()},
      {"jpc_rgb", [] { return Jpeg2000(3, true); }, ImageType::kJpc, 24, false, RgbPattern()},
      {"pnm_p1", [] { return Pnm(1); }, ImageType::kPnm, 1, false, InkPattern()},
      {"pnm_p2", [] { return Pnm(2, 255, true); }, ImageType::kPnm, 8, false, GreyPattern()},
      {"pnm_p3", [] { return Pnm(3); }, ImageType::kPnm, 24, false, RgbPattern()},
      {"pnm_p4", [] { return Pnm(4, 1, true); }, ImageType::kPnm, 1, false, InkPattern()},
      {"pnm_p5", [] { return Pnm(5); }, ImageType::kPnm, 8, false, GreyPattern()},
      {"pnm_p5_16bit", [] { return Pnm(5, 65535); }, ImageType::kPnm, 8, false, GreyPattern()},
      {"pnm_p6", [] { return Pnm(6); }, ImageType::kPnm, 24, false, RgbPattern()},
      {"pam_rgba", [] { return Pam(4); }, ImageType::kPnm, 24, true, RgbaPattern()},
      {"pam_rgba16", [] { return Pam(4, false, 65535); }, ImageType::kPnm, 24, true, RgbaPattern()},
      {"pam_grey_alpha", [] { return Pam(2); }, ImageType::kPnm, 8, true, GreyAlphaPattern()},
      {"pam_bitonal", [] { return Pam(1, true); }, ImageType::kPnm, 1, false, InkPattern()},
      {"tga_mapped", tga({1, 8}), ImageType::kTga, 8, false, Blocky(PalettePattern(256))},
      {"tga_rgb24", tga({2, 24}), ImageType::kTga, 24, false, Blocky(RgbPattern())},
      {"tga_rgb24_topdown", tga({2, 24, true}), ImageType::kTga, 24, false, Blocky(RgbPattern())},
      {"tga_rgba32", tga({2, 32}), ImageType::kTga, 24, true, Blocky(RgbaPattern())},
      {"tga_rgb16", tga({2, 16}), ImageType::kTga, 24, false,
       Blocky(Quantised(RgbPattern(), 5, 5, 5))},
      {"tga_grey", tga({3, 8}), ImageType::kTga, 8, false, Blocky(GreyPattern())},
      {"tga_rle_mapped", tga({9, 8}), ImageType::kTga, 8, false, Blocky(PalettePattern(256))},
      {"tga_rle_rgb", tga({10, 24}), ImageType::kTga, 24, false, Blocky(RgbPattern())},
      {"tga_rle_rgba", tga({10, 32, true}), ImageType::kTga, 24, true, Blocky(RgbaPattern())},
      {"tga_rle_grey", tga({11, 8}), ImageType::kTga, 8, false, Blocky(GreyPattern())},
      {"pcx_mono", [] { return Pcx(1, 1); }, ImageType::kPcx, 1, false, Blocky(InkPattern()), 0,
       150},
      {"pcx_ega", [] { return Pcx(1, 4); }, ImageType::kPcx, 4, false, Blocky(PalettePattern(16)),
       0, 150},
      {"pcx_256", [] { return Pcx(8, 1); }, ImageType::kPcx, 8, false, Blocky(PalettePattern(256)),
       0, 150},
      {"pcx_rgb", [] { return Pcx(8, 3); }, ImageType::kPcx, 24, false, Blocky(RgbPattern()), 0,
       150},
      {"ico_png", [] { return Ico("p"); }, ImageType::kIco, 24, true, RgbaPattern()},
      {"ico_dib32", [] { return Ico("3"); }, ImageType::kIco, 24, true, RgbaPattern()},
      {"ico_dib8_mask", [] { return Ico("8"); }, ImageType::kIco, 8, true,
       MaskedBy128(PalettePattern(256))},
      {"ico_dib1_mask", [] { return Ico("1"); }, ImageType::kIco, 1, true,
       MaskedBy128(InkPattern())},
      {"wbmp", [] { return Wbmp(); }, ImageType::kWbmp, 1, false, InkPattern()},
      {"sun1", [] { return Sun(1, false, false); }, ImageType::kSunRaster, 1, false, InkPattern()},
      {"sun8_grey", [] { return Sun(8, false, false); }, ImageType::kSunRaster, 8, false,
       GreyPattern()},
      {"sun8_map", [] { return Sun(8, false, true); }, ImageType::kSunRaster, 8, false,
       PalettePattern(256)},
      {"sun24", [] { return Sun(24, false, false); }, ImageType::kSunRaster, 24, false,
       RgbPattern()},
      {"sun32", [] { return Sun(32, false, false); }, ImageType::kSunRaster, 24, false,
       RgbPattern()},
      {"sun_rle8", [] { return Sun(8, true, true); }, ImageType::kSunRaster, 8, false,
       Blocky(PalettePattern(256))},
      {"sun_rle24", [] { return Sun(24, true, false); }, ImageType::kSunRaster, 24, false,
       Blocky(RgbPattern())},
      {"pgx8", [] { return Pgx(8, true, false); }, ImageType::kPgx, 8, false, GreyPattern()},
      {"pgx16_le_signed", [] { return Pgx(16, false, true); }, ImageType::kPgx, 8, false,
       GreyPattern()},
      {"pgx8_signed", [] { return Pgx(8, true, true); }, ImageType::kPgx, 8, false, GreyPattern()},
  };
  (void)b;
  return v;
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, PixelsSizeDepthAndResolution) {
  const DecodeCase& c = GetParam();
  std::string bytes = c.make();
  Image img;
  Result r = LoadBytes(bytes, c.type, img);
  ASSERT_TRUE(r.ok()) << r.reason;
  ASSERT_TRUE(img.IsValid());
  EXPECT_EQ(img.Width(), kW);
  EXPECT_EQ(img.Height(), kH);
  EXPECT_EQ(img.BitsPerPixel(), c.bpp);
  EXPECT_EQ(img.HasAlpha(), c.alpha);
  EXPECT_EQ(img.FrameCount(), 1);
  EXPECT_EQ(img.Type(), c.type);
  EXPECT_EQ(img.RecordedCompression(), c.type == ImageType::kTiff || c.type == ImageType::kJpeg
                                           ? c.compression
                                           : kCompressionNone);
  EXPECT_EQ(img.WriteCompression(), img.RecordedCompression());
  EXPECT_NEAR(img.XResolution(), c.dpi, 0.5);
  EXPECT_NEAR(img.YResolution(), c.dpi, 0.5);
  EXPECT_EQ(img.Stride() % 4, 0u);
  if (c.bpp == 1) {
    EXPECT_GT(Luma(img.Palette()[0]), Luma(img.Palette()[1])) << "paper must be index 0";
  }
  long total = 0, worst = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Rgba got = Visual(img, x, y), want = c.expect(x, y);
      int d =
          std::max({std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)});
      if (c.alpha) d = std::max(d, std::abs(got.a - want.a));
      worst = std::max<long>(worst, d);
      total += d;
      if (c.tolerance == 0) {
        ASSERT_EQ(got, want) << "pixel " << x << "," << y;
      }
    }
  EXPECT_LE(worst, c.tolerance);
  EXPECT_LE(total / (kW * kH), std::max(c.tolerance / 4, 0));

  // The header-only load reports the same facts without pixels.
  Image head;
  r = LoadBytes(bytes, c.type, head, true);
  ASSERT_TRUE(r.ok()) << r.reason;
  EXPECT_FALSE(head.IsValid());
  EXPECT_TRUE(head.HeaderOnly());
  EXPECT_EQ(head.Width(), kW);
  EXPECT_EQ(head.Height(), kH);
  EXPECT_EQ(head.BitsPerPixel(), c.bpp);
  EXPECT_EQ(head.FrameCount(), 1);
  EXPECT_NEAR(head.XResolution(), c.dpi, 0.5);
}

// Every prefix of every fixture: never a crash, and the clear cuts are errors.
TEST_P(Decode, TruncatedFilesFail) {
  const DecodeCase& c = GetParam();
  std::string bytes = c.make();
  size_t step = bytes.size() < 800 ? 1 : bytes.size() / 400;
  for (size_t n = 0; n < bytes.size(); n += step) {
    Image img;
    Result r = LoadBytes(bytes.substr(0, n), c.type, img);
    if (r.ok()) {
      EXPECT_TRUE(img.IsValid());
      EXPECT_EQ(img.Width(), kW);
    } else {
      EXPECT_FALSE(img.IsValid());
      EXPECT_FALSE(r.reason.empty());
    }
  }
  for (size_t n : {size_t{0}, size_t{1}, size_t{10}, bytes.size() / 2}) {
    Image img;
    Result r = LoadBytes(bytes.substr(0, n), c.type, img);
    EXPECT_FALSE(r.ok()) << "cut at " << n << " of " << bytes.size();
    if (n == 0) {
      EXPECT_EQ(r.status, Status::kEmpty);
    }
  }
}

// Bytes changed at random: never a crash or a sanitizer report.
TEST_P(Decode, CorruptedBytesNeverCrash) {
  const DecodeCase& c = GetParam();
  std::string bytes = c.make();
  uint32_t seed = 12345;
  for (int round = 0; round < 60; ++round) {
    std::string m = bytes;
    for (int k = 0; k < 1 + round % 4; ++k) {
      seed = seed * 1103515245 + 12345;
      size_t at = (seed >> 8) % std::min<size_t>(m.size(), round < 30 ? 64 : m.size());
      m[at] = static_cast<char>(seed >> 24);
    }
    Image img;
    Result r = LoadBytes(m, c.type, img);
    if (r.ok()) {
      ASSERT_TRUE(img.IsValid());
      ASSERT_GT(img.PixelBytes(), 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, Decode, ::testing::ValuesIn(DecodeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------- bad input

struct BadCase {
  const char* name;
  std::function<std::string()> make;
  ImageType type;
  Status status;
};
void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

uint32_t Crc(const std::string& s, size_t from, size_t n) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data() + from), static_cast<uInt>(n)));
}
void PutBe32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}
void PutLe32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s[at + i] = static_cast<char>(v >> (8 * i));
}

std::string PngWithSize(uint32_t w, uint32_t h) {
  std::string s = fixtures::Png({2, 8});
  PutBe32(s, 16, w);
  PutBe32(s, 20, h);
  PutBe32(s, 29, Crc(s, 12, 17));
  return s;
}

std::string JpegWithSize(int w, int h) {
  std::string s = fixtures::Jpeg(false);
  size_t sof = s.find("\xFF\xC0");
  s[sof + 5] = static_cast<char>(h >> 8), s[sof + 6] = static_cast<char>(h);
  s[sof + 7] = static_cast<char>(w >> 8), s[sof + 8] = static_cast<char>(w);
  return s;
}

// A little-endian TIFF with one IFD declaring the size and one strip, then `tail` zero bytes.
std::string TiffHeader(uint32_t w, uint32_t h, size_t tail) {
  fixtures::Bytes b;
  b.str("II"), b.le16(42), b.le32(8);
  struct E {
    int tag, type;
    uint32_t v;
  };
  std::vector<E> es = {{256, 4, w}, {257, 4, h}, {258, 3, 8},
                       {259, 3, 1}, {262, 3, 1}, {273, 4, 8 + 2 + 9 * 12 + 4},
                       {277, 3, 1}, {278, 4, h}, {279, 4, static_cast<uint32_t>(tail)}};
  b.le16(static_cast<int>(es.size()));
  for (auto& e : es)
    b.le16(e.tag), b.le16(e.type), b.le32(1), b.le32(e.v);
  b.le32(0);
  b.zeros(tail);
  return b.s;
}

std::string J2kWithSize(uint32_t w, uint32_t h) {
  std::string s = fixtures::Jpeg2000(3, true);
  // SIZ follows SOC: marker, length, capabilities, then Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz.
  PutBe32(s, 8, w), PutBe32(s, 12, h), PutBe32(s, 24, w), PutBe32(s, 28, h);
  return s;
}

std::string Text() {
  return "This is a plain text file, not an image at all.\nSecond line.\n";
}

std::vector<BadCase> BadCases() {
  using namespace fixtures;
  return {
      // Declared sizes beyond the limits, with only a little data behind them.
      {"bmp_huge", [] { return BmpHeaderOnly(200000, 200000, 24, 1024); }, ImageType::kBmp,
       Status::kTooLarge},
      {"bmp_huge_topdown", [] { return BmpHeaderOnly(200000, -200000, 1, 1024); }, ImageType::kBmp,
       Status::kTooLarge},
      {"bmp_huge_width", [] { return BmpHeaderOnly(0x7fffffff, 1, 32, 1024); }, ImageType::kBmp,
       Status::kTooLarge},
      {"png_huge", [] { return PngWithSize(100000, 100000); }, ImageType::kPng, Status::kTooLarge},
      {"jpeg_huge", [] { return JpegWithSize(65000, 65000); }, ImageType::kJpeg, Status::kTooLarge},
      {"tiff_huge", [] { return TiffHeader(200000, 200000, 1024); }, ImageType::kTiff,
       Status::kTooLarge},
      {"jpc_huge", [] { return J2kWithSize(100000, 100000); }, ImageType::kJpc, Status::kTooLarge},
      {"pnm_huge", [] { return std::string("P6\n100000 100000\n255\n") + std::string(1024, 'x'); },
       ImageType::kPnm, Status::kTooLarge},
      {"pnm_number_overflow", [] { return std::string("P5\n99999999999999 2\n255\n"); },
       ImageType::kPnm, Status::kTooLarge},
      {"tga_huge",
       [] {
         std::string s = Tga({2, 24});
         s[12] = s[13] = s[14] = s[15] = '\xFF';
         return s;
       },
       ImageType::kTga, Status::kTooLarge},
      {"pcx_huge",
       [] {
         std::string s = Pcx(8, 3);
         s[8] = s[10] = '\xFE';
         s[9] = s[11] = '\xFF';
         s[66] = s[67] = '\xFF';
         return s;
       },
       ImageType::kPcx, Status::kTooLarge},
      {"sun_huge",
       [] {
         std::string s = Sun(24, false, false);
         PutBe32(s, 4, 100000);
         PutBe32(s, 8, 100000);
         return s;
       },
       ImageType::kSunRaster, Status::kTooLarge},
      {"wbmp_huge",
       [] { return std::string("\x00\x00\x87\xA0\x00\x87\xA0\x00", 8) + std::string(100, '\0'); },
       ImageType::kWbmp, Status::kTooLarge},
      {"pgx_huge", [] { return std::string("PG ML + 8 100000 100000\n") + std::string(100, '\0'); },
       ImageType::kPgx, Status::kTooLarge},
      // Within the limits, but the data is not there: refused before the pixels are taken.
      {"bmp_big_but_short", [] { return BmpHeaderOnly(16000, 16000, 24, 1024); }, ImageType::kBmp,
       Status::kTruncated},
      {"pnm_big_but_short",
       [] { return std::string("P6\n16000 16000\n255\n") + std::string(1024, 'x'); },
       ImageType::kPnm, Status::kTruncated},
      {"pgx_big_but_short",
       [] { return std::string("PG ML + 8 16000 16000\n") + std::string(100, '\0'); },
       ImageType::kPgx, Status::kTruncated},
      {"tiff_big_but_short", [] { return TiffHeader(16000, 16000, 1024); }, ImageType::kTiff,
       Status::kTruncated},
      // Malformed headers.
      {"bmp_header_size",
       [] {
         std::string s = Bmp({24});
         PutLe32(s, 14, 33);
         return s;
       },
       ImageType::kBmp, Status::kCorrupt},
      {"bmp_depth",
       [] {
         std::string s = Bmp({24});
         s[28] = 12;
         return s;
       },
       ImageType::kBmp, Status::kUnsupported},
      {"bmp_rle8_with_24_bits",
       [] {
         std::string s = Bmp({24});
         s[30] = 1;
         return s;
       },
       ImageType::kBmp, Status::kCorrupt},
      {"bmp_zero_width",
       [] {
         std::string s = Bmp({24});
         PutLe32(s, 18, 0);
         return s;
       },
       ImageType::kBmp, Status::kCorrupt},
      {"bmp_os2_icon",
       [] {
         std::string s = Bmp({24});
         s[0] = 'I', s[1] = 'C';
         return s;
       },
       ImageType::kBmp, Status::kUnsupported},
      {"mng_as_bmp", [] { return std::string("\x8AMNG\r\n\x1A\n", 8) + std::string(64, '\0'); },
       ImageType::kBmp, Status::kCorrupt},
      {"png_bad_crc",
       [] {
         std::string s = Png({2, 8});
         s[29] ^= 1;
         return s;
       },
       ImageType::kPng, Status::kCorrupt},
      {"pnm_p8", [] { return std::string("P8\n2 2\n"); }, ImageType::kPnm, Status::kUnsupported},
      {"pam_depth5",
       [] {
         return std::string("P7\nWIDTH 2\nHEIGHT 2\nDEPTH 5\nMAXVAL 255\nENDHDR\n") +
                std::string(20, 'x');
       },
       ImageType::kPnm, Status::kUnsupported},
      {"pam_huge",
       [] {
         return std::string("P7\nWIDTH 100000\nHEIGHT 100000\nDEPTH 3\nMAXVAL 255\nENDHDR\n") +
                std::string(100, 'x');
       },
       ImageType::kPnm, Status::kTooLarge},
      {"pam_no_size",
       [] { return std::string("P7\nDEPTH 3\nMAXVAL 255\nENDHDR\n") + std::string(100, 'x'); },
       ImageType::kPnm, Status::kCorrupt},
      {"pnm_maxval_zero", [] { return std::string("P5 2 2 0\n1234"); }, ImageType::kPnm,
       Status::kCorrupt},
      {"tga_bad_type",
       [] {
         std::string s = Tga({2, 24});
         s[2] = 5;
         return s;
       },
       ImageType::kTga, Status::kCorrupt},
      {"tga_bad_depth",
       [] {
         std::string s = Tga({2, 24});
         s[16] = 7;
         return s;
       },
       ImageType::kTga, Status::kUnsupported},
      {"pcx_bad_layout",
       [] {
         std::string s = Pcx(8, 3);
         s[65] = 2;
         return s;
       },
       ImageType::kPcx, Status::kUnsupported},
      {"ico_no_images",
       [] {
         std::string s = Ico("3");
         s[4] = 0;
         return s;
       },
       ImageType::kIco, Status::kCorrupt},
      {"ico_offset_beyond",
       [] {
         std::string s = Ico("3");
         PutLe32(s, 18, 1u << 30);
         return s;
       },
       ImageType::kIco, Status::kTruncated},
      {"sun_bad_type",
       [] {
         std::string s = Sun(8, false, false);
         PutBe32(s, 20, 9);
         return s;
       },
       ImageType::kSunRaster, Status::kUnsupported},
      {"pgx_bad_endian", [] { return std::string("PG XY + 8 2 2\n1234"); }, ImageType::kPgx,
       Status::kCorrupt},
      {"jp2_as_jpc", [] { return Jpeg2000(3, false); }, ImageType::kJpc, Status::kCorrupt},
      {"tiff_bad_ifd_offset",
       [] {
         std::string s = TiffHeader(4, 4, 16);
         PutLe32(s, 4, 1u << 30);
         return s;
       },
       ImageType::kTiff, Status::kCorrupt},
      // Formats this library does not read.
      {"metafile", [] { return std::string("\xD7\xCD\xC6\x9A", 4) + std::string(60, '\0'); },
       ImageType::kMetafile, Status::kUnsupported},
      {"ska", [] { return std::string(64, '\1'); }, ImageType::kSka, Status::kUnsupported},
      {"raw", [] { return std::string(64, '\1'); }, ImageType::kCameraRaw, Status::kUnsupported},
      {"gif", [] { return std::string("GIF89a") + std::string(64, '\0'); }, ImageType::kGif,
       Status::kUnsupported},
      // Text files carrying an image extension.
      {"text_bmp", Text, ImageType::kBmp, Status::kCorrupt},
      {"text_png", Text, ImageType::kPng, Status::kCorrupt},
      {"text_jpeg", Text, ImageType::kJpeg, Status::kCorrupt},
      {"text_tiff", Text, ImageType::kTiff, Status::kCorrupt},
      {"text_jp2", Text, ImageType::kJp2, Status::kCorrupt},
      {"text_jpc", Text, ImageType::kJpc, Status::kCorrupt},
      {"text_pnm", Text, ImageType::kPnm, Status::kCorrupt},
      {"text_tga", Text, ImageType::kTga, Status::kCorrupt},
      {"text_pcx", Text, ImageType::kPcx, Status::kCorrupt},
      {"text_ico", Text, ImageType::kIco, Status::kCorrupt},
      {"text_wbmp", Text, ImageType::kWbmp, Status::kCorrupt},
      {"text_sun", Text, ImageType::kSunRaster, Status::kCorrupt},
      {"text_pgx", Text, ImageType::kPgx, Status::kCorrupt},
  };
}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, RefusedWithReason) {
  const BadCase& c = GetParam();
  std::string bytes = c.make();
  for (bool headerOnly : {false, true}) {
    Image img;
    Result r = LoadBytes(bytes, c.type, img, headerOnly);
    if (headerOnly && c.status == Status::kTruncated) continue; // the header itself is sound
    if (headerOnly && c.status == Status::kTooLarge && r.ok()) {
      // A header-only load reports the declared size; only decoding is bounded.
      EXPECT_FALSE(img.IsValid());
      EXPECT_GE(static_cast<uint64_t>(img.Width()) * img.Height(), uint64_t{1} << 28);
      continue;
    }
    EXPECT_EQ(r.status, c.status) << r.reason << (headerOnly ? " (header only)" : "");
    EXPECT_FALSE(r.reason.empty());
    EXPECT_FALSE(img.IsValid());
    EXPECT_EQ(img.PixelBytes(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInput, ::testing::ValuesIn(BadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BadInput, ReasonTexts) {
  Image img;
  EXPECT_EQ(LoadBytes(fixtures::Bmp({24}).substr(0, 200), ImageType::kBmp, img).reason,
            "truncated file");
  std::string s = fixtures::Bmp({24});
  s[28] = 12;
  EXPECT_EQ(LoadBytes(s, ImageType::kBmp, img).reason, "unsupported bit depth 12");
  EXPECT_EQ(LoadBytes("", ImageType::kPng, img).reason, "empty file");
}

TEST(BadInput, FilesThatCannotBeOpened) {
  testsupport::ScratchDir dir;
  Image img;
  EXPECT_EQ(Load(dir.file("missing.bmp"), ImageType::kBmp, {}, img).status, Status::kCannotOpen);
  EXPECT_EQ(Load(dir.path().string(), ImageType::kBmp, {}, img).status, Status::kCannotOpen);
  testsupport::WriteFile(dir.file("empty.png"), "");
  EXPECT_EQ(Load(dir.file("empty.png"), ImageType::kPng, {}, img).status, Status::kEmpty);
  testsupport::WriteFile(dir.file("ok.bmp"), fixtures::Bmp({8}));
  ASSERT_TRUE(Load(dir.file("ok.bmp"), ImageType::kBmp, {}, img).ok());
  EXPECT_EQ(img.Width(), kW);
}

TEST(BadInput, LimitsAreTheCallersToTighten) {
  std::string s = fixtures::Png({2, 8});
  Image img;
  LoadOptions o;
  o.limits.maxPixels = kW * kH - 1;
  EXPECT_EQ(LoadFromMemory(Span(s), ImageType::kPng, o, img).status, Status::kTooLarge);
  o.limits.maxPixels = kW * kH;
  EXPECT_TRUE(LoadFromMemory(Span(s), ImageType::kPng, o, img).ok());
  o.limits.maxBytes = 100;
  EXPECT_EQ(LoadFromMemory(Span(s), ImageType::kPng, o, img).status, Status::kTooLarge);
}

TEST(BadInput, FailedLoadReleasesThePreviousImage) {
  Image img;
  ASSERT_TRUE(LoadBytes(fixtures::Bmp({24}), ImageType::kBmp, img).ok());
  EXPECT_FALSE(LoadBytes("garbage", ImageType::kBmp, img).ok());
  EXPECT_FALSE(img.IsValid());
  EXPECT_EQ(img.Width(), 0);
}

// ------------------------------------------------------------------------------ frames

TEST(Frames, TiffPagesAreFrames) {
  TiffPage a{8, 1, 1, 5};
  TiffPage b{1, 1, 0, 4};
  b.w = 20, b.h = 9;
  TiffPage c{8, 3, 2, 1};
  c.w = 5, c.h = 3;
  std::string bytes = fixtures::Tiff({a, b, c});
  Image img;
  ASSERT_TRUE(LoadBytes(bytes, ImageType::kTiff, img, true).ok());
  EXPECT_EQ(img.FrameCount(), 3);
  const int widths[] = {kW, 20, 5}, depths[] = {8, 1, 24}, comps[] = {5, 4, 1};
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(LoadBytes(bytes, ImageType::kTiff, img, false, f).ok()) << f;
    EXPECT_EQ(img.Frame(), f);
    EXPECT_EQ(img.FrameCount(), 3);
    EXPECT_EQ(img.Width(), widths[f]);
    EXPECT_EQ(img.BitsPerPixel(), depths[f]);
    EXPECT_EQ(img.RecordedCompression(), comps[f]);
  }
  EXPECT_EQ(LoadBytes(bytes, ImageType::kTiff, img, false, 3).status, Status::kNoSuchFrame);
  EXPECT_EQ(LoadBytes(bytes, ImageType::kTiff, img, true, 3).status, Status::kNoSuchFrame);
}

TEST(Frames, IconImagesAreFrames) {
  std::string bytes = fixtures::Ico("8p");
  Image img;
  ASSERT_TRUE(LoadBytes(bytes, ImageType::kIco, img, true).ok());
  EXPECT_EQ(img.FrameCount(), 2);
  ASSERT_TRUE(LoadBytes(bytes, ImageType::kIco, img, false, 1).ok());
  EXPECT_EQ(img.BitsPerPixel(), 24); // the PNG entry
  EXPECT_EQ(img.FrameCount(), 2);
  EXPECT_EQ(LoadBytes(bytes, ImageType::kIco, img, false, 2).status, Status::kNoSuchFrame);
}

TEST(Frames, SingleImageFormatsHaveOneFrame) {
  Image img;
  ASSERT_TRUE(LoadBytes(fixtures::Bmp({24}), ImageType::kBmp, img, true).ok());
  EXPECT_EQ(img.FrameCount(), 1);
  EXPECT_EQ(LoadBytes(fixtures::Bmp({24}), ImageType::kBmp, img, false, 1).status,
            Status::kNoSuchFrame);
  EXPECT_EQ(LoadBytes(fixtures::Bmp({24}), ImageType::kBmp, img, false, -1).status,
            Status::kBadArgument);
}

// -------------------------------------------------------------------------- conversions

Image Loaded(const std::string& bytes, ImageType t) {
  Image img;
  Result r = LoadBytes(bytes, t, img);
  EXPECT_TRUE(r.ok()) << r.reason;
  return img;
}

// Pages read through libtiff's RGBA reader in several bands of rows.
TEST(Bands, TallRgbaPagesAreReadInBands) {
  struct Case {
    const char* name;
    TiffPage page;
    int meanTolerance; // JPEG loses much on the busy test pattern, evenly over the page
  };
  for (Case c : {Case{"tiled", TiffPage{8, 3, 2, 5, true}, 0},
                 Case{"separate", TiffPage{8, 3, 2, 1, false, true}, 0},
                 Case{"jpeg", TiffPage{8, 3, 6, 7}, 40}}) {
    c.page.w = 4100, c.page.h = 1030; // bands of 1008 rows: two of them
    Image img = Loaded(fixtures::Tiff({c.page}), ImageType::kTiff);
    ASSERT_TRUE(img.IsValid()) << c.name;
    ASSERT_EQ(img.Height(), 1030);
    // Rows on both sides of the band boundary, and a sample of the rest.
    long sum = 0, n = 0;
    for (int y = 0; y < img.Height(); y += (y >= 1000 && y < 1020) ? 1 : 13)
      for (int x = 0; x < img.Width(); x += 17) {
        Rgba got = Visual(img, x, y), want = fixtures::RgbAt(x, y);
        int d = std::max(
            {std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)});
        if (c.meanTolerance == 0) {
          ASSERT_EQ(d, 0) << c.name << " " << x << "," << y;
        }
        sum += d, ++n;
      }
    EXPECT_LE(sum / n, c.meanTolerance) << c.name;
  }
}

TEST(Convert, ExpandTo24KeepsTheLook) {
  for (auto bytes : {fixtures::Bmp({1}), fixtures::Bmp({4}), fixtures::Bmp({8})}) {
    Image img = Loaded(bytes, ImageType::kBmp);
    std::vector<Rgba> before;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        before.push_back(Visual(img, x, y));
    ASSERT_TRUE(img.ExpandTo24().ok());
    EXPECT_EQ(img.BitsPerPixel(), 24);
    EXPECT_TRUE(img.Palette().empty());
    EXPECT_EQ(img.Stride(), RowStride(kW, 24));
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        ASSERT_EQ(Visual(img, x, y), before[y * kW + x]);
  }
}

TEST(Convert, Grey8FromColourAndPalette) {
  Image rgb = Loaded(fixtures::Png({2, 8}), ImageType::kPng);
  ASSERT_TRUE(rgb.ConvertToGrey8().ok());
  EXPECT_TRUE(rgb.IsGreyscale());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Rgba c = fixtures::RgbAt(x, y);
      int want = (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000;
      ASSERT_EQ(rgb.Row(y)[x], want);
    }
  Image pal = Loaded(fixtures::Bmp({4}), ImageType::kBmp);
  EXPECT_FALSE(pal.IsGreyscale());
  ASSERT_TRUE(pal.ConvertToGrey8().ok());
  EXPECT_EQ(pal.BitsPerPixel(), 8);
  Rgba c = fixtures::PaletteColour(fixtures::IndexAt(2, 3, 16));
  EXPECT_EQ(pal.Row(3)[2], (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000);
}

TEST(Convert, GreyscaleTest) {
  EXPECT_TRUE(Loaded(fixtures::Png({0, 8}), ImageType::kPng).IsGreyscale());
  EXPECT_TRUE(Loaded(fixtures::Pnm(5), ImageType::kPnm).IsGreyscale());
  EXPECT_FALSE(Loaded(fixtures::Png({3, 8}), ImageType::kPng).IsGreyscale());
  EXPECT_FALSE(Loaded(fixtures::Png({0, 1}), ImageType::kPng).IsGreyscale()); // bitonal
  EXPECT_FALSE(Loaded(fixtures::Png({2, 8}), ImageType::kPng).IsGreyscale());
}

TEST(Convert, InvertGivesTheNegative) {
  for (auto [bytes, type] : {std::pair{fixtures::Png({2, 8}), ImageType::kPng},
                             std::pair{fixtures::Bmp({1}), ImageType::kBmp},
                             std::pair{fixtures::Bmp({8}), ImageType::kBmp}}) {
    Image img = Loaded(bytes, type);
    Image ref = Loaded(bytes, type);
    ASSERT_TRUE(img.Invert().ok());
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        Rgba a = Visual(img, x, y), b = Visual(ref, x, y);
        ASSERT_EQ(a.r, 255 - b.r);
        ASSERT_EQ(a.g, 255 - b.g);
        ASSERT_EQ(a.b, 255 - b.b);
      }
  }
  // A 1-bit image keeps its bits (set bits stay the ink the skew detector looks for).
  Image bit = Loaded(fixtures::Bmp({1}), ImageType::kBmp);
  std::vector<uint8_t> before(bit.Pixels(), bit.Pixels() + bit.PixelBytes());
  ASSERT_TRUE(bit.Invert().ok());
  EXPECT_EQ(std::vector<uint8_t>(bit.Pixels(), bit.Pixels() + bit.PixelBytes()), before);
}

TEST(Convert, CompositeOnWhite) {
  struct Case {
    std::string bytes;
    ImageType type;
    int bppAfter;
  };
  for (const Case& c : {Case{fixtures::Png({6, 8}), ImageType::kPng, 24},
                        Case{fixtures::Png({4, 8}), ImageType::kPng, 8},
                        Case{fixtures::Png({3, 8, true}), ImageType::kPng, 24},
                        Case{fixtures::Ico("1"), ImageType::kIco, 1}}) {
    Image img = Loaded(c.bytes, c.type);
    Image ref = Loaded(c.bytes, c.type);
    ASSERT_TRUE(img.HasAlpha());
    ASSERT_TRUE(img.CompositeOnWhite().ok());
    EXPECT_FALSE(img.HasAlpha());
    EXPECT_EQ(img.BitsPerPixel(), c.bppAfter);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        Rgba src = Visual(ref, x, y), got = Visual(img, x, y);
        auto over = [&](int v) {
          return c.bppAfter == 1 ? (src.a < 128 ? 255 : v)
                                 : (v * src.a + 255 * (255 - src.a) + 127) / 255;
        };
        ASSERT_EQ(got.r, over(src.r)) << x << "," << y;
        ASSERT_EQ(got.b, over(src.b)) << x << "," << y;
      }
  }
}

TEST(Convert, OperationsNeedPixels) {
  Image img;
  ASSERT_TRUE(LoadBytes(fixtures::Bmp({24}), ImageType::kBmp, img, true).ok());
  EXPECT_EQ(img.ExpandTo24().status, Status::kNoImage);
  EXPECT_EQ(img.ConvertToGrey8().status, Status::kNoImage);
  EXPECT_EQ(img.Invert().status, Status::kNoImage);
  EXPECT_EQ(img.WriteJpeg("/nonexistent/x.jpg").status, Status::kNoImage);
  EXPECT_EQ(img.WriteTiff("/nonexistent/x.tif").status, Status::kNoImage);
}

TEST(Convert, CreateAndClone) {
  Image img;
  ASSERT_TRUE(Image::Create(33, 5, 1, img).ok());
  EXPECT_EQ(img.Stride(), 8u); // 33 pixels round up to 64 bits
  img.Row(2)[0] = 0x80;
  Image copy;
  ASSERT_TRUE(img.Clone(copy).ok());
  EXPECT_EQ(copy.Row(2)[0], 0x80);
  img.Row(2)[0] = 0;
  EXPECT_EQ(copy.Row(2)[0], 0x80);
  EXPECT_EQ(Image::Create(0, 5, 8, img).status, Status::kCorrupt);
  EXPECT_EQ(Image::Create(5, 5, 16, img).status, Status::kUnsupported);
  EXPECT_EQ(Image::Create(1 << 15, 1 << 14, 8, img).status, Status::kTooLarge);
}

// ------------------------------------------------------------------------------ writers

struct TiffRead {
  uint32_t w = 0, h = 0;
  uint16_t bps = 0, spp = 0, photometric = 0, compression = 0;
  float xres = 0;
  std::vector<uint32_t> rgba; // top-down
};

TiffRead ReadTiffIndependently(const std::string& path) {
  TiffRead out;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return out;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &out.w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &out.h);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &out.bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &out.spp);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &out.photometric);
  TIFFGetField(t, TIFFTAG_COMPRESSION, &out.compression);
  TIFFGetField(t, TIFFTAG_XRESOLUTION, &out.xres);
  out.rgba.resize(static_cast<size_t>(out.w) * out.h);
  if (!TIFFReadRGBAImageOriented(t, out.w, out.h, out.rgba.data(), ORIENTATION_TOPLEFT, 0))
    out.rgba.clear();
  EXPECT_EQ(TIFFNumberOfDirectories(t), 1u);
  TIFFClose(t);
  return out;
}

struct WriteCase {
  const char* name;
  std::function<std::string()> make;
  ImageType type;
  int compression;
  int photometric, bps, spp;
};
void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.name;
}

class TiffWriter : public ::testing::TestWithParam<WriteCase> {};

TEST_P(TiffWriter, RoundTripThroughLibtiff) {
  const WriteCase& c = GetParam();
  Image img = Loaded(c.make(), c.type);
  img.SetWriteCompression(c.compression);
  img.SetResolution(200, 200);
  testsupport::ScratchDir dir;
  std::string path = dir.file("out.tif");
  Result r = img.WriteTiff(path);
  ASSERT_TRUE(r.ok()) << r.reason;
  TiffRead t = ReadTiffIndependently(path);
  EXPECT_EQ(t.w, static_cast<uint32_t>(kW));
  EXPECT_EQ(t.h, static_cast<uint32_t>(kH));
  int comp = c.compression == kCompressionAdobeDeflate ? kCompressionDeflate
             : c.compression == 34712                  ? kCompressionLzw
                                                       : c.compression;
  EXPECT_EQ(t.compression, comp);
  EXPECT_EQ(t.photometric, c.photometric);
  EXPECT_EQ(t.bps, c.bps);
  EXPECT_EQ(t.spp, c.spp);
  EXPECT_FLOAT_EQ(t.xres, 200.f);
  ASSERT_EQ(t.rgba.size(), static_cast<size_t>(kW * kH));
  Image flat;
  ASSERT_TRUE(img.Clone(flat).ok());
  ASSERT_TRUE(flat.CompositeOnWhite().ok());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint32_t p = t.rgba[y * kW + x];
      Rgba want = Visual(flat, x, y);
      if (c.bps == 1) { // bitonal output: black or white by luminance
        int l = (299 * want.r + 587 * want.g + 114 * want.b) / 1000;
        want = l < 128 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
      }
      ASSERT_EQ((Rgba{static_cast<uint8_t>(TIFFGetR(p)), static_cast<uint8_t>(TIFFGetG(p)),
                      static_cast<uint8_t>(TIFFGetB(p)), 255}),
                want)
          << x << "," << y;
    }
  // And our own reader sees the same page.
  Image back;
  ASSERT_TRUE(Load(path, ImageType::kTiff, {}, back).ok());
  EXPECT_EQ(back.RecordedCompression(), comp);
}

std::vector<WriteCase> WriteCases() {
  using namespace fixtures;
  auto ink = [] { return Bmp({1}); };
  auto inkBlack0 = [] { return Tiff({TiffPage{1, 1, 1, 1}}); };
  auto grey = [] { return Png({0, 8}); };
  auto rgb = [] { return Png({2, 8}); };
  auto pal = [] { return Bmp({4}); };
  auto pal8 = [] { return Bmp({8}); };
  auto rgba = [] { return Png({6, 8}); };
  auto palAlpha = [] { return Png({3, 8, true}); };
  auto inkAlpha = [] { return Ico("1"); };
  const int W0 = 0, B0 = 1, RGB = 2, PAL = 3;
  return {
      {"bitonal_none", ink, ImageType::kBmp, kCompressionNone, W0, 1, 1},
      {"bitonal_lzw", ink, ImageType::kBmp, kCompressionLzw, W0, 1, 1},
      {"bitonal_deflate", ink, ImageType::kBmp, kCompressionDeflate, W0, 1, 1},
      {"bitonal_adobe_deflate", ink, ImageType::kBmp, kCompressionAdobeDeflate, W0, 1, 1},
      {"bitonal_packbits", ink, ImageType::kBmp, kCompressionPackBits, W0, 1, 1},
      {"bitonal_g3", ink, ImageType::kBmp, kCompressionCcittG3, W0, 1, 1},
      {"bitonal_g4", ink, ImageType::kBmp, kCompressionCcittG4, W0, 1, 1},
      {"bitonal_from_black0_g4", inkBlack0, ImageType::kTiff, kCompressionCcittG4, W0, 1, 1},
      {"bitonal_with_mask_g4", inkAlpha, ImageType::kIco, kCompressionCcittG4, W0, 1, 1},
      {"grey_lzw", grey, ImageType::kPng, kCompressionLzw, B0, 8, 1},
      {"grey_deflate", grey, ImageType::kPng, kCompressionDeflate, B0, 8, 1},
      {"grey_packbits", grey, ImageType::kPng, kCompressionPackBits, B0, 8, 1},
      {"rgb_none", rgb, ImageType::kPng, kCompressionNone, RGB, 8, 3},
      {"rgb_lzw", rgb, ImageType::kPng, kCompressionLzw, RGB, 8, 3},
      {"rgb_deflate", rgb, ImageType::kPng, kCompressionDeflate, RGB, 8, 3},
      {"rgb_packbits", rgb, ImageType::kPng, kCompressionPackBits, RGB, 8, 3},
      {"rgb_unwritable_code_falls_back_to_lzw", rgb, ImageType::kPng, 34712, RGB, 8, 3},
      {"palette4_lzw", pal, ImageType::kBmp, kCompressionLzw, PAL, 4, 1},
      {"palette8_deflate", pal8, ImageType::kBmp, kCompressionDeflate, PAL, 8, 1},
      {"rgba_on_white", rgba, ImageType::kPng, kCompressionLzw, RGB, 8, 3},
      {"palette_alpha_on_white", palAlpha, ImageType::kPng, kCompressionLzw, RGB, 8, 3},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, TiffWriter, ::testing::ValuesIn(WriteCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffWriterRules, BitonalPagesAreWhiteIsZeroWithInkSet) {
  // Whatever the palette order of the source, set bits in the file are black.
  for (auto bytes :
       {fixtures::Bmp({1}), fixtures::Tiff({TiffPage{1, 1, 1, 1}}), fixtures::Wbmp()}) {
    ImageType type = bytes[0] == 'B' ? ImageType::kBmp
                     : bytes[0] == 0 ? ImageType::kWbmp
                                     : ImageType::kTiff;
    Image img = Loaded(bytes, type);
    img.SetWriteCompression(kCompressionNone);
    testsupport::ScratchDir dir;
    ASSERT_TRUE(img.WriteTiff(dir.file("a.tif")).ok());
    TIFF* t = TIFFOpen(dir.file("a.tif").c_str(), "r");
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(t)));
    for (int y = 0; y < kH; ++y) {
      ASSERT_EQ(TIFFReadScanline(t, line.data(), y, 0), 1);
      for (int x = 0; x < kW; ++x)
        ASSERT_EQ((line[x / 8] >> (7 - x % 8)) & 1, fixtures::InkAt(x, y) ? 1 : 0);
    }
    TIFFClose(t);
  }
}

TEST(TiffWriterRules, InvertedBitonalPageHasPaperSet) {
  // The negative of a black-on-white page is written with the paper as set (black) bits.
  Image img = Loaded(fixtures::Bmp({1}), ImageType::kBmp);
  ASSERT_TRUE(img.Invert().ok());
  img.SetWriteCompression(kCompressionDeflate);
  testsupport::ScratchDir dir;
  ASSERT_TRUE(img.WriteTiff(dir.file("n.tif")).ok());
  TIFF* t = TIFFOpen(dir.file("n.tif").c_str(), "r");
  ASSERT_NE(t, nullptr);
  uint16_t photometric = 9;
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(t)));
  for (int y = 0; y < kH; ++y) {
    ASSERT_EQ(TIFFReadScanline(t, line.data(), y, 0), 1);
    for (int x = 0; x < kW; ++x)
      ASSERT_EQ((line[x / 8] >> (7 - x % 8)) & 1, fixtures::InkAt(x, y) ? 0 : 1);
  }
  TIFFClose(t);
}

TEST(TiffWriterRules, RefusedCompressions) {
  Image grey = Loaded(fixtures::Png({0, 8}), ImageType::kPng);
  testsupport::ScratchDir dir;
  for (int code : {kCompressionCcittG3, kCompressionCcittG4}) {
    grey.SetWriteCompression(code);
    EXPECT_EQ(grey.WriteTiff(dir.file("g.tif")).status, Status::kBadArgument);
  }
  for (int code : {kCompressionJpeg, kCompressionOldJpeg}) {
    grey.SetWriteCompression(code);
    EXPECT_EQ(grey.WriteTiff(dir.file("g.tif")).status, Status::kBadArgument);
  }
  grey.SetWriteCompression(kCompressionLzw);
  EXPECT_EQ(grey.WriteTiff(dir.file("no/such/folder.tif")).status, Status::kWriteFailed);
}

struct JpegRead {
  int w = 0, h = 0, components = 0, density = 0, unit = 0;
  std::vector<uint8_t> pixels;
};

JpegRead ReadJpegIndependently(const std::string& path) {
  JpegRead out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  jpeg_decompress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_stdio_src(&c, f);
  jpeg_read_header(&c, TRUE);
  jpeg_start_decompress(&c);
  out.w = static_cast<int>(c.output_width), out.h = static_cast<int>(c.output_height);
  out.components = c.output_components;
  out.density = c.X_density, out.unit = c.density_unit;
  out.pixels.resize(static_cast<size_t>(out.w) * out.h * out.components);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row =
        out.pixels.data() + static_cast<size_t>(c.output_scanline) * out.w * out.components;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  std::fclose(f);
  return out;
}

// Smooth pictures, so that JPEG's losses stay small: 'c' colour, 'a' colour with alpha,
// 'p' palette, 'g' grey, '1' bitonal blocks.
Image Smooth(char kind) {
  const int w = 40, h = 24;
  Image img;
  int bpp = kind == 'p' || kind == 'g' ? 8 : kind == '1' ? 1 : 24;
  EXPECT_TRUE(Image::Create(w, h, bpp, img).ok());
  if (kind == 'a') {
    EXPECT_TRUE(img.AddAlpha().ok());
  }
  if (kind == 'p')
    for (int i = 0; i < 256; ++i)
      img.MutablePalette()[i] =
          Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* r = img.Row(y);
      if (bpp == 24) {
        r[3 * x] = static_cast<uint8_t>(x * 6), r[3 * x + 1] = static_cast<uint8_t>(y * 10),
              r[3 * x + 2] = 128;
        if (kind == 'a') img.AlphaRow(y)[x] = static_cast<uint8_t>(255 - x * 6);
      } else if (bpp == 8) {
        r[x] = static_cast<uint8_t>(x * 6);
      } else if (((x / 8) + (y / 8)) % 2) {
        r[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  return img;
}

TEST(JpegWriter, ColourAndGreyAtTheChosenQuality) {
  testsupport::ScratchDir dir;
  for (auto [kind, components] : {std::pair{'c', 3}, std::pair{'a', 3}, std::pair{'p', 3},
                                  std::pair{'g', 1}, std::pair{'1', 1}}) {
    Image img = Smooth(kind);
    img.SetJpegQuality(100);
    img.SetResolution(300, 300);
    std::string path = dir.file("a.jpg");
    ASSERT_TRUE(img.WriteJpeg(path).ok());
    JpegRead j = ReadJpegIndependently(path);
    EXPECT_EQ(j.w, img.Width());
    EXPECT_EQ(j.h, img.Height());
    EXPECT_EQ(j.components, components) << kind;
    EXPECT_EQ(j.unit, 1);
    EXPECT_EQ(j.density, 300);
    Image flat;
    ASSERT_TRUE(img.Clone(flat).ok());
    ASSERT_TRUE(flat.CompositeOnWhite().ok());
    long err = 0;
    for (int y = 0; y < img.Height(); ++y)
      for (int x = 0; x < img.Width(); ++x) {
        Rgba want = Visual(flat, x, y);
        const uint8_t* p = j.pixels.data() + (static_cast<size_t>(y) * j.w + x) * j.components;
        err += std::abs(p[0] - want.r);
        if (j.components == 3) err += std::abs(p[1] - want.g) + std::abs(p[2] - want.b);
      }
    EXPECT_LT(err / (img.Width() * img.Height()), 6) << "mean error too high for " << kind;
  }
}

TEST(JpegWriter, QualityChangesTheFile) {
  Image img = Loaded(fixtures::Png({2, 8}), ImageType::kPng);
  testsupport::ScratchDir dir;
  img.SetJpegQuality(10);
  ASSERT_TRUE(img.WriteJpeg(dir.file("lo.jpg")).ok());
  img.SetJpegQuality(95);
  ASSERT_TRUE(img.WriteJpeg(dir.file("hi.jpg")).ok());
  EXPECT_LT(testsupport::ReadFile(dir.file("lo.jpg")).size(),
            testsupport::ReadFile(dir.file("hi.jpg")).size());
  img.SetJpegQuality(0);
  EXPECT_EQ(img.JpegQuality(), 1);
  img.SetJpegQuality(500);
  EXPECT_EQ(img.JpegQuality(), 100);
  EXPECT_EQ(img.WriteJpeg(dir.file("no/such/folder.jpg")).status, Status::kWriteFailed);
}

TEST(JpegWriter, WriteChoosesTheFormatByCompression) {
  Image img = Loaded(fixtures::Tiff({TiffPage{8, 3, 6, 7}}), ImageType::kTiff);
  testsupport::ScratchDir dir;
  ASSERT_EQ(img.WriteCompression(), kCompressionJpeg);
  ASSERT_TRUE(img.Write(dir.file("a")).ok());
  EXPECT_EQ(testsupport::ReadFile(dir.file("a")).substr(0, 2), "\xFF\xD8");
  img.SetWriteCompression(kCompressionLzw);
  ASSERT_TRUE(img.Write(dir.file("b")).ok());
  EXPECT_EQ(testsupport::ReadFile(dir.file("b")).substr(0, 2), "II");
}

} // namespace
