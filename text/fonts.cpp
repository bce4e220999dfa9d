#include "fonts.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "cmaps.h"
#include "font_config.h"
#include "font_writers.h"
#include "installed_fonts.h"
#include "metrics_files.h"
#include "sfnt_font.h"
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

} // namespace

int WriteEncodingEntry(pdf::Writer& w, const FontRecord& f) {
  const Encoding* e = EncodingOf(f);
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

void WriteEncodingDictionary(pdf::Writer& w, int number, const Encoding* e) {
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

namespace {

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
  if (encoding) WriteEncodingDictionary(w, encoding, EncodingOf(f));
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
  int fontFile = f.embed && f.fontData ? w.NewObjectNumber() : 0;
  if (fontFile) w.WriteFormatted("/FontFile %ld 0 R ", {w.Ref(fontFile)});
  w.WriteText(">> endobj ");
  if (encoding) WriteEncodingDictionary(w, encoding, EncodingOf(f));
  if (fontFile) WriteType1FontFile(w, fontFile, *f.fontData);
}

// A metrics file configured for the name: the text form, or the byte-oriented one.
bool FromMetricsFile(const std::string& path, int encodingIndex, FontRecord& r) {
  if (path.empty()) return false;
  std::shared_ptr<const std::vector<uint8_t>> data = ReadFontFile(path);
  if (!data) return false;
  std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
  if (ParseAfm(text, encodingIndex, r)) return true;
  return ParsePfm(data->data(), data->size(), encodingIndex, r);
}

// A TrueType or OpenType file; in a collection, the face whose family is the name.
bool FromFontFile(const std::string& path, const char* name, int encodingIndex, int embed,
                  FontRecord& r) {
  if (path.empty()) return false;
  std::shared_ptr<const std::vector<uint8_t>> data = ReadFontFile(path);
  if (!data) return false;
  long index = 0;
  if (std::shared_ptr<SfntFace> first = SfntFace::Open(data, 0)) {
    long faces = first->faceCount();
    for (long i = 0; i < faces && i < 256; ++i) {
      std::shared_ptr<SfntFace> f = i == 0 ? first : SfntFace::Open(data, i);
      if (f && strcasecmp(f->family().c_str(), name) == 0) {
        index = i;
        break;
      }
    }
  }
  return LoadSfntFont(data, index, encodingIndex, embed != 0, r);
}

// An installed font of the face name in the requested style.
bool FromInstalled(const char* name, bool bold, bool italic, int encodingIndex, int embed,
                   FontRecord& r) {
  // Face names longer than this are refused as they were by the system's font interface.
  if (std::strlen(name) > 31) return false;
  InstalledFont found;
  if (!FindInstalledFont(name, bold, italic, found)) return false;
  std::shared_ptr<const std::vector<uint8_t>> data = ReadFontFile(found.file);
  return data && LoadSfntFont(data, found.index, encodingIndex, embed != 0, r);
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

const Encoding* EncodingOf(const FontRecord& f) {
  return f.encodingFile ? &f.encodingFile->encoding : EncodingAt(f.encodingIndex);
}

std::shared_ptr<const EncodingFile> ParseEncodingFile(const std::string& name,
                                                      std::string_view text) {
  if (text.size() > kMaxEncodingFileSize) return nullptr;
  auto e = std::make_shared<EncodingFile>();
  e->names.assign(256, std::string());
  bool any = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(pos, end - pos));
    pos = end + 1;
    size_t comment = line.find_first_of("%#");
    if (comment != std::string::npos) line.resize(comment);
    char glyph[128] = {};
    unsigned code = 0;
    if (std::sscanf(line.c_str(), " %i %127s", reinterpret_cast<int*>(&code), glyph) != 2 ||
        code > 255)
      continue;
    const char* g = glyph[0] == '/' ? glyph + 1 : glyph;
    if (!*g) continue;
    e->names[code] = g;
    any = true;
  }
  if (!any) return nullptr;
  for (const std::string& n : e->names)
    e->glyphs.push_back(n.empty() ? nullptr : n.c_str());
  e->encoding.predefined = false;
  e->encoding.glyphs = e->glyphs.data();
  e->name = name;
  e->encoding.name = e->name.c_str();
  return e;
}

bool IsCjkCharset(int charset) {
  return charset == 128 || charset == 129 || charset == 134 || charset == 136;
}

FontTable::FontTable() {
  fonts_.reserve(16);
}
FontTable::~FontTable() = default;

const FontConfiguration& FontTable::Configuration() {
  if (!config_) config_ = std::make_unique<FontConfiguration>(LoadFontConfiguration(configPath_));
  return *config_;
}

bool FontTable::FromConfiguration(const char* name, int encodingIndex, int embed, FontRecord& r) {
  const FontConfiguration& c = Configuration();
  if (encodingIndex != kIdentityEncoding &&
      FromMetricsFile(c.Lookup(FontCategory::kMetrics, name), encodingIndex, r))
    return true;
  return FromFontFile(c.Lookup(FontCategory::kFontFile, name), name, encodingIndex, embed, r);
}

int FontTable::Find(pdf::Writer& w, const char* name, const char* encoding, int embed) {
  if (!name || !*name || !encoding || !*encoding || (embed != 0 && embed != 1)) return -1;
  bool identity = std::strcmp(encoding, kIdentityName) == 0;
  int encodingIndex = identity ? kIdentityEncoding : ResolveEncoding(encoding);
  if (encodingIndex == kUnknownEncoding) {
    if (FindPredefinedCmap(encoding)) return FindCid(w, name, encoding);
    encodingIndex = LoadEncoding(encoding);
    if (encodingIndex == kUnknownEncoding) return -1;
  }
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (fonts_[i].name == name && fonts_[i].encodingIndex == encodingIndex)
      return static_cast<int>(i);
  int found = FindFromSources(w, name, encodingIndex, identity ? 1 : embed);
  // Identity-H is also a predefined CMap of the CJK fonts without a program.
  if (found < 0 && identity && FindCjkFont(name)) return FindCid(w, name, encoding);
  return found;
}

int FontTable::LoadEncoding(const char* name) {
  for (size_t i = 0; i < loaded_.size(); ++i)
    if (std::strcmp(loaded_[i]->encoding.name, name) == 0)
      return kLoadedEncodingBase + static_cast<int>(i);
  std::string path = Configuration().Lookup(FontCategory::kEncoding, name);
  std::shared_ptr<const std::vector<uint8_t>> data = path.empty() ? nullptr : ReadFontFile(path);
  if (!data || data->size() > kMaxEncodingFileSize) return kUnknownEncoding;
  auto e = ParseEncodingFile(
      name, std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
  if (!e || loaded_.size() >= 1000) return kUnknownEncoding;
  loaded_.push_back(std::move(e));
  return kLoadedEncodingBase + static_cast<int>(loaded_.size() - 1);
}

int FontTable::FindFromSources(pdf::Writer& w, const char* name, int encodingIndex, int embed) {
  FontRecord r;
  r.name = name;
  std::shared_ptr<const EncodingFile> file;
  if (encodingIndex >= kLoadedEncodingBase)
    file = loaded_[static_cast<size_t>(encodingIndex - kLoadedEncodingBase)];
  r.encodingFile = file;
  bool identity = encodingIndex == kIdentityEncoding;
  const StdFontMetrics* m = identity ? nullptr : FindStdFontMetrics(name);
  int keyedTo = m && m->symbolic ? kBuiltInEncoding : 0;
  bool found = false;
  if (m && keyedTo == encodingIndex) {
    r = FromStandard(*m, encodingIndex);
    found = true;
  }
  bool configured = config_ != nullptr;
  if (!found && configured && !identity)
    found = FromMetricsFile(config_->Lookup(FontCategory::kMetrics, name), encodingIndex, r);
  if (!found) found = FromInstalled(name, bold_, italic_, encodingIndex, embed, r);
  if (!found && configured)
    found =
        FromFontFile(config_->Lookup(FontCategory::kFontFile, name), name, encodingIndex, embed, r);
  if (!found && !configured) found = FromConfiguration(name, encodingIndex, embed, r);
  if (!found) return -1;
  r.name = name;
  r.encodingIndex = encodingIndex;
  r.encodingFile = file;

  bool sfnt = r.kind == kOpenTypeCff || r.kind == kTrueType;
  if (embed == 1 && !sfnt) {
    // A Type 1 font embeds the outline file that the configuration names for it.
    std::string outline = Configuration().Lookup(FontCategory::kOutline, name);
    r.fontData = outline.empty() ? nullptr : ReadFontFile(outline);
    if (!r.fontData) return -1;
    r.fontFile = outline;
  }
  if (sfnt && (identity || (embed == 1 && IsCjkCharset(r.charset)))) {
    // Identity-H programs are embedded as TrueType outlines.
    if (r.kind != kTrueType) return -1;
    r.identity = true;
    embed = 1;
  }
  // Only Identity-H fonts look glyphs up after loading.
  if (!r.identity) r.face = nullptr;
  r.embed = embed;
  return Add(w, std::move(r));
}

int FontTable::FindCid(pdf::Writer& w, const char* name, const char* cmap) {
  const PredefinedCmap* c = FindPredefinedCmap(cmap);
  if (!c || pdfMinor_ < 3 || pdfMinor_ < c->minorVersion) return -1;
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (fonts_[i].kind == kCid && fonts_[i].name == name && fonts_[i].cmapName == cmap)
      return static_cast<int>(i);
  FontRecord r;
  r.name = name;
  r.kind = kCid;
  r.encodingIndex = kCidEncoding;
  r.cmapName = c->name;
  r.collection = c->collection;
  if (const CjkFontMetrics* m = FindCjkFont(name)) {
    r.flags = m->flags;
    for (int i = 0; i < 4; ++i)
      r.fontBBox[i] = static_cast<float>(m->fontBBox[i]);
    r.italicAngle = static_cast<float>(m->italicAngle);
    r.capHeight = m->capHeight;
    r.xHeight = m->xHeight;
    r.ascent = m->ascent;
    r.descent = m->descent;
    r.stemV = m->stemV;
    r.stemH = m->stemH;
  } else {
    r.flags = 4;
    r.fixedPitch = 1;
    const float box[4] = {-250, -143, 600, 857};
    for (int i = 0; i < 4; ++i)
      r.fontBBox[i] = box[i];
    r.capHeight = 857;
    r.xHeight = 599;
    r.ascent = 857;
    r.descent = -143;
    r.stemV = 91;
    r.stemH = 91;
  }
  return Add(w, std::move(r));
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
  for (size_t i = 0; i < fonts_.size(); ++i) {
    FontRecord& f = fonts_[i];
    if (f.kind == kOpenTypeCff || f.kind == kTrueType)
      WriteSfntFont(w, static_cast<int>(i), f);
    else if (f.kind == kCid)
      WriteCmapFont(w, f);
    else if (f.embed == 0 && IsStandardFontName(f.name))
      WriteShortFont(w, f);
    else
      WriteFullType1(w, f);
  }
}

} // namespace text
