// TrueType and OpenType fonts read through FreeType: the open face, and the metrics, kind,
// widths, flags and character set that a font record takes from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fonts.h"

namespace text {

// Larger font files are refused before they are read.
inline constexpr size_t kMaxFontFileSize = 64u << 20;

// One face of a font program held in memory; the bytes live as long as the face.
class SfntFace {
public:
  ~SfntFace();
  SfntFace(const SfntFace&) = delete;
  SfntFace& operator=(const SfntFace&) = delete;

  // Null when FreeType cannot open face `index` of the data or it is no scalable sfnt font.
  static std::shared_ptr<SfntFace> Open(std::shared_ptr<const std::vector<uint8_t>> data,
                                        long index);

  // Glyph of a Unicode character, 0 when the font has none.
  uint32_t GlyphForUnicode(uint32_t unicode) const;
  // Advance width of a glyph in thousandths of the text size.
  int Advance(uint32_t glyph) const;
  // A value in font units scaled to thousandths and rounded half away from zero.
  int Scale(long value) const;
  int unitsPerEm() const { return unitsPerEm_; }
  long faceCount() const;
  std::string family() const;
  // A table's bytes, empty when the font has none; its length without reading it.
  std::vector<uint8_t> Table(uint32_t tag) const;
  size_t TableLength(uint32_t tag) const;
  // The face as a font program of its own: the file's bytes, or for a face of a collection
  // its tables under a new table directory. Null when the tables cannot be read.
  std::shared_ptr<const std::vector<uint8_t>> Program() const;
  void* ftFace() const { return face_; }

private:
  SfntFace() = default;

  std::shared_ptr<const std::vector<uint8_t>> data_;
  void* library_ = nullptr;
  void* face_ = nullptr;
  long index_ = 0;
  int unitsPerEm_ = 1000;
};

// Rounds half away from zero.
int RoundHalfAway(double v);

// Fills the record (kind, font data, metrics, widths under encodingIndex, flags, charset)
// from face `index` of a font program. False when it is no TrueType or OpenType font, lacks
// its outline tables, or may not be embedded and embed is set.
bool LoadSfntFont(std::shared_ptr<const std::vector<uint8_t>> data, long index, int encodingIndex,
                  bool embed, FontRecord& out);

// Reads a whole font file, refusing files over kMaxFontFileSize. Null on failure.
std::shared_ptr<const std::vector<uint8_t>> ReadFontFile(const std::string& path);

// Descriptor flags of a font loaded from a file or from the system.
uint32_t DescriptorFlags(const FontRecord& r, bool symbolic);

} // namespace text
