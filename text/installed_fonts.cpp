#include "installed_fonts.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

namespace text {
namespace {

// fontconfig's current configuration, loaded once per process and released at exit.
FcConfig* Config() {
  static FcConfig* config = [] {
    if (!FcInit()) return static_cast<FcConfig*>(nullptr);
    std::atexit(FcFini);
    return FcConfigGetCurrent();
  }();
  return config;
}

FcPattern* StylePattern(bool bold, bool italic) {
  FcPattern* p = FcPatternCreate();
  FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(p, FC_SCALABLE, FcTrue);
  return p;
}

bool HasFamily(FcPattern* font, const std::string& family) {
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &value) == FcResultMatch; ++i)
    if (strcasecmp(reinterpret_cast<const char*>(value), family.c_str()) == 0) return true;
  return false;
}

// TrueType and OpenType outlines only; bitmap and Type 1 files are other sources.
bool IsSfnt(FcPattern* font) {
  FcChar8* format = nullptr;
  if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch) return false;
  const char* f = reinterpret_cast<const char*>(format);
  return std::strcmp(f, "TrueType") == 0 || std::strcmp(f, "CFF") == 0;
}

bool FileOf(FcPattern* font, InstalledFont& out) {
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return false;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  out.file = reinterpret_cast<const char*>(file);
  out.index = index & 0xFFFF;
  return true;
}

FcPattern* MatchFamily(const std::string& family, bool bold, bool italic) {
  if (family.empty() || family.size() > 255) return nullptr;
  FcConfig* config = Config();
  if (!config) return nullptr;
  FcPattern* p = StylePattern(bold, italic);
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(config, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result = FcResultNoMatch;
  FcPattern* font = FcFontMatch(config, p, &result);
  FcPatternDestroy(p);
  if (font && (!HasFamily(font, family) || !IsSfnt(font))) {
    FcPatternDestroy(font);
    font = nullptr;
  }
  return font;
}

} // namespace

bool FindInstalledFont(const std::string& family, bool bold, bool italic, InstalledFont& out) {
  FcPattern* font = MatchFamily(family, bold, italic);
  if (!font) return false;
  bool ok = FileOf(font, out);
  FcPatternDestroy(font);
  return ok;
}

bool InstalledTrueTypeCovers(const std::string& family, bool bold, bool italic,
                             const std::vector<char32_t>& chars) {
  FcPattern* font = MatchFamily(family, bold, italic);
  if (!font) return false;
  FcCharSet* set = nullptr;
  FcChar8* format = nullptr;
  bool all = FcPatternGetCharSet(font, FC_CHARSET, 0, &set) == FcResultMatch &&
             FcPatternGetString(font, FC_FONTFORMAT, 0, &format) == FcResultMatch &&
             std::strcmp(reinterpret_cast<const char*>(format), "TrueType") == 0;
  for (char32_t c : chars)
    all = all && FcCharSetHasChar(set, c);
  FcPatternDestroy(font);
  return all;
}

std::string FallbackFamilyFor(const std::vector<char32_t>& chars, bool bold, bool italic) {
  FcConfig* config = Config();
  if (!config || chars.empty()) return {};
  FcPattern* p = StylePattern(bold, italic);
  FcCharSet* wanted = FcCharSetCreate();
  for (char32_t c : chars)
    FcCharSetAddChar(wanted, c);
  FcPatternAddCharSet(p, FC_CHARSET, wanted);
  FcConfigSubstitute(config, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result = FcResultNoMatch;
  FcFontSet* sorted = FcFontSort(config, p, FcFalse, nullptr, &result);
  FcPatternDestroy(p);
  std::string best, partial;
  size_t partialCount = 0;
  for (int i = 0; sorted && i < sorted->nfont && best.empty(); ++i) {
    FcPattern* font = sorted->fonts[i];
    FcCharSet* set = nullptr;
    FcChar8* family = nullptr;
    FcChar8* format = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &set) != FcResultMatch ||
        FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch ||
        FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch)
      continue;
    // Identity-H text needs glyph outlines that can be subset: TrueType files.
    if (std::strcmp(reinterpret_cast<const char*>(format), "TrueType") != 0) continue;
    size_t held = 0;
    for (char32_t c : chars)
      held += FcCharSetHasChar(set, c) ? 1 : 0;
    if (held == chars.size())
      best = reinterpret_cast<const char*>(family);
    else if (held > partialCount) {
      partialCount = held;
      partial = reinterpret_cast<const char*>(family);
    }
  }
  if (sorted) FcFontSetDestroy(sorted);
  FcCharSetDestroy(wanted);
  return best.empty() ? partial : best;
}

} // namespace text
