// Text and line drawing into the open page's content stream, and text measuring. Text objects
// stay open across texts and are ended lazily by whatever needs them closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fonts.h"
#include "pdfwriter/graphics_state.h"
#include "pdfwriter/writer.h"

namespace text {

// The page's graphics state belongs to the writer core; text drawing works on it.
using pdf::ColourSpace;
using pdf::ColourTarget;
using pdf::GraphicsStack;
using pdf::Matrix;
using pdf::TextState;

inline constexpr size_t kMaxMeasuredLines = 1024;

// Lines of a text cut at each line feed. An empty line between two line feeds counts; the
// empty remainder after a final line feed does not. At most kMaxMeasuredLines are taken.
std::vector<std::string_view> SplitLines(std::string_view s);

// Advance of s in user space under the text state, untruncated.
float StringWidth(const FontRecord& font, const TextState& ts, std::string_view s, float size);
// Width of the widest line, truncated toward zero; 0 for fonts without one-byte widths.
int MeasureWidth(const FontRecord& font, const TextState& ts, std::string_view s, float size);
// Height of the block: size for one line, lines × (size + 4) for more.
int MeasureHeight(std::string_view s, int size);

// Fill or stroke colour from a 0x00BBGGRR value.
void SetColourFromValue(pdf::Writer& w, GraphicsStack& g, ColourTarget target, uint32_t colour);

// The drawing state of one document's page content.
class TextWriter {
public:
  // One text: at (x, y) in PDF space when setPosition, else where the last text ended.
  struct Run {
    bool setPosition = false;
    float x = 0, y = 0;
    int fontIndex = 0;
    float size = 0;
    uint32_t colour = 0;
    std::string_view text;
  };

  void DrawText(pdf::Writer& w, GraphicsStack& g, FontTable& fonts, const Run& run);
  // A stroked line inside a saved graphics state; false when the state cannot be saved.
  bool DrawLine(pdf::Writer& w, GraphicsStack& g, float x1, float y1, float x2, float y2,
                float width, uint32_t colour);

private:
  void BeginText(pdf::Writer& w, GraphicsStack& g);
  void WriteMatrix(pdf::Writer& w, GraphicsStack& g);
  void WriteParams(pdf::Writer& w, GraphicsStack& g);
  void ShowLine(pdf::Writer& w, GraphicsStack& g, const FontRecord* font, std::string_view s);
  void NextLine(pdf::Writer& w, GraphicsStack& g);

  // Leading (and non-zero spacings) written since the text object began or leading changed.
  bool paramsWritten_ = false;
};

} // namespace text
