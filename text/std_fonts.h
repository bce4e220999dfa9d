// Built-in metrics of the fourteen standard Type 1 fonts and the glyph lists of the built-in
// encodings. The data is generated (text/std_fonts_data.cpp, tools/gen_std_fonts.py).
#pragma once

#include <cstdint>

namespace text {

struct StdFontMetrics {
  const char* name;
  int code;      // option 106 / query 250 code
  bool symbolic; // measured in its built-in encoding; the others in WinAnsiEncoding
  uint32_t flags;
  float italicAngle;
  int fixedPitch;
  int fontBBox[4];
  int capHeight, xHeight, ascent, descent;
  int stemV, stemH;
  int widths[256]; // thousandths of the text size
};

inline constexpr int kStdFontCount = 14;
extern const StdFontMetrics kStdFonts[kStdFontCount];

// Glyph names per code; null for codes without a glyph.
extern const char* const kWinAnsiGlyphs[256];
extern const char* const kStandardGlyphs[256];

// Standard font name of a code of the table; null for any other code.
const char* StdFontNameForCode(int code);
// Code of a standard font name compared without regard to case; 0 when it is none.
int StdFontCode(const char* name);
// The built-in record of exactly this name, or null.
const StdFontMetrics* FindStdFontMetrics(const char* name);

} // namespace text
