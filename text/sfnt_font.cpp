#include "sfnt_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <cmath>
#include <cstdio>
#include <cstring>

#include "encoding_unicode.h"

namespace text {
namespace {

FT_Face AsFace(void* p) {
  return static_cast<FT_Face>(p);
}

constexpr uint32_t Tag(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24 |
         static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(d));
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x >> 8);
  v[at + 1] = static_cast<uint8_t>(x);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  Put16(v, at, x >> 16);
  Put16(v, at + 2, x & 0xFFFF);
}

uint32_t Checksum(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k)
      word = word << 8 | (i + k < n ? p[i + k] : 0);
    sum += word;
  }
  return sum;
}

bool HasCharmap(FT_Face face, FT_Encoding encoding) {
  for (int i = 0; i < face->num_charmaps; ++i)
    if (face->charmaps[i]->encoding == encoding) return true;
  return false;
}

// Windows character set from the OS/2 code-page ranges.
int CharsetFromCodePages(uint32_t range1) {
  if (range1 & (1u << 17)) return 128;                // Japanese
  if (range1 & ((1u << 19) | (1u << 21))) return 129; // Korean (Wansung, Johab)
  if (range1 & (1u << 18)) return 134;                // Simplified Chinese
  if (range1 & (1u << 20)) return 136;                // Traditional Chinese
  return 0;
}

} // namespace

int RoundHalfAway(double v) {
  double r = v >= 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5);
  if (r > 2147483647.0) return 2147483647;
  if (r < -2147483647.0) return -2147483647;
  return static_cast<int>(r);
}

SfntFace::~SfntFace() {
  if (face_) FT_Done_Face(AsFace(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

std::shared_ptr<SfntFace> SfntFace::Open(std::shared_ptr<const std::vector<uint8_t>> data,
                                         long index) {
  if (!data || data->size() < 12 || index < 0 || index > 0xFFFF) return nullptr;
  std::shared_ptr<SfntFace> f(new SfntFace);
  f->data_ = std::move(data);
  f->index_ = index;
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib) != 0) return nullptr;
  f->library_ = lib;
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(lib, f->data_->data(), static_cast<FT_Long>(f->data_->size()), index,
                         &face) != 0)
    return nullptr;
  f->face_ = face;
  if (!FT_IS_SFNT(face) || !FT_IS_SCALABLE(face)) return nullptr;
  const auto* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
  if (!head || head->Units_Per_EM < 16 || head->Units_Per_EM > 16384) return nullptr;
  f->unitsPerEm_ = head->Units_Per_EM;
  return f;
}

uint32_t SfntFace::GlyphForUnicode(uint32_t unicode) const {
  FT_Face face = AsFace(face_);
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) return 0;
  return FT_Get_Char_Index(face, unicode);
}

int SfntFace::Advance(uint32_t glyph) const {
  FT_Fixed advance = 0;
  if (FT_Get_Advance(AsFace(face_), glyph, FT_LOAD_NO_SCALE, &advance) != 0) return 0;
  return Scale(advance);
}

long SfntFace::faceCount() const {
  return AsFace(face_)->num_faces;
}

std::string SfntFace::family() const {
  const char* f = AsFace(face_)->family_name;
  return f ? f : "";
}

int SfntFace::Scale(long value) const {
  return RoundHalfAway(static_cast<double>(value) * 1000.0 / unitsPerEm_);
}

size_t SfntFace::TableLength(uint32_t tag) const {
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(AsFace(face_), tag, 0, nullptr, &length) != 0) return 0;
  return length;
}

std::vector<uint8_t> SfntFace::Table(uint32_t tag) const {
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(AsFace(face_), tag, 0, nullptr, &length) != 0 || length == 0 ||
      length > data_->size())
    return {};
  std::vector<uint8_t> bytes(length);
  if (FT_Load_Sfnt_Table(AsFace(face_), tag, 0, bytes.data(), &length) != 0) return {};
  return bytes;
}

