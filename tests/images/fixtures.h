// Test images made with libjpeg and libtiff, their independent decodings, and renderings of
// PDF pages by mupdf and poppler.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fixtures {

// Interleaved 8-bit pixels.
struct Raster {
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> pixels;
  uint8_t* at(int x, int y) {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * components;
  }
  const uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * components;
  }
};

// A picture with flat areas, edges and gradients, so any misplaced or inverted row shows.
Raster Pattern(int width, int height, int components);
// Black shapes on white, one component, values 0 and 255.
Raster BitonalPattern(int width, int height);
// The same image with 3 components (grey copied, CMYK mapped naively to RGB).
Raster ToRgb(const Raster& r);

struct JpegOptions {
  int quality = 90;
  bool progressive = false;
  bool arithmetic = false; // arithmetic-coded, which PDF readers cannot decode
  bool adobeMarker = true; // for CMYK: libjpeg writes the Adobe segment unless told not to
  int densityUnit = -1;    // -1: libjpeg's default JFIF segment
  int xDensity = 0, yDensity = 0;
  bool jfif = true;
  std::string extraApp13; // raw body of an APP13 segment written after the JFIF segment
};
// CMYK rasters with adobeMarker are stored inverted, as programs that write the segment do.
std::string EncodeJpeg(const Raster& r, const JpegOptions& o = {});
Raster DecodeJpeg(const std::string& bytes);

struct TiffPage {
  Raster raster; // grey, RGB or CMYK samples; for bitonal pages 0 = black, 255 = white
  int bitsPerSample = 8;
  int photometric = 1;
  int compression = 1;
  int predictor = 0; // 0: no tag
  int fillOrder = 1;
  int rowsPerStrip = 0; // 0: libtiff's default
  uint32_t group3Options = 0;
  bool tiled = false;
  int extraSamples = 0;            // extra samples after the colour samples (unassociated alpha)
  std::vector<uint16_t> colourMap; // 3 * 2^bits entries for palette pages (indices in raster)
};
// Writes every page as one directory.
bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages);
// libtiff's own decoding of directory `index` (from 0), as RGB with alpha on white.
Raster DecodeTiff(const std::string& path, int index);

// Renders page `page` (from 1) at 72 dpi as RGB.
Raster RenderMupdf(const std::string& pdf, int page, const std::string& scratch);
Raster RenderPoppler(const std::string& pdf, int page, const std::string& scratch);

// Largest difference of any sample, or 256 when the sizes differ.
int MaxDifference(const Raster& a, const Raster& b);
double MeanDifference(const Raster& a, const Raster& b);

// poppler smooths images even at 1:1, so its pages are compared loosely: the same size, a
// small mean difference, and for ink colours (which it maps to RGB its own way) the same
// dark and light areas.
::testing::AssertionResult PopplerAgrees(const Raster& poppler, const Raster& expected,
                                         bool inkColours);

} // namespace fixtures
