#include "page_synth.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

namespace skewtest {

PageBuffer::PageBuffer(int width, int height, images::RowOrder order, images::InkBit ink,
                       int extraStrideBytes) {
  const int w32 = (width + 31) / 32 * 32;
  page.width = width;
  page.height = height;
  page.stride = w32 / 8 + extraStrideBytes;
  page.order = order;
  page.ink = ink;
  bytes.assign(static_cast<size_t>(page.stride) * height + kGuardBytes, kGuardValue);
  page.bits = bytes.data();
  Clear();
}

void PageBuffer::Clear() {
  const uint8_t paper = page.ink == images::InkBit::kOneIsBlack ? 0x00 : 0xFF;
  const int used = (page.width + 7) / 8;
  for (int y = 0; y < page.height; ++y) {
    uint8_t* row = page.bits + static_cast<size_t>(y) * page.stride;
    std::fill(row, row + used, paper);
    if (page.width % 8) row[used - 1] &= static_cast<uint8_t>(0xFF << (8 - page.width % 8));
    std::fill(row + used, row + page.stride, uint8_t{0});
  }
}

void PageBuffer::SetInk(int x, int y) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) return;
  int stored = page.order == images::RowOrder::kTopDown ? y : page.height - 1 - y;
  uint8_t& b = page.bits[static_cast<size_t>(stored) * page.stride + x / 8];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  if (page.ink == images::InkBit::kOneIsBlack)
    b |= mask;
  else
    b &= static_cast<uint8_t>(~mask);
}

bool PageBuffer::IsInk(int x, int y) const {
  int stored = page.order == images::RowOrder::kTopDown ? y : page.height - 1 - y;
  uint8_t b = page.bits[static_cast<size_t>(stored) * page.stride + x / 8];
  bool one = (b >> (7 - x % 8)) & 1;
  return one == (page.ink == images::InkBit::kOneIsBlack);
}

bool PageBuffer::GuardIntact() const {
  return std::all_of(bytes.end() - kGuardBytes, bytes.end(),
                     [](uint8_t b) { return b == kGuardValue; });
}

long PageBuffer::CountInk() const {
  const int full = page.width / 8, rest = page.width % 8;
  const uint8_t restMask = static_cast<uint8_t>(0xFF00 >> rest);
  long ones = 0;
  for (int y = 0; y < page.height; ++y) {
    const uint8_t* row = page.bits + static_cast<size_t>(y) * page.stride;
    for (int i = 0; i < full; ++i)
      ones += std::popcount(row[i]);
    if (rest) ones += std::popcount(static_cast<uint8_t>(row[full] & restMask));
  }
  const long pixels = static_cast<long>(page.width) * page.height;
  return page.ink == images::InkBit::kOneIsBlack ? ones : pixels - ones;
}

namespace {

struct Glyph {
  int left, top, right, bottom; // unrotated page coordinates, inclusive
  int hollow;                   // outline thickness, 0 for filled
};

void DrawRotated(PageBuffer& buf, const Glyph& g, double c, double s, double cx, double cy) {
  // Bounding box of the rotated glyph.
  double xs[4] = {double(g.left), double(g.right + 1), double(g.left), double(g.right + 1)};
  double ys[4] = {double(g.top), double(g.top), double(g.bottom + 1), double(g.bottom + 1)};
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (int i = 0; i < 4; ++i) {
    double dx = xs[i] - cx, dy = ys[i] - cy;
    double x = cx + dx * c - dy * s, y = cy + dx * s + dy * c;
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  for (int y = int(std::floor(minY)); y <= int(std::ceil(maxY)); ++y) {
    for (int x = int(std::floor(minX)); x <= int(std::ceil(maxX)); ++x) {
      // Pixel centre back into the glyph's own frame.
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      double ux = cx + dx * c + dy * s, uy = cy - dx * s + dy * c;
      if (ux < g.left || ux >= g.right + 1 || uy < g.top || uy >= g.bottom + 1) continue;
      if (g.hollow && ux >= g.left + g.hollow && ux < g.right + 1 - g.hollow &&
          uy >= g.top + g.hollow && uy < g.bottom + 1 - g.hollow)
        continue;
      buf.SetInk(x, y);
    }
  }
}

} // namespace

void DrawTextPage(PageBuffer& buf, double angle, unsigned seed, const TextLayout& layout) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int w = buf.page.width, h = buf.page.height;
  const double c = std::cos(angle), s = std::sin(angle);
  const double cx = w / 2.0, cy = layout.centreY >= 0 ? layout.centreY : h / 2.0;
  const int textLeft = layout.textLeft ? layout.textLeft : layout.margin;
  const int textRight = layout.textRight ? layout.textRight : w - layout.margin;
  const int first =
      layout.firstBaseline ? layout.firstBaseline : layout.margin + layout.lineSpacing;
  const int last = layout.lastBaseline ? layout.lastBaseline : h - layout.margin;
  for (int base = first; base <= last; base += layout.lineSpacing) {
    // Like a font: short letters share one height, tall ones reach well above it, a few hang
    // below the line.
    const int xHeight = uniform(12, 18);
    int x = textLeft + uniform(0, 30);
    const int end = textRight - uniform(0, 120);
    while (x < end) {
      const int letters = uniform(2, 9);
      for (int i = 0; i < letters && x < end; ++i) {
        Glyph g{};
        const int width = uniform(6, 20);
        const int kind = uniform(0, 9);
        int height = xHeight + uniform(0, 1), drop = 0;
        if (kind >= 6 && kind < 9) {
          height = std::min(30, xHeight + uniform(7, 11));
        } else if (kind == 9) {
          drop = uniform(6, 9);
          height = xHeight + drop;
        }
        g.left = x;
        g.right = std::min(x + width - 1, end);
        g.bottom = base + drop;
        g.top = g.bottom - height + 1;
        g.hollow = uniform(0, 2) == 0 ? uniform(2, 3) : 0;
        DrawRotated(buf, g, c, s, cx, cy);
        x += width + uniform(3, 6);
      }
      x += uniform(8, 16);
    }
  }
}

void DrawNoise(PageBuffer& buf, double density, unsigned seed) {
  std::mt19937 rng(seed);
  const long pixels = static_cast<long>(buf.page.width) * buf.page.height;
  const long dots = std::lround(pixels * density);
  std::uniform_int_distribution<long> at(0, pixels - 1);
  for (long i = 0; i < dots; ++i) {
    const long p = at(rng);
    buf.SetInk(static_cast<int>(p % buf.page.width), static_cast<int>(p / buf.page.width));
  }
}

} // namespace skewtest
