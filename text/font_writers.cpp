#include "font_writers.h"

#include <hb-subset.h>
#include <hb.h>

#include <cstdio>
#include <cstring>

#include "cmaps.h"
#include "sfnt_font.h"

namespace text {
namespace {

constexpr char kSubsetTag[] = "ABCDEF+";

void WriteNameEscaped(pdf::Writer& w, const std::string& name) {
  w.WriteName(name.c_str());
}

// A stream object of the given bytes; /Length (and /Length1, the size before compression)
// are separate objects written after it.
void WriteDataStream(pdf::Writer& w, int number, const uint8_t* data, size_t n, const char* subtype,
                     bool length1, bool compress) {
  int lengthObject = w.NewObjectNumber();
  int length1Object = length1 ? w.NewObjectNumber() : 0;
  w.BeginObject(number);
  w.WriteText(" <<");
  w.WriteFormatted("/Length %ld 0 R ", {w.Ref(lengthObject)});
  if (subtype) {
    w.WriteText("/Subtype /");
    w.WriteText(subtype);
    w.WriteChar(' ');
  }
  if (length1) w.WriteFormatted("/Length1 %ld 0 R ", {w.Ref(length1Object)});
  compress = compress && n > 0;
  if (compress) w.WriteText("/Filter /FlateDecode ");
  w.WriteText(">> stream\r\n");
  int64_t start = w.CurrentOffset();
  if (compress) {
    w.BeginDeflate(number, 0);
    w.WriteBytes(data, n);
    w.EndDeflate();
  } else if (w.encryptor && n > 0) {
    std::vector<uint8_t> copy(data, data + n);
    w.encryptor->SelectObjectKey(w.Ref(number), 0);
    w.encryptor->EncryptBytes(copy.data(), copy.size());
    w.WriteBytes(copy.data(), copy.size());
  } else {
    w.WriteBytes(data, n);
  }
  int64_t length = w.CurrentOffset() - start;
  w.WriteText("\rendstream endobj ");
  w.BeginObject(lengthObject);
  w.WriteFormatted("%ld endobj ", {length});
  if (length1) {
    w.BeginObject(length1Object);
    w.WriteFormatted("%ld endobj ", {static_cast<long long>(n)});
  }
}

// A string of object `number`: literal, or encrypted in hexadecimal with security on.
void WriteObjectString(pdf::Writer& w, int number, const char* s, bool spaceBefore) {
  size_t n = std::strlen(s);
  if (!w.encryptor) {
    if (spaceBefore) w.WriteChar(' ');
    w.WriteLiteralString(s, n);
    w.WriteChar(' ');
    return;
  }
  std::vector<uint8_t> copy(s, s + n);
  w.encryptor->SelectObjectKey(w.Ref(number), 0);
  w.encryptor->EncryptBytes(copy.data(), copy.size());
  w.WriteText(spaceBefore ? " <" : "<");
  w.WriteHex(copy.data(), copy.size());
  w.WriteText("> ");
}

void WriteWidths(pdf::Writer& w, const FontRecord& f) {
  w.WriteText("/FirstChar 0 /LastChar 255 /Widths [ ");
  for (int group = 0; group < 16; ++group) {
    for (int k = 0; k < 16; ++k)
      w.WriteFormatted(k ? " %d" : "%d", {f.widths[group * 16 + k]});
    w.WriteChar(' ');
  }
  w.WriteText("] ");
}

void WriteBBox(pdf::Writer& w, const FontRecord& f) {
  w.WriteFormatted("/FontBBox [%d %d %d %d] ",
                   {static_cast<int>(f.fontBBox[0]), static_cast<int>(f.fontBBox[1]),
                    static_cast<int>(f.fontBBox[2]), static_cast<int>(f.fontBBox[3])});
}

// The descriptor of a simple font; fontFile 0 when the program is not embedded.
void WriteSimpleDescriptor(pdf::Writer& w, int number, const FontRecord& f, int fontFile) {
  w.BeginObject(number);
  w.WriteText(" <</Type /FontDescriptor ");
  w.WriteFormatted("/Ascent %d /CapHeight %d /Descent %d /Flags %ld ",
                   {f.ascent, f.capHeight, f.descent, static_cast<long long>(f.flags)});
  WriteBBox(w, f);
  w.WriteText("/FontName /");
  WriteNameEscaped(w, f.name);
  w.WriteChar(' ');
  w.WriteFormatted("/ItalicAngle %d /StemV %d ", {static_cast<int>(f.italicAngle), f.stemV});
  if (f.stemH > 0) w.WriteFormatted("/StemH %d ", {f.stemH});
  if (f.xHeight > 0) w.WriteFormatted("/XHeight %d ", {f.xHeight});
  if (fontFile) {
    const char* key = f.kind == kOpenTypeCff ? "/FontFile3"
                      : f.kind == kTrueType  ? "/FontFile2"
                                             : "/FontFile";
    w.WriteFormatted("%s %ld 0 R ", {key, w.Ref(fontFile)});
  }
  w.WriteText(">> endobj ");
}

void WriteSimple(pdf::Writer& w, int index, const FontRecord& f) {
  bool embed = f.embed && f.fontData;
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font ");
  w.WriteText(f.kind == kOpenTypeCff ? "/Subtype /Type1 " : "/Subtype /TrueType ");
  w.WriteFormatted("/Name /F%d ", {index});
  w.WriteText("/BaseFont /");
  WriteNameEscaped(w, f.name);
  w.WriteText(embed ? " " : "  ");
  WriteWidths(w, f);
  int encoding = WriteEncodingEntry(w, f);
  int descriptor = w.NewObjectNumber();
  w.WriteFormatted("/FontDescriptor %ld 0 R ", {w.Ref(descriptor)});
  w.WriteText(">> endobj ");
  int fontFile = embed ? w.NewObjectNumber() : 0;
  WriteSimpleDescriptor(w, descriptor, f, fontFile);
  if (encoding) WriteEncodingDictionary(w, encoding, EncodingOf(f));
  if (!fontFile) return;
  if (f.kind == kOpenTypeCff)
    WriteDataStream(w, fontFile, f.cffTable.data(), f.cffTable.size(), "Type1C", false, true);
  else
    WriteDataStream(w, fontFile, f.fontData->data(), f.fontData->size(), nullptr, true, true);
}

struct WindowsCmap {
  int charset;
  const char* cmap;
  int collection;
};
const WindowsCmap kWindowsCmaps[] = {
    {128, "90ms-RKSJ-H", kJapan1},
    {129, "KSCms-UHC-H", kKorea1},
    {134, "GBK-EUC-H", kGb1},
    {136, "ETen-B5-H", kCns1},
};

void WriteSystemInfo(pdf::Writer& w, int number, const CharacterCollection& c, bool spaced) {
  w.WriteText("/CIDSystemInfo << /Registry");
  WriteObjectString(w, number, c.registry, spaced);
  w.WriteText("/Ordering");
  WriteObjectString(w, number, c.ordering, spaced);
  w.WriteFormatted("/Supplement %d >> ", {c.supplement});
}

// Composite font over the Windows code page of the font's character set; the text bytes are
// that code page's codes. The collection and /WinCharSet follow the chosen CMap.
void WriteWindowsCmapFont(pdf::Writer& w, const FontRecord& f) {
  const WindowsCmap* m = &kWindowsCmaps[2];
  for (const WindowsCmap& c : kWindowsCmaps)
    if (c.charset == f.charset) m = &c;
  int descendant = w.NewObjectNumber();
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font /Subtype /Type0 /BaseFont /");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /DescendantFonts [%d 0 R] ", {w.Ref(descendant)});
  w.WriteFormatted("/Encoding /%s >> endobj ", {m->cmap});

