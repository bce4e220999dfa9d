#include "page_composer.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace app {
namespace {

// Stored as text and read back with the C library's conversion, as the settings are.
struct NamedSize {
  const char* width;
  const char* height;
};
constexpr NamedSize kSizes[] = {
    {"842", "1191"}, {"595", "842"}, {"420", "595"},
    {"403", "729"},  {"612", "792"}, {"612", "1008"},
};

} // namespace

PageSize NamedPageSize(const PageLayout& l) {
  if (l.pageSize == 7) {
    if (l.pageW != 0 && l.pageH != 0) return {l.pageW, l.pageH};
    return {612, 792};
  }
  // Sizes outside the list (only by editing the settings file) fall back to A4.
  int k = l.pageSize >= 1 && l.pageSize <= 6 ? l.pageSize : 2;
  return {std::atoi(kSizes[k - 1].width), std::atoi(kSizes[k - 1].height)};
}

Grid GridFor(int layout, int order) {
  switch (layout) {
  case 1:
    return {1, 1};
  case 2:
    return order == 1 ? Grid{1, 2} : Grid{2, 1};
  case 4:
    return {2, 2};
  case 6:
    return order == 1 ? Grid{2, 3} : Grid{3, 2};
  case 9:
    return {3, 3};
  case 16:
    return {4, 4};
  default:
    return {0, 0};
  }
}

PageSize FitSize(int fit, int cw, int ch, int iw, int ih) {
  if (fit == 1 || iw <= 0 || ih <= 0) return {cw, ch};
  double sx = static_cast<double>(cw) / iw;
  double sy = static_cast<float>(static_cast<double>(ch) / ih);
  double s = sx < sy ? sx : sy;
  return {static_cast<int>(iw * s), static_cast<int>(ih * s)};
}

PageComposer::PageComposer(EngineCalls& engine, const PageLayout& layout, Decorate decorate)
    : engine_(engine), layout_(layout), decorate_(std::move(decorate)) {}

void PageComposer::BeginPage(int handle, int width, int height, const std::string& title) {
  engine_.SetOption(handle, ENGINE_OPT_PAGE, width, height, nullptr, nullptr);
  if (!title.empty()) engine_.SetOption(handle, ENGINE_OPT_BOOKMARK, 0, 0, title.c_str(), nullptr);
  current_ = {width, height};
}

void PageComposer::SetBox(int handle, int x, int y, int w, int h) {
  std::string ws = std::to_string(w), hs = std::to_string(h);
  engine_.SetOption(handle, ENGINE_OPT_PLACEMENT_BOX, x, y, ws.c_str(), hs.c_str());
}

int PageComposer::Add(int handle, int frameIndex, const std::string& path) {
  engine_.SetOption(handle, ENGINE_OPT_FRAME_RANGE, frameIndex + 1, 1, nullptr, nullptr);
  return engine_.AddImage(handle, path.c_str());
}

