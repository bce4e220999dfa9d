// Output rows for the writers: every image reduced to one of four plain forms, with any alpha
// composited onto white on the way.
#pragma once

#include <cstdint>
#include <vector>

#include "imagelib/imagelib.h"

namespace imagelib::detail {

enum class OutForm {
  kBitonal, // 1 bit, set = black
  kGrey,    // 8 bits, 0 = black
  kPalette, // the image's own indices (4 or 8 bits), no alpha
  kRgb,     // 24 bits
};

// True when every palette entry is grey.
bool AllGrey(const Image& img);

// Fills dst (big enough for the form's row) with row y.
// The components an ICC profile describes (1 grey, 3 RGB, 4 CMYK), 0 for anything else.
int IccComponents(const std::vector<uint8_t>& profile);

void MakeRow(const Image& img, int y, OutForm form, uint8_t* dst);

} // namespace imagelib::detail