  int descriptor = w.NewObjectNumber();
  w.BeginObject(descendant);
  w.WriteText(" <</Type /Font /Subtype /CIDFontType2 /BaseFont /");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /WinCharSet %d/FontDescriptor %d 0 R ", {f.charset, w.Ref(descriptor)});
  WriteSystemInfo(w, descendant, CollectionAt(m->collection), false);
  w.WriteText(">> endobj ");

  w.BeginObject(descriptor);
  w.WriteText(" <</Type /FontDescriptor /FontName /");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /Flags %ld ", {static_cast<long long>(f.flags)});
  WriteBBox(w, f);
  w.WriteFormatted("/MissingWidth 500 /ItalicAngle %d /StemV %d ",
                   {static_cast<int>(f.italicAngle), f.stemV});
  if (f.stemH > 0) w.WriteFormatted("/StemH %d ", {f.stemH});
  if (f.stemV > 0) w.WriteFormatted("/StdVW %d ", {f.stemV});
  if (f.xHeight > 0) w.WriteFormatted("/XHeight %d ", {f.xHeight});
  w.WriteFormatted("/CapHeight %d /Ascent %d /Descent %d ", {f.capHeight, f.ascent, f.descent});
  w.WriteText("/Leading 141 /MaxWidth 1000 /AvgWidth 500 /Style "
              "<< /Panose <000000000000000000000000> >> >> endobj ");
}

void AppendHex4(std::string& s, uint32_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  s += buf;
}

// UTF-16 of a character as hexadecimal digits: four, or eight for a surrogate pair.
std::string Utf16Hex(uint32_t u) {
  std::string s;
  if (u > 0xFFFF && u <= 0x10FFFF) {
    u -= 0x10000;
    AppendHex4(s, 0xD800 + (u >> 10));
    AppendHex4(s, 0xDC00 + (u & 0x3FF));
  } else {
    AppendHex4(s, u);
  }
  return s;
}

void WriteToUnicode(pdf::Writer& w, int number, const FontRecord& f) {
  std::string name;
  {
    // The name in PDF name syntax, as the writer would put it.
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : f.name) {
      if (c < 33 || c > 126 || std::strchr("()<>[]{}/%#", c)) {
        name += '#';
        name += kHex[c >> 4];
        name += kHex[c & 15];
      } else {
        name += static_cast<char>(c);
      }
    }
  }
  std::string s = "/CIDInit /ProcSet findresource begin  12 dict begin begincmap "
                  "/CIDSystemInfo << /Registry /ABCDEF+" +
                  name + "/Ordering (Kelsu1) /Supplement 0 >> def /CMapName /ABCDEF+" + name +
                  " def /CMapType 2 def 1 begincodespacerange <0000> <FFFF> "
                  "endcodespacerange ";
  s += std::to_string(f.usedChars.size()) + " beginbfrange ";
  for (size_t c = 0; c < f.usedChars.size(); ++c) {
    std::string code;
    AppendHex4(code, static_cast<uint32_t>(c));
    s += "<" + code + "> <" + code + "> <" + Utf16Hex(f.usedChars[c]) + ">  ";
  }
  s += "endbfrange endcmap CMapName currentdict /CMap defineresource pop end end ";
  WriteDataStream(w, number, reinterpret_cast<const uint8_t*>(s.data()), s.size(), nullptr, false,
                  false);
}