std::shared_ptr<const std::vector<uint8_t>> SfntFace::Program() const {
  const std::vector<uint8_t>& d = *data_;
  bool collection = d.size() >= 4 && std::memcmp(d.data(), "ttcf", 4) == 0;
  if (!collection) return data_;
  FT_Face face = AsFace(face_);
  struct Entry {
    uint32_t tag;
    std::vector<uint8_t> bytes;
  };
  std::vector<Entry> tables;
  size_t total = 0;
  for (FT_UInt i = 0;; ++i) {
    FT_ULong tag = 0, length = 0;
    if (FT_Sfnt_Table_Info(face, i, &tag, &length) != 0) break;
    if (i > 512 || length > d.size()) return nullptr;
    std::vector<uint8_t> bytes = Table(static_cast<uint32_t>(tag));
    if (bytes.size() != length) return nullptr;
    total += (length + 3) & ~size_t{3};
    tables.push_back({static_cast<uint32_t>(tag), std::move(bytes)});
  }
  if (tables.empty()) return nullptr;
  size_t n = tables.size();
  size_t dirSize = 12 + 16 * n;
  auto out = std::make_shared<std::vector<uint8_t>>(dirSize + total, 0);
  std::vector<uint8_t>& o = *out;
  bool cff = false;
  for (const Entry& e : tables)
    cff = cff || e.tag == Tag('C', 'F', 'F', ' ');
  Put32(o, 0, cff ? Tag('O', 'T', 'T', 'O') : 0x00010000);
  uint32_t pow2 = 1, log2 = 0;
  while (pow2 * 2 <= n) {
    pow2 *= 2;
    ++log2;
  }
  Put16(o, 4, static_cast<uint32_t>(n));
  Put16(o, 6, pow2 * 16);
  Put16(o, 8, log2);
  Put16(o, 10, static_cast<uint32_t>(n * 16 - pow2 * 16));
  size_t offset = dirSize;
  size_t headOffset = 0;
  for (size_t i = 0; i < n; ++i) {
    const Entry& e = tables[i];
    size_t rec = 12 + 16 * i;
    if (e.tag == Tag('h', 'e', 'a', 'd') && e.bytes.size() >= 12) headOffset = offset;
    std::vector<uint8_t> bytes = e.bytes;
    if (e.tag == Tag('h', 'e', 'a', 'd') && bytes.size() >= 12) Put32(bytes, 8, 0);
    Put32(o, rec, e.tag);
    Put32(o, rec + 4, Checksum(bytes.data(), bytes.size()));
    Put32(o, rec + 8, static_cast<uint32_t>(offset));
    Put32(o, rec + 12, static_cast<uint32_t>(bytes.size()));
    std::memcpy(o.data() + offset, bytes.data(), bytes.size());
    offset += (bytes.size() + 3) & ~size_t{3};
  }
  if (headOffset) Put32(o, headOffset + 8, 0xB1B0AFBAu - Checksum(o.data(), o.size()));
  return out;
}

uint32_t DescriptorFlags(const FontRecord& r, bool symbolic) {
  uint32_t flags = 0;
  if (r.fixedPitch) flags |= 1;
  flags |= symbolic ? 4 : 32;
  if (r.italicAngle < 0) flags |= 64;
  size_t n = r.name.size();
  if (n >= 2 && r.name.compare(n - 2, 2, "SC") == 0) flags |= 131072;
  if (r.stemV > 135) flags |= 262144;
  return flags;
}

