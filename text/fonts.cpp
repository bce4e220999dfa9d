#include "fonts.h"

#include <strings.h>

#include <cstring>

#include "std_fonts.h"

namespace text {
namespace {

const Encoding kEncodings[] = {
    {kDefaultEncodingName, true, kWinAnsiGlyphs},
    {"MacRomanEncoding", true, nullptr},
    {"StandardEncoding", false, kStandardGlyphs},
};
constexpr int kEncodingCount = sizeof kEncodings / sizeof kEncodings[0];

FontRecord FromStandard(const StdFontMetrics& m, int encodingIndex) {
  FontRecord r;
  r.name = m.name;
  r.encodingIndex = encodingIndex;
  r.flags = m.flags;
  r.kind = kType1;
  r.italicAngle = m.italicAngle;
  r.fixedPitch = m.fixedPitch;
  for (int i = 0; i < 4; ++i)
    r.fontBBox[i] = static_cast<float>(m.fontBBox[i]);
  r.capHeight = m.capHeight;
  r.xHeight = m.xHeight;
  r.ascent = m.ascent;
  r.descent = m.descent;
  r.stemV = m.stemV;
  r.stemH = m.stemH;
  std::memcpy(r.widths, m.widths, sizeof r.widths);
  return r;
}

// The /Encoding entry; returns the object number of an encoding dictionary to write, or 0.
int WriteEncodingEntry(pdf::Writer& w, const FontRecord& f) {
  const Encoding* e = EncodingAt(f.encodingIndex);
  if (!e) return 0;
  if (e->predefined) {
    w.WriteText("/Encoding /");
    w.WriteName(e->name);
    w.WriteChar(' ');
    return 0;
  }
  int n = w.NewObjectNumber();
  w.WriteFormatted("/Encoding %ld 0 R ", {w.Ref(n)});
  return n;
}

void WriteEncodingDictionary(pdf::Writer& w, int number, int encodingIndex) {
  const Encoding* e = EncodingAt(encodingIndex);
  w.BeginObject(number);
  w.WriteText(" <</Type /Encoding /Differences [0 ");
  for (int c = 0; c < 256; ++c) {
    const char* g = e && e->glyphs ? e->glyphs[c] : nullptr;
    w.WriteChar('/');
    w.WriteName(g ? g : ".notdef");
    w.WriteChar(c % 16 == 15 ? '\r' : ' ');
  }
  w.WriteText("] >> endobj ");
}

void WriteBaseFont(pdf::Writer& w, const FontRecord& f) {
  w.WriteText("/BaseFont /");
  w.WriteName(f.name.c_str());
  w.WriteChar(' ');
}

void WriteShortFont(pdf::Writer& w, const FontRecord& f) {
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font /Subtype /Type1 ");
  int encoding = WriteEncodingEntry(w, f);
  WriteBaseFont(w, f);
  w.WriteText(">> endobj ");
  if (encoding) WriteEncodingDictionary(w, encoding, f.encodingIndex);
}

void WriteFullType1(pdf::Writer& w, const FontRecord& f) {
  w.BeginObject(f.objectNumber);
  w.WriteText(" <</Type /Font /Subtype /Type1 /FirstChar 0 /LastChar 255 /Widths [");
  for (int c = 0; c < 256; ++c) {
    w.WriteFormatted("%d ", {f.widths[c]});
    if (c % 16 == 15) w.WriteChar('\r');
  }
  w.WriteText("] ");
  int encoding = WriteEncodingEntry(w, f);
  WriteBaseFont(w, f);
  int descriptor = w.NewObjectNumber();
  w.WriteFormatted("/FontDescriptor %ld 0 R ", {w.Ref(descriptor)});
  w.WriteText(">> endobj ");

  w.BeginObject(descriptor);
  w.WriteText(" <</Type /FontDescriptor ");
  w.WriteFormatted("/Ascent %d /CapHeight %d /Descent %d /Flags %ld ",
                   {f.ascent, f.capHeight, f.descent, static_cast<long long>(f.flags)});
  w.WriteFormatted("/FontBBox [%d %d %d %d] ",
                   {static_cast<int>(f.fontBBox[0]), static_cast<int>(f.fontBBox[1]),
                    static_cast<int>(f.fontBBox[2]), static_cast<int>(f.fontBBox[3])});
  w.WriteText("/FontName /");
  w.WriteName(f.name.c_str());
  w.WriteChar(' ');
  w.WriteFormatted("/ItalicAngle %d /StemV %d ", {static_cast<int>(f.italicAngle), f.stemV});
  if (f.stemH > 0) w.WriteFormatted("/StemH %d ", {f.stemH});
  if (f.xHeight > 0) w.WriteFormatted("/XHeight %d ", {f.xHeight});
  w.WriteText(">> endobj ");
  if (encoding) WriteEncodingDictionary(w, encoding, f.encodingIndex);
}

} // namespace

int ResolveEncoding(const char* name) {
  if (!name || !*name) return kUnknownEncoding;
  if (std::strcmp(name, kBuiltInEncodingName) == 0) return kBuiltInEncoding;
  if (std::strcmp(name, kEncodingAlias) == 0) name = kDefaultEncodingName;
  for (int i = 0; i < kEncodingCount; ++i)
    if (std::strcmp(kEncodings[i].name, name) == 0) return i;
  return kUnknownEncoding;
}

const Encoding* EncodingAt(int index) {
  return index >= 0 && index < kEncodingCount ? &kEncodings[index] : nullptr;
}

bool IsStandardFontName(const std::string& name) {
  return FindStdFontMetrics(name.c_str()) != nullptr;
}

const char* StdFontNameForCode(int code) {
  for (const StdFontMetrics& m : kStdFonts)
    if (m.code == code) return m.name;
  return nullptr;
}

int StdFontCode(const char* name) {
  if (!name) return 0;
  for (const StdFontMetrics& m : kStdFonts)
    if (strcasecmp(m.name, name) == 0) return m.code;
  return 0;
}

const StdFontMetrics* FindStdFontMetrics(const char* name) {
  if (!name) return nullptr;
  for (const StdFontMetrics& m : kStdFonts)
    if (std::strcmp(m.name, name) == 0) return &m;
  return nullptr;
}

int FontTable::Find(pdf::Writer& w, const char* name, const char* encoding, int embed) {
  if (!name || !*name || !encoding || !*encoding || (embed != 0 && embed != 1)) return -1;
  int encodingIndex = ResolveEncoding(encoding);
  // Encoding files and predefined CMaps come from the font configuration, which this
  // build does not read.
  if (encodingIndex == kUnknownEncoding) return -1;
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (fonts_[i].name == name && fonts_[i].encodingIndex == encodingIndex)
      return static_cast<int>(i);

  const StdFontMetrics* m = FindStdFontMetrics(name);
  int keyedTo = m && m->symbolic ? kBuiltInEncoding : 0;
  if (!m || keyedTo != encodingIndex) return -1;
  // Embedding a Type 1 font needs its outline file from the font configuration.
  if (embed == 1) return -1;
  return Add(w, FromStandard(*m, encodingIndex));
}

int FontTable::Add(pdf::Writer& w, FontRecord record) {
  record.objectNumber = w.NewObjectNumber();
  record.usedOnPage = 0;
  if (fonts_.size() == fonts_.capacity()) fonts_.reserve(fonts_.capacity() * 2);
  fonts_.push_back(std::move(record));
  return static_cast<int>(fonts_.size() - 1);
}

FontRecord* FontTable::at(int index) {
  return index >= 0 && index < size() ? &fonts_[static_cast<size_t>(index)] : nullptr;
}

void FontTable::MarkUsed(int index) {
  if (FontRecord* f = at(index)) f->usedOnPage = 1;
}

void FontTable::WritePageResources(pdf::Writer& w) {
  bool any = false;
  for (const FontRecord& f : fonts_)
    any = any || f.usedOnPage;
  if (!any) return;
  w.WriteText("/Font <<");
  for (size_t i = 0; i < fonts_.size(); ++i) {
    FontRecord& f = fonts_[i];
    if (!f.usedOnPage) continue;
    w.WriteFormatted("/F%s%d %ld 0 R ", {"", static_cast<int>(i), w.Ref(f.objectNumber)});
    f.usedOnPage = 0;
  }
  w.WriteText(">> ");
}

void FontTable::WriteFonts(pdf::Writer& w) {
  for (const FontRecord& f : fonts_) {
    if (f.kind != kType1 && f.kind != kType1Variant) continue; // written by their own sources
    if (f.embed == 0 && IsStandardFontName(f.name))
      WriteShortFont(w, f);
    else
      WriteFullType1(w, f);
  }
}

} // namespace text