// Composite font with Identity-H: codes are assigned in order of use, the program is subset
// to their glyphs, and /CIDToGIDMap and /W give each code its glyph and width.
void WriteIdentityFont(pdf::Writer& w, int index, FontRecord& f) {
  std::vector<uint8_t> subset = SubsetProgram(*f.fontData, f.usedChars, f.codeGlyphs);
  // The subset's own character map tells where each glyph went.
  std::vector<uint16_t> newGlyph(f.usedChars.size(), 0);
  if (!subset.empty()) {
    auto data = std::make_shared<const std::vector<uint8_t>>(subset);
    std::shared_ptr<SfntFace> sub = SfntFace::Open(data, 0);
    for (size_t c = 0; sub && c < f.usedChars.size(); ++c)
      if (f.codeGlyphs[c])
        newGlyph[c] = static_cast<uint16_t>(sub->GlyphForUnicode(f.usedChars[c]));
  }
  const std::vector<uint8_t>& program = subset.empty() ? *f.fontData : subset;
  if (subset.empty()) {
    // Without a subset the whole program is embedded and codes map to the original glyphs.
    for (size_t c = 0; c < f.usedChars.size(); ++c)
      newGlyph[c] = static_cast<uint16_t>(f.codeGlyphs[c]);
  }

  int descendant = w.NewObjectNumber();
  int toUnicode = w.NewObjectNumber();
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font /Subtype /Type0 ");
  w.WriteFormatted("/Name /F%d ", {index});
  w.WriteText("/BaseFont /ABCDEF+");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /DescendantFonts [%d 0 R] /Encoding /Identity-H /ToUnicode %d 0 R >> endobj ",
                   {w.Ref(descendant), w.Ref(toUnicode)});

  int descriptor = w.NewObjectNumber();
  int gidMap = w.NewObjectNumber();
  w.BeginObject(descendant);
  w.WriteText(" <</Type /Font /Subtype /CIDFontType2 /BaseFont /ABCDEF+");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /FontDescriptor %d 0 R ", {w.Ref(descriptor)});
  WriteSystemInfo(w, descendant, CollectionAt(kIdentityCollection), true);
  w.WriteText("/DW 1000 ");
  if (!f.usedChars.empty()) {
    w.WriteText("/W [0 [");
    for (size_t c = 0; c < f.codeWidths.size(); ++c)
      w.WriteFormatted(c ? " %d" : "%d", {f.codeWidths[c]});
    w.WriteText("]] ");
  }
  w.WriteFormatted("/CIDToGIDMap %d 0 R >> endobj ", {w.Ref(gidMap)});

  int fontFile = w.NewObjectNumber();
  w.BeginObject(descriptor);
  w.WriteText(" <</Type /FontDescriptor /FontName /ABCDEF+");
  WriteNameEscaped(w, f.name);
  w.WriteText(" /Flags 4 ");
  WriteBBox(w, f);
  w.WriteFormatted("/MissingWidth 500 /ItalicAngle %d /StemV %d ",
                   {static_cast<int>(f.italicAngle), f.stemV});
  if (f.stemH > 0) w.WriteFormatted("/StemH %d ", {f.stemH});
  if (f.xHeight > 0) w.WriteFormatted("/XHeight %d ", {f.xHeight});
  w.WriteFormatted("/CapHeight %d /Ascent %d /Descent %d /FontFile2 %d 0 R >> endobj ",
                   {f.capHeight, f.ascent, f.descent, w.Ref(fontFile)});

  WriteDataStream(w, fontFile, program.data(), program.size(), nullptr, true, true);

  std::vector<uint8_t> map(newGlyph.size() * 2);
  for (size_t c = 0; c < newGlyph.size(); ++c) {
    map[2 * c] = static_cast<uint8_t>(newGlyph[c] >> 8);
    map[2 * c + 1] = static_cast<uint8_t>(newGlyph[c] & 0xFF);
  }
  WriteDataStream(w, gidMap, map.data(), map.size(), nullptr, false, true);
  WriteToUnicode(w, toUnicode, f);
}

} // namespace

