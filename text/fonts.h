// The document's font table: how a font is found by name and encoding, named in page
// content ("/F%s%d"), listed in page resources, and written as font objects at close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdfwriter/writer.h"

namespace text {

// Reserved encoding names: the font's own encoding, and an alias of the default encoding.
inline constexpr char kBuiltInEncodingName[] = "FontSpecific";
inline constexpr char kEncodingAlias[] = "Default";
inline constexpr char kDefaultEncodingName[] = "WinAnsiEncoding";

inline constexpr int kBuiltInEncoding = -1;
inline constexpr int kCidEncoding = -2;
inline constexpr int kUnknownEncoding = -100;

struct Encoding {
  const char* name;
  bool predefined;           // written as its own name; otherwise with /Differences
  const char* const* glyphs; // 256 glyph names (null entries are .notdef), or null
};

// Index into the encoding table, kBuiltInEncoding, or kUnknownEncoding.
int ResolveEncoding(const char* name);
const Encoding* EncodingAt(int index);

enum FontKind { kType1 = 0, kOpenTypeCff = 1, kTrueType = 2, kType1Variant = 3, kCid = 6 };

struct FontRecord {
  std::string name;
  int encodingIndex = 0;
  int usedOnPage = 0;
  int embed = 0;
  std::string fontFile;
  int objectNumber = 0;
  uint32_t flags = 0;
  int kind = kType1;
  float italicAngle = 0;
  int fixedPitch = 0;
  float fontBBox[4] = {0, 0, 0, 0};
  int underlinePosition = -100, underlineThickness = 50;
  int capHeight = 0, xHeight = 0, ascent = 0, descent = 0;
  int stemV = 0, stemH = 0;
  int widths[256] = {};
};

// True for the fourteen names that readers supply without widths or descriptor.
bool IsStandardFontName(const std::string& name);

class FontTable {
public:
  FontTable() { fonts_.reserve(16); }

  // Index of the font (name, encoding), added from the first metrics source that knows it;
  // -1 when refused or unknown.
  int Find(pdf::Writer& w, const char* name, const char* encoding, int embed);
  // Adds a record made by another metrics source: reserves its object number.
  int Add(pdf::Writer& w, FontRecord record);

  FontRecord* at(int index);
  int size() const { return static_cast<int>(fonts_.size()); }

  void MarkUsed(int index);
  // The page's /Font entry (only when a font was used on it); clears the marks.
  void WritePageResources(pdf::Writer& w);
  // Every font's objects, in table order.
  void WriteFonts(pdf::Writer& w);

private:
  std::vector<FontRecord> fonts_;
};

} // namespace text
