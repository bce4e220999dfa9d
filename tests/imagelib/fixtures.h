// Small image files made in memory for the image library's tests and seed files: a few
// reference patterns, and encoders that write them in each format (by hand for the simple
// formats, through the codec libraries for the others).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

inline constexpr int kW = 13, kH = 7; // odd width: exercises row padding everywhere

// Reference patterns.
Rgba RgbAt(int x, int y);
uint8_t GreyAt(int x, int y);
uint8_t AlphaAt(int x, int y);
bool InkAt(int x, int y);               // bitonal: true = black
int IndexAt(int x, int y, int colours); // palette index
Rgba PaletteColour(int i);              // the palette used with IndexAt

using Pattern = std::function<Rgba(int x, int y)>;
Pattern RgbPattern();
Pattern RgbaPattern();
Pattern GreyPattern();
Pattern GreyAlphaPattern();
Pattern InkPattern();
Pattern PalettePattern(int colours);

// Byte builders.
struct Bytes {
  std::string s;
  void u8(int v) { s.push_back(static_cast<char>(v & 0xFF)); }
  void le16(int v) { u8(v), u8(v >> 8); }
  void le32(uint32_t v) { le16(static_cast<int>(v & 0xFFFF)), le16(static_cast<int>(v >> 16)); }
  void be16(int v) { u8(v >> 8), u8(v); }
  void be32(uint32_t v) { be16(static_cast<int>(v >> 16)), be16(static_cast<int>(v & 0xFFFF)); }
  void str(const std::string& t) { s += t; }
  void zeros(size_t n) { s.append(n, '\0'); }
};

// BMP. bits 1, 2, 4, 8 (palette patterns), 16 (5-6-5 bit fields), 24, 32 (bit fields with alpha
// when alpha is set, else plain). headerSize 12, 40, 64 or 108.
struct BmpOptions {
  int bits = 24;
  int headerSize = 40;
  bool topDown = false;
  int rle = 0; // 8 or 4
  bool alpha = false;
  bool fileHeader = true;
  bool array = false; // wrap in an OS/2 bitmap array
  int ppm = 11811;    // 300 dpi
};
std::string Bmp(const BmpOptions& o, int w = kW, int h = kH);
// Only the headers of a bitmap with the given size, followed by `tail` bytes of zeros.
std::string BmpHeaderOnly(int32_t w, int32_t h, int bits, size_t tail);

// PNG via libpng. colourType and depth as in the PNG header.
struct PngOptions {
  int colourType = 2;
  int depth = 8;
  bool trns = false;
  bool interlace = false;
  int ppm = 0;
};
std::string Png(const PngOptions& o, int w = kW, int h = kH);

// JPEG via libjpeg: grey or RGB from the reference patterns.
std::string Jpeg(bool grey, int quality = 95, int dpi = 0, int w = kW, int h = kH,
                 bool cmyk = false);
// A JPEG without JFIF density whose Exif block gives the resolution (unit 2 inch, 3 cm).
std::string JpegWithExif(uint32_t resolution, int unit, bool bigEndian);

// TIFF via libtiff. Pages follow each other; each page from its own options.
struct TiffPage {
  int bits = 8;
  int samples = 3;
  int photometric = 2;
  int compression = 1;
  bool tiled = false;
  bool separate = false;
  bool alpha = false; // unassociated extra sample
  float dpi = 0;
  int unit = 2;
  int w = kW, h = kH;
};
std::string Tiff(const std::vector<TiffPage>& pages);

// JPEG 2000 via OpenJPEG, lossless. components 1 (grey), 3 (RGB) or 4 (RGBA).
std::string Jpeg2000(int components, bool codestream, int w = kW, int h = kH);

std::string Pnm(int kind, int maxval = 255, bool comments = false);
// PAM (P7) with depth 1 (grey, or BLACKANDWHITE when bitonal), 2 (grey, alpha), 3 or 4 (RGBA).
std::string Pam(int depth, bool bitonal = false, int maxval = 255);
struct TgaOptions {
  int type = 2; // 1, 2, 3 or +8 for RLE
  int depth = 24;
  bool topDown = false;
};
std::string Tga(const TgaOptions& o);
std::string Pcx(int bits, int planes);
// An icon with the given entries: 'p' PNG (RGBA), '3' 32-bit DIB with alpha, '8' 8-bit DIB with
// mask, '1' 1-bit DIB with mask.
std::string Ico(const std::string& entries);
std::string Wbmp();
std::string Sun(int depth, bool rle, bool colourMap);
std::string Pgx(int depth, bool bigEndian, bool isSigned);

} // namespace fixtures
