// TrueType and OpenType font programs: loading, glyph lookups of Identity-H text, and the
// subset written at close.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/font_writers.h"
#include "text/identity_text.h"
#include "text/sfnt_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > text::kMaxFontFileSize) return 0;
  auto bytes = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  for (long face = 0; face < 2; ++face) {
    text::FontRecord r;
    r.name = "Fuzz";
    if (!text::LoadSfntFont(bytes, face, 0, true, r)) continue;
    text::EncodeIdentity(r, "Aé中\xF0\x9F\x98\x80");
    text::SubsetProgram(*r.fontData, r.usedChars, r.codeGlyphs);
  }
  return 0;
}
