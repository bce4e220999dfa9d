#include "identity_text.h"

#include "sfnt_font.h"

namespace text {

std::vector<char32_t> DecodeUtf8(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      auto n = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) ok = false;
      c = c << 6 | (n & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed too.
    static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (ok &&
        (c < kMin[static_cast<size_t>(extra)] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::string EncodeIdentity(FontRecord& font, std::string_view utf8) {
  std::string codes;
  for (char32_t c : DecodeUtf8(utf8)) {
    auto it = font.codeOf.find(c);
    uint16_t code;
    if (it != font.codeOf.end()) {
      code = it->second;
    } else {
      // Two-byte codes run out after 65536 characters; later ones are not shown.
      if (font.usedChars.size() >= 0x10000) continue;
      code = static_cast<uint16_t>(font.usedChars.size());
      uint32_t glyph = font.face ? font.face->GlyphForUnicode(c) : 0;
      font.usedChars.push_back(c);
      font.codeGlyphs.push_back(glyph);
      font.codeWidths.push_back(font.face ? font.face->Advance(glyph) : 0);
      font.codeOf.emplace(c, code);
    }
    codes += static_cast<char>(code >> 8);
    codes += static_cast<char>(code & 0xFF);
  }
  return codes;
}

int IdentityCharWidth(const FontRecord& font, char32_t c) {
  auto it = font.codeOf.find(c);
  if (it != font.codeOf.end()) return font.codeWidths[it->second];
  return font.face ? font.face->Advance(font.face->GlyphForUnicode(c)) : 0;
}

int IdentityCodeWidth(const FontRecord& font, uint16_t code) {
  return code < font.codeWidths.size() ? font.codeWidths[code] : 0;
}

} // namespace text
