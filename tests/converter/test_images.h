// Builders of small GIF, PSD and WebP files for the converter tests and seeds, and a reader
// of the TIFF files the converter writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace convtest {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// ---- GIF ----
// Pixels are letters: R G B K Y C M O name colours (see ColourOf), '_' is the frame's
// transparent colour, '.' is white.
Rgb ColourOf(char letter);

struct GifFrame {
  int left = 0, top = 0;
  std::vector<std::string> rows{}; // letters, one string per row
  int disposal = -1;               // -1: no graphics control extension
  bool transparent = false;        // '_' pixels use the transparent index
  bool local_map = false;          // the frame carries its own colour table
  bool interlaced = false;
};

struct GifSpec {
  int width = 0, height = 0;
  std::vector<GifFrame> frames{};
  bool trailer = true;
  bool global_map = true; // the screen carries a colour table
};

std::string MakeGif(const GifSpec& spec);

// ---- PSD ----
struct PsdSpec {
  int version = 1;
  uint16_t mode = 3; // 1 grey, 2 indexed, 3 RGB, 4 CMYK, 9 Lab
  uint16_t depth = 8;
  uint32_t width = 0, height = 0;
  std::vector<std::vector<uint8_t>> planes{}; // one per channel, row after row, stored bytes
  uint16_t compression = 0;                   // 0 raw, 1 PackBits
  std::vector<uint8_t> palette{};             // 768 bytes for indexed files
  double dpi = 0;                             // a resolution resource when > 0
};

std::string MakePsd(const PsdSpec& spec);

// ---- WebP ----
// rgba: width*height*4 bytes; lossless so every value survives.
std::string MakeWebp(int width, int height, const std::vector<uint8_t>& rgba);
// Opaque RGB frames, width*height*3 bytes each.
std::string MakeAnimatedWebp(int width, int height,
                             const std::vector<std::vector<uint8_t>>& frames);

// ---- TIFF ----
struct TiffPage {
  uint32_t width = 0, height = 0;
  uint16_t samples = 0, bits = 0, photometric = 0, compression = 0;
  float xres = 0, yres = 0;
  std::vector<uint8_t> pixels; // rows packed
};

// Every directory of the TIFF file; empty when it cannot be read.
std::vector<TiffPage> ReadTiff(const std::string& path);

// A page as letters (see ColourOf, '.' white, '?' anything else), for readable comparisons.
std::vector<std::string> Letters(const TiffPage& page);

} // namespace convtest