int PageComposer::AddFrame(int handle, int frameIndex, const std::string& path, int frameCount,
                           const std::string& title) {
  (void)frameCount; // the layout does not depend on it; the title already does
  int iw = 0, ih = 0;
  engine_.ImageSize(handle, path, iw, ih);
  const PageLayout& l = layout_;

  if (l.pageSize == 0) {
    double w = l.xdpi != 0 ? 72.0 / l.xdpi * iw + 0.5 : iw;
    double h = l.ydpi != 0 ? 72.0 / l.ydpi * ih + 0.5 : ih;
    int W = std::clamp(static_cast<int>(w), 3, 14400);
    int H = std::clamp(static_cast<int>(h), 3, 14400);
    BeginPage(handle, W, H, title);
    SetBox(handle, l.mLeft, l.mTop, W - l.mLeft - l.mRight, H - l.mTop - l.mBottom);
    int r = Add(handle, frameIndex, path);
    if (decorate_) decorate_(handle, W, H);
    engine_.SetOption(handle, ENGINE_OPT_PAGE, 0, 0, nullptr, nullptr);
    return r;
  }

  PageSize page = NamedPageSize(l);
  const int W = page.width, H = page.height;
  const int innerW = W - l.mLeft - l.mRight, innerH = H - l.mTop - l.mBottom;

  if (l.layout == 1) {
    BeginPage(handle, W, H, title);
    PageSize d = FitSize(l.imgFit, innerW, innerH, iw, ih);
    SetBox(handle, l.mLeft + (innerW - d.width) / 2, l.mTop + (innerH - d.height) / 2, d.width,
           d.height);
    int r = Add(handle, frameIndex, path);
    CompletePage(handle, W, H);
    return r;
  }

  Grid g = GridFor(l.layout, l.order);
  const int cw = g.columns ? innerW / g.columns : 0;
  const int ch = g.rows ? innerH / g.rows : 0;
  auto placeInCell = [&](int column, int row, const PageSize& d) {
    SetBox(handle, l.mLeft + column * cw + (cw - d.width) / 2,
           l.mTop + row * ch + (ch - d.height) / 2, d.width, d.height);
  };

  if (!l.repeat) {
    if (cellCounter_ == 0) BeginPage(handle, W, H, title);
    int r = 0;
    if (g.columns > 0) {
      int k = cellCounter_;
      int column = l.order == 1 ? k / g.rows : k % g.columns;
      int row = l.order == 1 ? k % g.rows : k / g.columns;
      placeInCell(column, row, FitSize(l.imgFit, cw, ch, iw, ih));
      r = Add(handle, frameIndex, path);
    }
    int cells = g.columns > 0 ? g.columns * g.rows : l.layout;
    if (++cellCounter_ >= cells || cells <= 0) {
      CompletePage(handle, W, H);
      cellCounter_ = 0;
    }
    return r;
  }

  BeginPage(handle, W, H, title);
  engine_.SetOption(handle, ENGINE_OPT_FRAME_RANGE, frameIndex + 1, 1, nullptr, nullptr);
  int r = 0;
  if (g.columns > 0) {
    PageSize d = FitSize(l.imgFit, cw, ch, iw, ih);
    for (int row = 0; row < g.rows; ++row) {
      for (int column = 0; column < g.columns; ++column) {
        placeInCell(column, row, d);
        r = engine_.AddImage(handle, path.c_str());
      }
    }
  }
  CompletePage(handle, W, H);
  return r;
}

void PageComposer::FinishDocument(int handle) {
  if (cellCounter_ == 0) return;
  CompletePage(handle, current_.width, current_.height);
  cellCounter_ = 0;
}

void PageComposer::CompletePage(int handle, int width, int height) {
  if (decorate_) decorate_(handle, width, height);
  DrawBorder(handle, width, height);
  engine_.SetOption(handle, ENGINE_OPT_PAGE, 0, 0, nullptr, nullptr);
}

void PageComposer::DrawBorder(int handle, int W, int H) {
  const PageLayout& l = layout_;
  if (!l.border || l.layout == 1) return;
  if (l.mLeft + l.mRight >= W || l.mTop + l.mBottom >= H) return;
  Grid g = GridFor(l.layout, l.order);
  int lw = std::max(W / 200, 1);
  int L = l.mLeft, T = l.mTop, R = W - l.mRight, B = H - l.mBottom;
  engine_.DrawLine(handle, L, T, R, T, lw, 0);
  engine_.DrawLine(handle, L, T, L, B, lw, 0);
  engine_.DrawLine(handle, L, B, R, B, lw, 0);
  engine_.DrawLine(handle, R, T, R, B, lw, 0);
  for (int k = 1; k < g.columns; ++k) {
    int x = L + k * ((R - L) / g.columns);
    engine_.DrawLine(handle, x, T, x, B, lw, 0);
  }
  for (int k = 1; k < g.rows; ++k) {
    int y = T + k * ((B - T) / g.rows);
    engine_.DrawLine(handle, L, y, R, y, lw, 0);
  }
}

} // namespace app