std::vector<uint8_t> SubsetProgram(const std::vector<uint8_t>& program,
                                   const std::vector<uint32_t>& unicodes,
                                   const std::vector<uint32_t>& glyphs) {
  std::vector<uint8_t> out;
  hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(program.data()),
                                   static_cast<unsigned>(program.size()), HB_MEMORY_MODE_READONLY,
                                   nullptr, nullptr);
  hb_face_t* face = hb_face_create(blob, 0);
  hb_subset_input_t* input = hb_subset_input_create_or_fail();
  if (input) {
    hb_set_t* u = hb_subset_input_unicode_set(input);
    for (size_t i = 0; i < unicodes.size(); ++i)
      if (glyphs[i]) hb_set_add(u, unicodes[i]);
    hb_set_t* g = hb_subset_input_glyph_set(input);
    for (uint32_t glyph : glyphs)
      if (glyph) hb_set_add(g, glyph);
    // Layout tables would pull in alternate glyphs that no code shows.
    hb_set_t* drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char* t : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "morx", "mort",
                          "kerx", "vhea", "vmtx", "VORG"})
      hb_set_add(drop, hb_tag_from_string(t, 4));
    hb_face_t* sub = hb_subset_or_fail(face, input);
    if (sub) {
      hb_blob_t* result = hb_face_reference_blob(sub);
      unsigned n = 0;
      const char* bytes = hb_blob_get_data(result, &n);
      if (bytes && n > 12) out.assign(bytes, bytes + n);
      hb_blob_destroy(result);
      hb_face_destroy(sub);
    }
    hb_subset_input_destroy(input);
  }
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return out;
}

void WriteSfntFont(pdf::Writer& w, int index, FontRecord& f) {
  if (f.identity)
    WriteIdentityFont(w, index, f);
  else if (!f.embed && IsCjkCharset(f.charset))
    WriteWindowsCmapFont(w, f);
  else
    WriteSimple(w, index, f);
}

