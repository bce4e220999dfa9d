#include "metrics_files.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "sfnt_font.h"

namespace text {
namespace {

std::string_view NextToken(std::string_view& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r'))
    ++i;
  size_t j = i;
  while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != '\r' && s[j] != ';')
    ++j;
  std::string_view t = s.substr(i, j - i);
  s.remove_prefix(j);
  return t;
}

double Number(std::string_view t) {
  std::string copy(t.substr(0, 32));
  char* end = nullptr;
  double v = std::strtod(copy.c_str(), &end);
  if (end == copy.c_str() || v != v || v > 1e7 || v < -1e7) return 0;
  return v;
}

int Clamp(double v) {
  return RoundHalfAway(v);
}

// The glyph names of an encoding, or null for the font's own encoding.
const char* const* GlyphNames(int encodingIndex) {
  const Encoding* e = EncodingAt(encodingIndex);
  return e ? e->glyphs : nullptr;
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

bool ParseAfm(std::string_view text, int encodingIndex, FontRecord& out) {
  if (text.size() > kMaxMetricsFileSize || text.substr(0, 16) != "StartFontMetrics") return false;
  FontRecord r;
  r.name = out.name;
  r.encodingIndex = encodingIndex;
  r.encodingFile = out.encodingFile;
  r.kind = kType1;
  std::unordered_map<std::string, int> byName;
  int byCode[256];
  for (int& w : byCode)
    w = -1;
  bool symbolic = false, inMetrics = false;
  double weightStem = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    std::string_view rest = line;
    std::string_view key = NextToken(rest);
    if (key == "StartCharMetrics") {
      inMetrics = true;
    } else if (key == "EndCharMetrics") {
      inMetrics = false;
    } else if (inMetrics && key == "C") {
      // "C code ; WX width ; N name ; B llx lly urx ury ;"
      int code = Clamp(Number(NextToken(rest)));
      int width = 0;
      std::string name;
      while (!rest.empty()) {
        size_t semi = rest.find(';');
        std::string_view part = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        std::string_view k = NextToken(part);
        if (k == "WX" || k == "W0X") width = Clamp(Number(NextToken(part)));
        if (k == "N") name = std::string(NextToken(part));
      }
      if (byName.size() < 65536 && !name.empty()) byName.emplace(name, width);
      if (code >= 0 && code <= 255) byCode[code] = width;
    } else if (key == "FontBBox") {
      for (float& v : r.fontBBox)
        v = static_cast<float>(Clamp(Number(NextToken(rest))));
    } else if (key == "CapHeight") {
      r.capHeight = Clamp(Number(NextToken(rest)));
    } else if (key == "XHeight") {
      r.xHeight = Clamp(Number(NextToken(rest)));
    } else if (key == "Ascender") {
      r.ascent = Clamp(Number(NextToken(rest)));
    } else if (key == "Descender") {
      r.descent = Clamp(Number(NextToken(rest)));
    } else if (key == "ItalicAngle") {
      r.italicAngle = static_cast<float>(Number(NextToken(rest)));
    } else if (key == "IsFixedPitch") {
      r.fixedPitch = NextToken(rest) == "true" ? 1 : 0;
    } else if (key == "UnderlinePosition") {
      r.underlinePosition = Clamp(Number(NextToken(rest)));
    } else if (key == "UnderlineThickness") {
      r.underlineThickness = Clamp(Number(NextToken(rest)));
    } else if (key == "StdVW") {
      r.stemV = Clamp(Number(NextToken(rest)));
    } else if (key == "StdHW") {
      r.stemH = Clamp(Number(NextToken(rest)));
    } else if (key == "Weight") {
      std::string_view w = NextToken(rest);
      weightStem = (w == "Bold" || w == "Heavy" || w == "Black") ? 140 : 88;
    } else if (key == "EncodingScheme" || key == "CharacterSet") {
      std::string_view v = NextToken(rest);
      if (key == "EncodingScheme" && v == "FontSpecific") symbolic = true;
      if (key == "CharacterSet" && v == "Special") symbolic = true;
    }
  }
  if (r.stemV == 0) r.stemV = static_cast<int>(weightStem ? weightStem : 88);
  auto space = byName.find("space");
  int fill = space != byName.end() ? space->second : 250;
  const char* const* names =
      r.encodingFile ? r.encodingFile->glyphs.data() : GlyphNames(encodingIndex);
  for (int c = 0; c < 256; ++c) {
    r.widths[c] = fill;
    if (names) {
      if (names[c]) {
        auto it = byName.find(names[c]);
        if (it != byName.end()) r.widths[c] = it->second;
      }
    } else if (byCode[c] >= 0) {
      r.widths[c] = byCode[c];
    }
  }
  r.flags = DescriptorFlags(r, symbolic);
  out = std::move(r);
  return true;
}

bool ParsePfm(const uint8_t* d, size_t size, int encodingIndex, FontRecord& out) {
  // The header of 117 bytes, its extension to 147, and the extended text metrics.
  if (!d || size < 147 || size > kMaxMetricsFileSize) return false;
  if (Le16(d) != 0x0100 && Le16(d) != 0x0200 && Le16(d) != 0x0300) return false;
  FontRecord r;
  r.name = out.name;
  r.encodingIndex = encodingIndex;
  r.encodingFile = out.encodingFile;
  r.kind = kType1;
  int ascent = static_cast<int16_t>(Le16(d + 74));
  int weight = Le16(d + 83);
  int charset = d[85];
  int pitch = d[90];
  int maxWidth = Le16(d + 93);
  int first = d[95], last = d[96];
  uint32_t etm = Le32(d + 119);
  uint32_t extents = Le32(d + 123);
  if (first > last || etm > size || size - etm < 36) return false;
  size_t count = static_cast<size_t>(last - first + 1);
  if (extents > size || (size - extents) / 2 < count) return false;
  const uint8_t* e = d + etm;
  r.capHeight = static_cast<int16_t>(Le16(e + 14));
  r.xHeight = static_cast<int16_t>(Le16(e + 16));
  r.ascent = static_cast<int16_t>(Le16(e + 18));
  r.descent = -static_cast<int16_t>(Le16(e + 20));
  r.italicAngle = static_cast<float>(static_cast<int16_t>(Le16(e + 22))) / 10.0f;
  r.underlinePosition = -static_cast<int16_t>(Le16(e + 32));
  r.underlineThickness = static_cast<int16_t>(Le16(e + 34));
  // Bit 0 of the pitch byte is set for variable-pitch fonts.
  r.fixedPitch = (pitch & 1) ? 0 : 1;
  r.fontBBox[0] = 0;
  r.fontBBox[1] = static_cast<float>(r.descent);
  r.fontBBox[2] = static_cast<float>(maxWidth);
  r.fontBBox[3] = static_cast<float>(ascent > r.ascent ? ascent : r.ascent);
  double stem = weight * 0.015384615;
  r.stemV = static_cast<int>(stem * stem + 50);
  const uint8_t* widths = d + extents;
  int space = (32 >= first && 32 <= last) ? Le16(widths + 2 * (32 - first)) : 250;
  for (int c = 0; c < 256; ++c)
    r.widths[c] = c >= first && c <= last ? Le16(widths + 2 * (c - first)) : space;
  (void)encodingIndex;
  r.flags = DescriptorFlags(r, charset == 2);
  out = std::move(r);
  return true;
}

} // namespace text
