// The page's graphics-state machine: a save/restore stack of transformation, line, colour and
// text state. State-changing operators are written only when the value differs from the one in
// force at the current level.
#pragma once

#include "pdfwriter/writer.h"

namespace pdf {

struct Matrix {
  float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  bool IsIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && e == 0 && f == 0; }
};

struct GraphicsState {
  Matrix ctm;
  float x = 0, y = 0;           // current point
  float startX = 0, startY = 0; // start of the current subpath
  float lineWidth = 1.0f;
  int lineCap = 0;
  int lineJoin = 0;
  float miterLimit = 10.0f;
  float flatness = -1.0f;
  int dash = 0;
};

enum class ColourSpace { kGrey = 0, kRgb = 1 };

struct Colour {
  ColourSpace space = ColourSpace::kGrey;
  float c[4] = {0, 0, 0, 0};
};

struct ColourState {
  Colour fill, stroke;
};

struct TextState {
  float charSpacing = 0;
  float wordSpacing = 0;
  float horizontalScaling = 1.0f;
  float leading = 0;
  int fontIndex = -1;
  float fontSize = 0;
  Matrix textMatrix;
  int renderingMode = 0;
  float rise = 0;
  Matrix lineMatrix;
};

enum class ColourTarget { kFill, kStroke, kBoth };

class GraphicsStack {
public:
  static constexpr int kMaxLevels = 10;

  // Start of a page: level 0 with the start values.
  void BeginPage();
  // Between pages colours are remembered but not written.
  void EndPage() { onPage_ = false; }

  // Each returns false (writing nothing) when refused.
  bool Save(pdf::Writer& w);
  bool Restore(pdf::Writer& w);
  void Concat(pdf::Writer& w, const Matrix& m);
  void SetColour(pdf::Writer& w, ColourTarget target, ColourSpace space, float c1, float c2 = 0,
                 float c3 = 0, float c4 = 0);
  void SetLineWidth(pdf::Writer& w, float width);
  void MoveTo(pdf::Writer& w, float x, float y);
  void LineTo(pdf::Writer& w, float x, float y);
  void StrokePath(pdf::Writer& w);

  // Ends an open text object ("ET").
  static void EndText(pdf::Writer& w);

  int level() const { return level_; }
  GraphicsState& general() { return levels_[level_].general; }
  ColourState& colour() { return levels_[level_].colour; }
  TextState& textState() { return levels_[level_].text; }

private:
  struct Level {
    GraphicsState general;
    ColourState colour;
    TextState text;
  };
  Level levels_[kMaxLevels];
  int level_ = 0;
  bool onPage_ = false;
};

} // namespace pdf
