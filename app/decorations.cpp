#include "decorations.h"

#include <algorithm>

namespace app {
namespace {

constexpr int kDecorationFont = ENGINE_FONT_HELVETICA;
constexpr int kInset = 3;

int MeasureWidth(EngineCalls& e, int handle, const std::string& t) {
  return e.TextWidth(handle, t);
}
int MeasureHeight(EngineCalls& e, int handle, const std::string& t) {
  return e.TextHeight(handle, t);
}

int AlignedX(int alignment, int W, int w) {
  if (alignment == 1) return W / 2 - w / 2;
  if (alignment == 2) return W - w;
  return kInset;
}

std::string Apply(const std::function<std::string(const std::string&)>& f, const std::string& s) {
  return f ? f(s) : s;
}

} // namespace

Point NinePosition(int position, int W, int H, int w, int h) {
  if (position < 0 || position > 8) position = 0;
  int column = position % 3, row = position / 3;
  Point p;
  p.x = column == 0 ? kInset : column == 1 ? W / 2 - w / 2 : W - w;
  p.y = row == 0 ? kInset : row == 1 ? H / 2 - h / 2 : H - h;
  return p;
}

int HeaderFooterSize(int W) {
  return 6 * std::max(W / 100, 1);
}

void DrawPageDecorations(EngineCalls& e, int handle, int W, int H, const DecorationSettings& s,
                         const TextFilters& filters) {
  const int size = HeaderFooterSize(W);
  if (s.header > 0 && !s.hWatermark.empty()) {
    std::string t = Apply(filters.expand, s.hWatermark);
    e.SetOption(handle, ENGINE_OPT_FONT, kDecorationFont, size, nullptr, nullptr);
    int w = MeasureWidth(e, handle, t);
    e.DrawText(handle, AlignedX(s.hpos, W, w), kInset, t.c_str(), s.hcolor);
  }
  if (s.footer > 0 && !s.fWatermark.empty()) {
    std::string t = Apply(filters.expand, s.fWatermark);
    e.SetOption(handle, ENGINE_OPT_FONT, kDecorationFont, size, nullptr, nullptr);
    int w = MeasureWidth(e, handle, t);
    int h = MeasureHeight(e, handle, t);
    e.DrawText(handle, AlignedX(s.fpos, W, w), H - h, t.c_str(), s.fcolor);
  }
  if (s.text > 0 && !s.tWatermark.empty()) {
    std::string t = Apply(filters.encode, s.tWatermark);
    e.SetOption(handle, ENGINE_OPT_FONT, kDecorationFont, s.tsize, nullptr, nullptr);
    int w = MeasureWidth(e, handle, t);
    int h = MeasureHeight(e, handle, t);
    Point p = NinePosition(s.tpos, W, H, w, h);
    e.DrawText(handle, p.x, p.y, t.c_str(), s.tcolor);
  }
  if (s.image > 0 && !s.imgWatermark.empty() && s.imgWidth > 0 && s.imgHeight > 0) {
    Point p = NinePosition(s.imgpos, W, H, s.imgWidth, s.imgHeight);
    std::string ws = std::to_string(s.imgWidth), hs = std::to_string(s.imgHeight);
    e.SetOption(handle, ENGINE_OPT_PLACEMENT_BOX, p.x, p.y, ws.c_str(), hs.c_str());
    e.AddImage(handle, s.imgWatermark.c_str());
  }
}

} // namespace app
