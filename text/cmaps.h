// The predefined CMaps of CJK text and the built-in CJK font records.
#pragma once

#include <cstdint>

namespace text {

struct CharacterCollection {
  const char* registry;
  const char* ordering;
  int supplement;
};

struct PredefinedCmap {
  const char* name;
  int minorVersion; // lowest PDF version 1.x that has it
  int collection;   // index into the collections
};

struct CjkFontMetrics {
  const char* name;
  int collection;
  uint32_t flags;
  int fontBBox[4];
  int italicAngle;
  int capHeight, xHeight, ascent, descent;
  int stemV, stemH;
};

inline constexpr int kGb1 = 0, kCns1 = 1, kJapan1 = 2, kKorea1 = 3, kIdentityCollection = 4;

const CharacterCollection& CollectionAt(int index);
// The predefined CMap of exactly this name, or null.
const PredefinedCmap* FindPredefinedCmap(const char* name);
// The CJK font of this name (compared without regard to case), or null.
const CjkFontMetrics* FindCjkFont(const char* name);

inline constexpr int kPredefinedCmapCount = 53;
inline constexpr int kCjkFontCount = 13;
extern const PredefinedCmap kPredefinedCmaps[kPredefinedCmapCount];
extern const CjkFontMetrics kCjkFonts[kCjkFontCount];

} // namespace text
