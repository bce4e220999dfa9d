// Small pixel helpers shared by the readers, conversions and writers.
#pragma once

#include <cstdint>

#include "imagelib/imagelib.h"

namespace imagelib::detail {

inline int IndexAt(const uint8_t* row, int x, int bpp) {
  switch (bpp) {
  case 1:
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
  case 4:
    return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
  default:
    return row[x];
  }
}

inline void SetIndex(uint8_t* row, int x, int bpp, int v) {
  switch (bpp) {
  case 1: {
    uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
    if (v & 1)
      row[x >> 3] |= m;
    else
      row[x >> 3] &= static_cast<uint8_t>(~m);
    break;
  }
  case 4:
    if (x & 1)
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
    else
      row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
    break;
  default:
    row[x] = static_cast<uint8_t>(v);
  }
}

inline uint8_t Luma(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}
inline uint8_t Luma(const Rgb& c) {
  return Luma(c.r, c.g, c.b);
}

// Colour value v blended over white by alpha a.
inline uint8_t OverWhite(uint8_t v, uint8_t a) {
  return static_cast<uint8_t>((v * a + 255 * (255 - a) + 127) / 255);
}

// Expands an n-bit sample (n < 8) to 8 bits.
inline uint8_t Scale(uint32_t v, int bits) {
  if (bits >= 8) return static_cast<uint8_t>(v);
  uint32_t max = (1u << bits) - 1;
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

// Fills a palette with a grey ramp of 2^bpp entries.
void GreyRamp(std::vector<Rgb>& pal, int bpp);

} // namespace imagelib::detail
