#include "graphics_state.h"

namespace pdf {

void GraphicsStack::BeginPage() {
  level_ = 0;
  levels_[0] = Level{};
  onPage_ = true;
}

void GraphicsStack::EndText(pdf::Writer& w) {
  if (w.contentState == pdf::ContentState::kText) {
    w.WriteText("ET ");
    w.contentState = pdf::ContentState::kNone;
  }
}

bool GraphicsStack::Save(pdf::Writer& w) {
  if (level_ + 1 >= kMaxLevels) return false;
  EndText(w);
  w.WriteText("q ");
  levels_[level_ + 1] = levels_[level_];
  ++level_;
  return true;
}

bool GraphicsStack::Restore(pdf::Writer& w) {
  if (level_ == 0) return false;
  EndText(w);
  w.WriteText("Q ");
  --level_;
  return true;
}

void GraphicsStack::Concat(pdf::Writer& w, const Matrix& m) {
  if (m.IsIdentity()) return;
  EndText(w);
  w.WriteFormatted("%f %f %f %f %f %f cm ", {m.a, m.b, m.c, m.d, m.e, m.f});
  Matrix& t = general().ctm;
  Matrix r;
  r.a = m.a * t.a + m.b * t.c;
  r.b = m.a * t.b + m.b * t.d;
  r.c = m.c * t.a + m.d * t.c;
  r.d = m.c * t.b + m.d * t.d;
  r.e = m.e * t.a + m.f * t.c + t.e;
  r.f = m.e * t.b + m.f * t.d + t.f;
  t = r;
}

namespace {

bool Same(const Colour& a, ColourSpace space, const float* c) {
  if (a.space != space) return false;
  int n = space == ColourSpace::kGrey ? 1 : 3;
  for (int i = 0; i < n; ++i)
    if (a.c[i] != c[i]) return false;
  return true;
}

void Store(Colour& a, ColourSpace space, const float* c) {
  a.space = space;
  for (int i = 0; i < 4; ++i)
    a.c[i] = c[i];
}

} // namespace

void GraphicsStack::SetColour(pdf::Writer& w, ColourTarget target, ColourSpace space, float c1,
                              float c2, float c3, float c4) {
  float c[4] = {c1, c2, c3, c4};
  int n = space == ColourSpace::kGrey ? 1 : 3;
  for (int i = 0; i < n; ++i)
    if (!(c[i] >= 0.0f && c[i] <= 1.000015f)) return;
  if (space == ColourSpace::kRgb && c1 == c2 && c2 == c3) {
    space = ColourSpace::kGrey;
    c[1] = c[2] = 0;
  }
  if (space == ColourSpace::kGrey)
    c[1] = c[2] = c[3] = 0;
  else
    c[3] = 0;
  auto apply = [&](Colour& current, const char* greyOp, const char* rgbOp) {
    if (Same(current, space, c)) return;
    Store(current, space, c);
    if (!onPage_) return;
    if (space == ColourSpace::kGrey)
      w.WriteFormatted(greyOp, {c[0]});
    else
      w.WriteFormatted(rgbOp, {c[0], c[1], c[2]});
  };
  if (target != ColourTarget::kStroke) apply(colour().fill, "%f g ", "%f %f %f rg ");
  if (target != ColourTarget::kFill) apply(colour().stroke, "%f G ", "%f %f %f RG ");
}

void GraphicsStack::SetLineWidth(pdf::Writer& w, float width) {
  if (width <= 0 || width == general().lineWidth) return;
  general().lineWidth = width;
  w.WriteFormatted("%f w ", {width});
}

void GraphicsStack::MoveTo(pdf::Writer& w, float x, float y) {
  EndText(w);
  w.contentState = pdf::ContentState::kPath;
  general().x = general().startX = x;
  general().y = general().startY = y;
  w.WriteFormatted("%f %f m ", {x, y});
}

void GraphicsStack::LineTo(pdf::Writer& w, float x, float y) {
  w.WriteFormatted("%f %f l ", {x, y});
  general().x = x;
  general().y = y;
}

void GraphicsStack::StrokePath(pdf::Writer& w) {
  w.WriteText("S ");
  if (w.contentState == pdf::ContentState::kPath) w.contentState = pdf::ContentState::kNone;
  general().x = general().y = 0;
}

} // namespace pdf
