#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "document.h"
#include "engine.h"
#include "text/fonts.h"
#include "text/std_fonts.h"

namespace engine {
namespace {

// Output pointers are honoured only above 1000, so callers may pass small integers instead.
bool Writable(const int* p) {
  return reinterpret_cast<uintptr_t>(p) > 1000;
}

int ParseDecimal(const char* s) {
  if (!s) return 0;
  long v = std::strtol(s, nullptr, 10);
  if (v > 1000000) v = 1000000;
  if (v < -1000000) v = -1000000;
  return static_cast<int>(v);
}

struct Preset {
  int width, height;
};
constexpr Preset kPresets[6] = {{842, 1190}, {594, 792}, {421, 595},
                                {501, 709},  {612, 792}, {612, 1008}};

int PageOption(EngineDocument& doc, int w, int h, const char* textB) {
  if (w == 0 && h == 0) {
    EndPage(doc);
    return 1;
  }
  if (w == h && w >= 1 && w <= 6) {
    w = kPresets[w - 1].width;
    h = kPresets[h - 1].height;
  } else if (w < 10 || w > 14399 || h < 10 || h > 14399) {
    return 0;
  }
  bool move = !(textB && strcasecmp(textB, "NoTextPos") == 0);
  BeginPage(doc, w, h, move);
  return 1;
}

int ViewerOption(EngineDocument& doc, int bits, int startPage) {
  pdf::ViewerSettings& v = doc.data.viewer;
  const int modeBits[4] = {0x1, 0x2, 0x4, 0x8};
  for (int i = 0; i < 4; ++i)
    if (bits & modeBits[i]) v.pageMode = i + 1;
  const int actionBits[4] = {0x40, 0x80, 0x100, 0x200};
  for (int i = 0; i < 4; ++i)
    if (bits & actionBits[i]) v.openActionKind = i + 1;
  v.viewerFlags |= bits & 0x3F000;
  v.startPage = startPage <= 0 ? 1 : startPage;
  return 1;
}

int CompressionOption(EngineDocument& doc, int imageClass, const char* name) {
  if (imageClass < 1 || imageClass > 3 || !name) return 0;
  static const char* const kBitonal[] = {"lzw", "zip", "g3", "g4"};
  static const char* const kColour[] = {"lzw", "zip", "packbits", "jpeg", "jpg"};
  const char* accepted = nullptr;
  if (imageClass == 1) {
    for (const char* n : kBitonal)
      if (strcasecmp(name, n) == 0) accepted = n;
  } else {
    for (const char* n : kColour)
      if (strcasecmp(name, n) == 0) accepted = n;
    if (accepted && std::strcmp(accepted, "jpg") == 0) accepted = "jpeg";
  }
  if (!accepted) return 0;
  std::strcpy(doc.compression[imageClass - 1], accepted);
  return 1;
}

int SecurityOption(EngineDocument& doc, int keyBits, int choices, const char* owner,
                   const char* user) {
  if (doc.openMode == OpenMode::kAppend) return 0;
  bool noOwner = !owner || !*owner;
  bool noUser = !user || !*user;
  // Streams and strings written before this point would stay plain in a file that claims
  // to be encrypted (or the other way round), so security changes only before any object.
  bool started = doc.writer->objectCount() > 0;
  if (keyBits == 0 && choices == 0 && noOwner && noUser) {
    if (!doc.security) return 1;
    if (started) return 0;
    doc.writer->encryptor = nullptr;
    doc.security.reset();
    return 1;
  }
  if (started) return 0;
  int keyLength = keyBits == 40 || keyBits == 5 ? 5 : 16;
  std::string ownerText = noOwner ? std::string() : std::string(owner).substr(0, 32);
  std::string userText = noUser ? std::string() : std::string(user).substr(0, 32);
  uint8_t id[16];
  pdf::ComputeSecurityFileId(doc.data.info, &doc, id);
  doc.security = pdf::StandardSecurity::Create(keyLength, pdf::PermissionsFromChoices(choices),
                                               ownerText, userText, id);
  doc.writer->encryptor = doc.security.get();
  return 1;
}

int RotationFor(int angle) {
  if (angle >= 46 && angle <= 135) return 90;
  if (angle >= 136 && angle <= 225) return 180;
  if (angle >= 226 && angle <= 315) return 270;
  return 0;
}

// Fonts of codes 2 and 3, and of codes that name no font.
constexpr char kFixedFont2[] = "Times-Roman";
constexpr char kFixedFont3[] = "Courier";
constexpr char kFallbackFont[] = "Helvetica";

int FontOption(EngineDocument& doc, int code, int size, const char* name) {
  PageState& ps = doc.page;
  const char* font = kFallbackFont;
  const char* encoding = text::kDefaultEncodingName;
  const char* standardName = nullptr;
  if (code == 1 && name && *name) {
    // A standard font named in any letter case is that font.
    int standard = text::StdFontCode(name);
    if (standard) {
      StandardFontForCode(standard, &standardName, &encoding);
      font = standardName;
    } else {
      font = name;
    }
  } else if (code == 2) {
    font = kFixedFont2;
  } else if (code == 3) {
    font = kFixedFont3;
  } else if (StandardFontForCode(code, &standardName, &encoding)) {
    font = standardName;
  }
  if (std::strlen(font) >= sizeof ps.fontName) return 0;
  std::strcpy(ps.fontName, font);
  std::strcpy(ps.fontEncoding, encoding);
  ps.fontEmbed = 0;
  if (size > 0) ps.textSize = size;
  return 1;
}

// The current font's encoding (an encoding name, a predefined CMap or Identity-H) and
// whether its program is embedded; the font itself is found when text uses it.
int FontEncodingOption(EngineDocument& doc, int embed, const char* name) {
  PageState& ps = doc.page;
  if (!name || !*name || (embed != 0 && embed != 1)) return 0;
  if (std::strlen(name) >= sizeof ps.fontEncoding) return 0;
  std::strcpy(ps.fontEncoding, name);
  ps.fontEmbed = embed;
  return 1;
}

// Keeps at most 255 characters: bytes of single-byte text, code units of UTF-16BE text.
int BookmarkOption(EngineDocument& doc, const char* title) {
  if (doc.openMode == OpenMode::kAppend || !title) return 0;
  size_t n = pdf::TextStringLength(title);
  const auto* p = reinterpret_cast<const unsigned char*>(title);
  bool wide = n >= 2 && p[0] == 0xFE && p[1] == 0xFF;
  if (wide) {
    if (n > 2 + 2 * 255) n = 2 + 2 * 255;
    // Never keep half of a surrogate pair.
    if (n > 2 && p[n - 2] >= 0xD8 && p[n - 2] <= 0xDB) n -= 2;
    if (n <= 2) return 0;
  } else {
    if (n == 0) return 0;
    if (n > 255) n = 255;
  }
  doc.page.pendingBookmark.assign(title, n);
  return 1;
}

} // namespace

int SetOption(EngineDocument& doc, int key, int intA, int intB, const char* textA,
              const char* textB) {
  PageState& ps = doc.page;
  switch (key) {
  case ENGINE_OPT_FRAME_RANGE:
    if (intA < 0 || (intA >= 1 && intB < 1) || (intA == 0 && intB != 0)) return 0;
    if (intA == 0) {
      ps.frameFirst = 1;
      ps.frameCount = 0;
    } else {
      ps.frameFirst = intA;
      ps.frameCount = intB;
    }
    return 1;
  case ENGINE_OPT_PLACEMENT_BOX:
    ps.boxX = intA;
    ps.boxY = intB;
    ps.boxW = ParseDecimal(textA);
    ps.boxH = ParseDecimal(textB);
    return 1;
  case ENGINE_OPT_SECURITY:
    return SecurityOption(doc, intA, intB, textA, textB);
  case ENGINE_OPT_FONT:
    return FontOption(doc, intA, intB, textA);
  case ENGINE_OPT_TEXT_OPTION:
    ps.textOptionA = intA;
    return 1;
  case ENGINE_OPT_FONT_STYLE:
    if (intA >= 0) ps.textOptionB = intA;
    if (intB >= 0) ps.textOptionC = intB;
    return 1;
  case ENGINE_OPT_PAGE:
    if (intA == 0 && intB != 0) return 0;
    return PageOption(doc, intA, intB, textB);
  case ENGINE_OPT_BOOKMARK:
    return BookmarkOption(doc, textA);
  case ENGINE_OPT_DROP_PAGE:
    return DropPage(doc) ? 1 : 0;
  case ENGINE_OPT_PRODUCER:
    if (textA && *textA) doc.data.info.producer.assign(textA, pdf::TextStringLength(textA));
    return 0;
  case ENGINE_OPT_IGNORE_MASK:
    if (intA < 0 || intA > 100) return 0;
    doc.ignoreMaskLevel = intA;
    return 1;
  case ENGINE_OPT_VIEWER:
    return ViewerOption(doc, intA, intB);
  case ENGINE_OPT_ROTATION:
    doc.data.rotation = RotationFor(intA);
    return 1;
  case ENGINE_OPT_COMPRESSION:
    return CompressionOption(doc, intA, textA);
  case ENGINE_OPT_CLEAR_COMPRESSION:
    std::memset(doc.compression, 0, sizeof doc.compression);
    return 1;
  case ENGINE_OPT_SKEW:
    doc.skewCorrection = intA >= 1;
    return 1;
  case ENGINE_OPT_SECOND_IMAGE:
    doc.secondImage = intA >= 1;
    return 1;
  case ENGINE_OPT_JPEG_QUALITY:
    doc.jpegQuality = intA;
    return 1;
  case ENGINE_OPT_FONT_ENCODING:
    return FontEncodingOption(doc, intA, textA);
  case ENGINE_OPT_LOSSLESS:
    doc.lossless = intA >= 1;
    return 1;
  case ENGINE_OPT_AUTO_ROTATE:
    doc.autoRotate = intA >= 1;
    return 1;
  default:
    return 0;
  }
}

int Query(EngineDocument& doc, int key, int* outA, int* outB, char* textA, const char* textB) {
  PageState& ps = doc.page;
  switch (key) {
  case ENGINE_Q_FRAME_COUNT:
  case ENGINE_Q_IMAGE_WIDTH:
  case ENGINE_Q_IMAGE_HEIGHT:
  case ENGINE_Q_X_RESOLUTION:
  case ENGINE_Q_Y_RESOLUTION:
  case ENGINE_Q_BITS_PER_PIXEL:
    return ImageQuery(doc, key, outA, outB, textA, textB);
  case ENGINE_Q_PAGE_COUNT:
    return doc.data.pageCount + (doc.existing ? doc.existing->target.pageCount : 0);
  case ENGINE_Q_PAGE_SIZE:
    if (Writable(outA)) *outA = ps.pageWidth;
    if (Writable(outB)) *outB = ps.pageHeight;
    return textA && strcasecmp(textA, "height") == 0 ? ps.pageHeight : ps.pageWidth;
  case ENGINE_Q_COMPRESSION: {
    auto imageClass = static_cast<intptr_t>(reinterpret_cast<uintptr_t>(outA));
    if (imageClass < 1 || imageClass > 3 || !textA) return 0;
    std::memcpy(textA, doc.compression[imageClass - 1], 9);
    return imageClass == 3 ? 1 : 0;
  }
  case ENGINE_Q_SKEW:
    if (Writable(outA)) *outA = doc.skewCorrection ? 1 : 0;
    return doc.skewCorrection ? 1 : 0;
  case ENGINE_Q_SECOND_IMAGE:
    if (Writable(outA)) *outA = doc.secondImage ? 1 : 0;
    return doc.secondImage ? 1 : 0;
  case ENGINE_Q_JPEG_QUALITY:
    if (Writable(outA)) *outA = doc.jpegQuality;
    return doc.jpegQuality;
  case ENGINE_Q_TEXT_WIDTH:
  case ENGINE_Q_TEXT_HEIGHT: {
    int code = static_cast<int>(reinterpret_cast<intptr_t>(outA));
    int size = static_cast<int>(reinterpret_cast<intptr_t>(outB));
    return MeasureText(doc, key, code, size, textA);
  }
  case ENGINE_Q_FRAME_RANGE:
    if (Writable(outA)) *outA = ps.frameFirst;
    if (Writable(outB)) *outB = ps.frameCount;
    return 1;
  default:
    return 0;
  }
}

} // namespace engine
