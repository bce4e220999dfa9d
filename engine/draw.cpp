// Text and line drawing on the open page, and text measuring.
#include <cstring>
#include <string_view>

#include "document.h"
#include "engine.h"
#include "text/std_fonts.h"

namespace engine {
namespace {

// Automatic page for a drawing call: the current page size, and the text settings the caller
// chose for this drawing are kept.
void BeginAutomaticPage(EngineDocument& doc, int kind) {
  PageState& ps = doc.page;
  int size = ps.textSize;
  int embed = ps.fontEmbed;
  char font[sizeof ps.fontName], encoding[sizeof ps.fontEncoding];
  std::memcpy(font, ps.fontName, sizeof font);
  std::memcpy(encoding, ps.fontEncoding, sizeof encoding);
  BeginPage(doc, ps.pageWidth, ps.pageHeight, false);
  ps.textSize = size;
  ps.fontEmbed = embed;
  std::memcpy(ps.fontName, font, sizeof font);
  std::memcpy(ps.fontEncoding, encoding, sizeof encoding);
  ps.pageKind = kind;
}

} // namespace

bool StandardFontForCode(int code, const char** name, const char** encoding) {
  const char* n = text::StdFontNameForCode(code);
  if (!n) return false;
  *name = n;
  // The symbol fonts have only their own encoding.
  *encoding = text::FindStdFontMetrics(n)->symbolic ? text::kBuiltInEncodingName
                                                    : text::kDefaultEncodingName;
  return true;
}

int MeasureText(EngineDocument& doc, int key, int fontCode, int size, const char* textA) {
  if (!textA || !*textA || size < 0) return 0;
  const char* name = doc.page.fontName;
  const char* encoding = doc.page.fontEncoding;
  int embed = doc.page.fontEmbed;
  if (fontCode != 0) {
    if (!StandardFontForCode(fontCode, &name, &encoding)) return 0;
    embed = 0;
  }
  if (size == 0) size = doc.page.textSize;
  // Measuring adds the font, so it is written at close even if nothing is drawn with it.
  doc.fonts.SetStyle(doc.page.textOptionB != 0, doc.page.textOptionC != 0);
  int index = doc.fonts.Find(*doc.writer, name, encoding, embed);
  const text::FontRecord* font = doc.fonts.at(index);
  if (!font) return 0;
  std::string_view s(textA);
  if (key == ENGINE_Q_TEXT_HEIGHT) return text::MeasureHeight(s, size);
  return text::MeasureWidth(*font, doc.graphics.textState(), s, static_cast<float>(size));
}

} // namespace engine

using engine::EngineDocument;

extern "C" int EngineDrawText(int handle, int x, int y, const char* text, int colour) {
  EngineDocument* doc = engine::Lookup(handle);
  if (!doc || !text) return 0;
  if (x == -1 && y != -1) return 0;
  if (x != -1 && (x < 0 || y < 0)) return 0;
  engine::PageState& ps = doc->page;
  doc->fonts.SetStyle(ps.textOptionB != 0, ps.textOptionC != 0);
  int fontIndex = doc->fonts.Find(*doc->writer, ps.fontName, ps.fontEncoding, ps.fontEmbed);
  if (fontIndex < 0) return 0;
  if (!ps.pageOpen) {
    engine::BeginAutomaticPage(*doc, 2);
    pdf::TextState& ts = doc->graphics.textState();
    ts.textMatrix.e = ts.lineMatrix.e = static_cast<float>(ps.textLeft);
    ts.textMatrix.f = ts.lineMatrix.f =
        static_cast<float>(ps.pageHeight - ps.textTop - ps.textSize);
  }
  text::TextWriter::Run run;
  run.setPosition = x > 0 && y > 0;
  run.x = static_cast<float>(x);
  run.y = static_cast<float>(ps.pageHeight - ps.textSize - y);
  run.fontIndex = fontIndex;
  run.size = static_cast<float>(ps.textSize);
  run.colour = static_cast<uint32_t>(colour);
  run.text = std::string_view(text);
  doc->textWriter.DrawText(*doc->writer, doc->graphics, doc->fonts, run);
  return 1;
}

extern "C" int EngineDrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) {
  EngineDocument* doc = engine::Lookup(handle);
  if (!doc) return 0;
  for (int v : {x1, y1, x2, y2})
    if (v < 0 || v > 11399) return 0;
  if (width < 1 || width > 1000) return 0;
  if (!doc->page.pageOpen) engine::BeginAutomaticPage(*doc, 3);
  float h = static_cast<float>(doc->page.pageHeight);
  bool drawn = doc->textWriter.DrawLine(*doc->writer, doc->graphics, static_cast<float>(x1),
                                        h - static_cast<float>(y1), static_cast<float>(x2),
                                        h - static_cast<float>(y2), static_cast<float>(width),
                                        static_cast<uint32_t>(colour));
  return drawn ? 1 : 0;
}