void WriteCmapFont(pdf::Writer& w, const FontRecord& f) {
  int descendant = w.NewObjectNumber();
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font /Subtype /Type0 /BaseFont /");
  WriteNameEscaped(w, f.name + "-" + f.cmapName);
  w.WriteText(" /Encoding /");
  WriteNameEscaped(w, f.cmapName);
  w.WriteFormatted(" /DescendantFonts [%d 0 R] >> endobj ", {w.Ref(descendant)});

  int descriptor = w.NewObjectNumber();
  w.BeginObject(descendant);
  w.WriteText(" <</Type /Font /Subtype /CIDFontType0 /BaseFont /");
  WriteNameEscaped(w, f.name);
  w.WriteFormatted(" /FontDescriptor %d 0 R ", {w.Ref(descriptor)});
  WriteSystemInfo(w, descendant, CollectionAt(f.collection), true);
  w.WriteText("/DW 1000 >> endobj ");
  WriteSimpleDescriptor(w, descriptor, f, 0);
}

bool WriteType1FontFile(pdf::Writer& w, int number, const std::vector<uint8_t>& d) {
  if (d.empty()) return false;
  std::vector<uint8_t> program;
  size_t lengths[3] = {0, 0, 0};
  if (d[0] == 128) {
    // Segments: 128, type (1 text, 2 binary, 3 end), four-byte little-endian length.
    size_t pos = 0;
    int part = 0;
    while (pos + 2 <= d.size() && d[pos] == 128 && d[pos + 1] != 3) {
      if (pos + 6 > d.size()) break;
      size_t n =
          d[pos + 2] | d[pos + 3] << 8 | d[pos + 4] << 16 | static_cast<size_t>(d[pos + 5]) << 24;
      pos += 6;
      if (n > d.size() - pos) n = d.size() - pos;
      program.insert(program.end(), d.begin() + static_cast<long>(pos),
                     d.begin() + static_cast<long>(pos + n));
      // Text, binary, then the trailing zeros in text.
      int slot = d[pos - 5] == 2 ? 1 : (part == 0 ? 0 : 2);
      lengths[slot] += n;
      if (d[pos - 5] == 2) part = 1;
      pos += n;
    }
  } else {
    program = d;
    std::string_view text(reinterpret_cast<const char*>(d.data()), d.size());
    size_t exec = text.find("eexec");
    size_t clear = text.rfind("cleartomark");
    size_t clearEnd = exec == std::string_view::npos ? d.size() : exec + 5;
    while (clearEnd < d.size() &&
           (d[clearEnd] == '\r' || d[clearEnd] == '\n' || d[clearEnd] == ' '))
      ++clearEnd;
    lengths[0] = clearEnd;
    size_t zeros = clear == std::string_view::npos ? d.size() : clear;
    // The run of zeros before cleartomark belongs to the third part.
    while (zeros > lengths[0] &&
           (d[zeros - 1] == '0' || d[zeros - 1] == '\n' || d[zeros - 1] == '\r'))
      --zeros;
    lengths[1] = zeros > lengths[0] ? zeros - lengths[0] : 0;
    lengths[2] = d.size() - lengths[0] - lengths[1];
  }
  int objects[3] = {w.NewObjectNumber(), w.NewObjectNumber(), w.NewObjectNumber()};
  int lengthObject = w.NewObjectNumber();
  w.BeginObject(number);
  w.WriteFormatted(" <</Length %ld 0 R /Length1 %ld 0 R /Length2 %ld 0 R /Length3 %ld 0 R ",
                   {w.Ref(lengthObject), w.Ref(objects[0]), w.Ref(objects[1]), w.Ref(objects[2])});
  w.WriteText("/Filter /FlateDecode >> stream\r\n");
  int64_t start = w.CurrentOffset();
  w.BeginDeflate(number, 0);
  w.WriteBytes(program.data(), program.size());
  w.EndDeflate();
  int64_t length = w.CurrentOffset() - start;
  w.WriteText("\rendstream endobj ");
  w.BeginObject(lengthObject);
  w.WriteFormatted("%ld endobj ", {length});
  for (int i = 0; i < 3; ++i) {
    w.BeginObject(objects[i]);
    w.WriteFormatted("%ld endobj ", {static_cast<long long>(lengths[i])});
  }
  return true;
}

} // namespace text