bool LoadSfntFont(std::shared_ptr<const std::vector<uint8_t>> data, long index, int encodingIndex,
                  bool embed, FontRecord& out) {
  std::shared_ptr<SfntFace> sf = SfntFace::Open(data, index);
  if (!sf) return false;
  std::shared_ptr<const std::vector<uint8_t>> program = sf->Program();
  // Only TrueType outlines and OpenType with CFF outlines are fonts of this kind.
  if (!program || program->size() <= 9) return false;
  const uint8_t* p = program->data();
  bool trueType = p[0] == 0 && p[1] == 1 && p[2] == 0 && p[3] == 0;
  bool openType = std::memcmp(p, "OTTO", 4) == 0;
  if (!trueType && !openType) return false;

  FT_Face face = AsFace(sf->ftFace());
  FontRecord r;
  r.name = out.name;
  r.encodingIndex = encodingIndex;
  r.encodingFile = out.encodingFile;
  r.cffTable = sf->Table(Tag('C', 'F', 'F', ' '));
  if (!r.cffTable.empty()) {
    r.kind = kOpenTypeCff;
  } else {
    if (sf->TableLength(Tag('g', 'l', 'y', 'f')) == 0 ||
        sf->TableLength(Tag('l', 'o', 'c', 'a')) == 0)
      return false;
    r.kind = kTrueType;
  }

  const auto* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
  const auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
  const auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (!head) return false;
  // Type 2 is restricted licence embedding: the font may not leave the machine.
  if (embed && os2 && os2->version != 0xFFFF && (os2->fsType & 0x000F) == 2) return false;

  r.fontBBox[0] = static_cast<float>(sf->Scale(head->xMin));
  r.fontBBox[1] = static_cast<float>(sf->Scale(head->yMin));
  r.fontBBox[2] = static_cast<float>(sf->Scale(head->xMax));
  r.fontBBox[3] = static_cast<float>(sf->Scale(head->yMax));
  if (post) {
    r.underlinePosition = sf->Scale(post->underlinePosition);
    r.underlineThickness = sf->Scale(post->underlineThickness);
    r.italicAngle = static_cast<float>(static_cast<double>(post->italicAngle) / 65536.0);
    r.fixedPitch = post->isFixedPitch != 0 ? 1 : 0;
  }
  bool hasOs2 = os2 && os2->version != 0xFFFF;
  int weight = 400;
  if (hasOs2) {
    int cap = os2->version >= 2 ? os2->sCapHeight : 0;
    r.capHeight = cap == 0 ? 666 : sf->Scale(cap);
    r.xHeight = os2->version >= 2 ? sf->Scale(os2->sxHeight) : 0;
    r.ascent = sf->Scale(os2->sTypoAscender);
    r.descent = sf->Scale(os2->sTypoDescender);
    weight = os2->usWeightClass;
    r.charset = CharsetFromCodePages(static_cast<uint32_t>(os2->ulCodePageRange1));
  } else {
    r.capHeight = 666;
    if (hhea) {
      r.ascent = sf->Scale(hhea->Ascender);
      r.descent = sf->Scale(hhea->Descender);
    }
  }
  double stem = weight * 0.015384615;
  r.stemV = static_cast<int>(stem * stem + 50);

  bool symbolic = HasCharmap(face, FT_ENCODING_MS_SYMBOL);
  const uint16_t* unicode = EncodingUnicode(encodingIndex);
  uint32_t firstHigh = hasOs2 ? (os2->usFirstCharIndex & 0xFF00) : 0;
  if (symbolic) {
    FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
  } else if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
    symbolic = true;
  }
  for (int c = 0; c < 256; ++c) {
    FT_ULong code;
    if (symbolic)
      code = static_cast<FT_ULong>(c) + firstHigh;
    else
      code = unicode ? unicode[c] : static_cast<FT_ULong>(c);
    FT_UInt glyph = code ? FT_Get_Char_Index(face, code) : 0;
    // An encoding read from a file names its glyphs; fonts with glyph names find them so.
    if (r.encodingFile && FT_HAS_GLYPH_NAMES(face)) {
      const char* g = r.encodingFile->glyphs[static_cast<size_t>(c)];
      glyph = g ? FT_Get_Name_Index(face, g) : 0;
    }
    r.widths[c] = sf->Advance(glyph);
  }
  r.flags = DescriptorFlags(r, symbolic);
  r.fontData = std::move(program);
  r.face = std::move(sf);
  // The face keeps the file's bytes; a rebuilt program of a collection face is separate.
  out = std::move(r);
  return true;
}

std::shared_ptr<const std::vector<uint8_t>> ReadFontFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  auto data = std::make_shared<std::vector<uint8_t>>();
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0 && static_cast<unsigned long>(size) <= kMaxFontFileSize &&
        std::fseek(f, 0, SEEK_SET) == 0) {
      data->resize(static_cast<size_t>(size));
      if (std::fread(data->data(), 1, data->size(), f) != data->size()) data->clear();
    }
  }
  std::fclose(f);
  if (data->empty()) return nullptr;
  return data;
}

} // namespace text
