// The Unicode value of each code of the built-in encodings (0 where a code has no glyph).
#pragma once

#include <cstdint>

namespace text {

extern const uint16_t kWinAnsiUnicode[256];
extern const uint16_t kMacRomanUnicode[256];
extern const uint16_t kStandardUnicode[256];

// Table of an encoding of the encoding table; null for the font's own encoding.
inline const uint16_t* EncodingUnicode(int encodingIndex) {
  switch (encodingIndex) {
  case 0:
    return kWinAnsiUnicode;
  case 1:
    return kMacRomanUnicode;
  case 2:
    return kStandardUnicode;
  default:
    return nullptr;
  }
}

} // namespace text
