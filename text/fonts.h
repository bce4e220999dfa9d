// The document's font table: how a font is found by name and encoding, named in page
// content ("/F%s%d"), listed in page resources, and written as font objects at close.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdfwriter/writer.h"

namespace text {

// Reserved encoding names: the font's own encoding, and an alias of the default encoding.
inline constexpr char kBuiltInEncodingName[] = "FontSpecific";
inline constexpr char kEncodingAlias[] = "Default";
inline constexpr char kDefaultEncodingName[] = "WinAnsiEncoding";

inline constexpr int kBuiltInEncoding = -1;
inline constexpr int kCidEncoding = -2;
// A composite font with Identity-H: text is UTF-8 and each new character gets the next code.
inline constexpr int kIdentityEncoding = -3;
inline constexpr char kIdentityName[] = "Identity-H";
inline constexpr int kUnknownEncoding = -100;

struct Encoding {
  const char* name;
  bool predefined;           // written as its own name; otherwise with /Differences
  const char* const* glyphs; // 256 glyph names (null entries are .notdef), or null
};

// An encoding read from a file the font configuration names: 256 glyph names.
struct EncodingFile {
  Encoding encoding{};
  std::string name;
  std::vector<std::string> names;
  std::vector<const char*> glyphs; // into names; null for .notdef
};
// Encodings read from files are numbered from here, per document.
inline constexpr int kLoadedEncodingBase = 1000;
inline constexpr size_t kMaxEncodingFileSize = 256u << 10;
// Reads "CODE NAME" lines (code decimal or 0x hexadecimal, name with or without "/";
// "%" and "#" start comments); null when the text names no glyph.
std::shared_ptr<const EncodingFile> ParseEncodingFile(const std::string& name,
                                                      std::string_view text);

// Index into the encoding table, kBuiltInEncoding, or kUnknownEncoding.
int ResolveEncoding(const char* name);
const Encoding* EncodingAt(int index);

class SfntFace;
struct FontConfiguration;

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

  // TrueType and OpenType fonts: the whole program, and for kind 1 its CFF table.
  std::shared_ptr<const std::vector<uint8_t>> fontData;
  std::vector<uint8_t> cffTable;
  int charset = 0; // Windows character set: 128, 129, 134, 136 for CJK fonts, else 0
  // Identity-H composite: per code its character, glyph and width.
  bool identity = false;
  std::vector<uint32_t> usedChars;
  std::vector<uint32_t> codeGlyphs;
  std::vector<int> codeWidths;
  std::unordered_map<uint32_t, uint16_t> codeOf;
  std::shared_ptr<SfntFace> face;
  // An encoding read from a file (encodingIndex from kLoadedEncodingBase).
  std::shared_ptr<const EncodingFile> encodingFile;
  // Kind 6: the predefined CMap and the index of its character collection.
  std::string cmapName;
  int collection = 0;
};

bool IsCjkCharset(int charset);
// The encoding a font is written and measured in; null for the font's own encoding.
const Encoding* EncodingOf(const FontRecord& f);

// True for the fourteen names that readers supply without widths or descriptor.
bool IsStandardFontName(const std::string& name);

class FontTable {
public:
  FontTable();
  ~FontTable();
  FontTable(const FontTable&) = delete;
  FontTable& operator=(const FontTable&) = delete;

  // Bold and italic request for installed fonts found by later lookups.
  void SetStyle(bool bold, bool italic) {
    bold_ = bold;
    italic_ = italic;
  }
  // Minor PDF version of the document (4 for "%PDF-1.4"); CMaps newer than it are refused.
  void SetPdfMinorVersion(int minor) { pdfMinor_ = minor; }
  // Font configuration file of the document, used when the environment names none.
  void SetConfigurationPath(std::string path) { configPath_ = std::move(path); }

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
  int FindFromSources(pdf::Writer& w, const char* name, int encodingIndex, int embed);
  int FindCid(pdf::Writer& w, const char* name, const char* cmap);
  bool FromConfiguration(const char* name, int encodingIndex, int embed, FontRecord& out);
  const FontConfiguration& Configuration();
  // An encoding file the configuration names, loaded once; kUnknownEncoding when none.
  int LoadEncoding(const char* name);

  std::vector<FontRecord> fonts_;
  bool bold_ = false, italic_ = false;
  int pdfMinor_ = 4;
  std::string configPath_;
  std::unique_ptr<FontConfiguration> config_;
  std::vector<std::shared_ptr<const EncodingFile>> loaded_;
};

} // namespace text
