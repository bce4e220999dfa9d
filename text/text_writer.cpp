#include "text_writer.h"

#include "identity_text.h"

namespace text {

std::vector<std::string_view> SplitLines(std::string_view s) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < s.size() && lines.size() < kMaxMeasuredLines) {
    size_t end = s.find('\n', start);
    if (end == std::string_view::npos) end = s.size();
    lines.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

float StringWidth(const FontRecord& font, const TextState& ts, std::string_view s, float size) {
  if (font.kind == kCid) return 0;
  float width = 0;
  if (font.identity) {
    for (char32_t c : DecodeUtf8(s)) {
      width += static_cast<float>(IdentityCharWidth(font, c)) * size / 1000.0f + ts.charSpacing;
      if (c == 32) width += ts.wordSpacing;
    }
    return width * ts.horizontalScaling * ts.textMatrix.a;
  }
  for (unsigned char b : s) {
    width += static_cast<float>(font.widths[b]) * size / 1000.0f + ts.charSpacing;
    if (b == 32) width += ts.wordSpacing;
  }
  return width * ts.horizontalScaling * ts.textMatrix.a;
}

int MeasureWidth(const FontRecord& font, const TextState& ts, std::string_view s, float size) {
  int widest = 0;
  for (std::string_view line : SplitLines(s)) {
    int w = static_cast<int>(StringWidth(font, ts, line, size));
    if (w > widest) widest = w;
  }
  return widest;
}

int MeasureHeight(std::string_view s, int size) {
  size_t n = SplitLines(s).size();
  return n <= 1 ? size : static_cast<int>(n) * (size + 4);
}

void SetColourFromValue(pdf::Writer& w, GraphicsStack& g, ColourTarget target, uint32_t colour) {
  float r = static_cast<float>(colour & 0xFF) / 255.0f;
  float gr = static_cast<float>((colour >> 8) & 0xFF) / 255.0f;
  float b = static_cast<float>((colour >> 16) & 0xFF) / 255.0f;
  g.SetColour(w, target, ColourSpace::kRgb, r, gr, b);
}

void TextWriter::WriteMatrix(pdf::Writer& w, GraphicsStack& g) {
  TextState& ts = g.textState();
  const Matrix& m = ts.textMatrix;
  w.WriteFormatted("%f %f %f %f %f %f Tm ", {m.a, m.b, m.c, m.d, m.e, m.f});
  // Tm also starts the reader's line there, which the next line feed moves from.
  ts.lineMatrix = m;
}

// A new text object starts at the text cursor, so text continued after the object ended
// (or on a fresh page) lands where the engine's cursor says.
void TextWriter::BeginText(pdf::Writer& w, GraphicsStack& g) {
  if (w.contentState == pdf::ContentState::kText) return;
  w.WriteText("BT ");
  w.contentState = pdf::ContentState::kText;
  paramsWritten_ = false;
  WriteMatrix(w, g);
}

void TextWriter::WriteParams(pdf::Writer& w, GraphicsStack& g) {
  if (paramsWritten_) return;
  const TextState& ts = g.textState();
  w.WriteFormatted("%f TL ", {ts.leading});
  if (ts.wordSpacing != 0) w.WriteFormatted("%f Tw ", {ts.wordSpacing});
  if (ts.charSpacing != 0) w.WriteFormatted("%f Tc ", {ts.charSpacing});
  paramsWritten_ = true;
}

void TextWriter::ShowLine(pdf::Writer& w, GraphicsStack& g, FontRecord* font, std::string_view s) {
  BeginText(w, g);
  WriteParams(w, g);
  if (font && font->identity) {
    // UTF-8 text becomes the font's two-byte codes.
    std::string codes = EncodeIdentity(*font, s);
    w.WriteChar('<');
    w.WriteHex(reinterpret_cast<const uint8_t*>(codes.data()), codes.size());
    w.WriteText("> Tj ");
  } else {
    w.WriteLiteralString(s.data(), s.size());
    w.WriteText(" Tj ");
  }
  TextState& ts = g.textState();
  if (ts.renderingMode > 3) GraphicsStack::EndText(w);
  if (font) ts.textMatrix.e += StringWidth(*font, ts, s, ts.fontSize);
}

void TextWriter::NextLine(pdf::Writer& w, GraphicsStack& g) {
  TextState& ts = g.textState();
  ts.textMatrix.e = ts.lineMatrix.e;
  ts.textMatrix.f -= ts.leading;
  if (w.contentState == pdf::ContentState::kText) {
    ts.lineMatrix.f = ts.textMatrix.f;
    WriteParams(w, g);
    w.WriteText("() ' ");
    return;
  }
  BeginText(w, g);
  WriteParams(w, g);
  w.WriteText("() Tj ");
}

void TextWriter::DrawText(pdf::Writer& w, GraphicsStack& g, FontTable& fonts, const Run& run) {
  if (run.setPosition) {
    TextState& ts = g.textState();
    ts.textMatrix.e = ts.lineMatrix.e = run.x;
    ts.textMatrix.f = ts.lineMatrix.f = run.y;
    if (w.contentState == pdf::ContentState::kText)
      WriteMatrix(w, g);
    else
      BeginText(w, g);
  }

  BeginText(w, g);
  w.WriteFormatted("/F%s%d %f Tf ", {"", run.fontIndex, run.size});
  fonts.MarkUsed(run.fontIndex);
  TextState& ts = g.textState();
  ts.fontIndex = run.fontIndex;
  ts.fontSize = run.size;
  if (ts.leading != run.size) {
    ts.leading = run.size;
    paramsWritten_ = false;
  }

  SetColourFromValue(w, g, ColourTarget::kFill, run.colour);

  FontRecord* font = fonts.at(run.fontIndex);
  std::string_view rest = run.text;
  size_t feed;
  while ((feed = rest.find('\n')) != std::string_view::npos) {
    ShowLine(w, g, font, rest.substr(0, feed));
    NextLine(w, g);
    rest.remove_prefix(feed + 1);
  }
  if (!rest.empty() || run.text.find('\n') == std::string_view::npos) ShowLine(w, g, font, rest);
}

bool TextWriter::DrawLine(pdf::Writer& w, GraphicsStack& g, float x1, float y1, float x2, float y2,
                          float width, uint32_t colour) {
  if (!g.Save(w)) return false;
  SetColourFromValue(w, g, ColourTarget::kStroke, colour);
  g.SetLineWidth(w, width);
  g.MoveTo(w, x1, y1);
  g.LineTo(w, x2, y2);
  g.StrokePath(w);
  g.Restore(w);
  return true;
}

} // namespace text
