// Truevision TGA: colour-mapped, true-colour and greyscale, plain and run-length encoded.
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

Result ReadTga(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint8_t h[18];
  c.Read(h, 18);
  if (c.Short()) return Truncated();
  int idLen = h[0], mapType = h[1], type = h[2];
  int mapFirst = h[3] | (h[4] << 8), mapLen = h[5] | (h[6] << 8), mapBits = h[7];
  int w = h[12] | (h[13] << 8), hh = h[14] | (h[15] << 8), depth = h[16], desc = h[17];
  bool rle = type >= 9 && type <= 11;
  int base = rle ? type - 8 : type;
  if (mapType > 1 || (base != 1 && base != 2 && base != 3)) return Corrupt("not a TGA file");
  if (base == 1 && (mapType != 1 || (depth != 8 && depth != 16)))
    return Corrupt("corrupt TGA colour map");
  if (base == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32)
    return Unsupported("unsupported bit depth " + std::to_string(depth));
  if (base == 3 && depth != 8 && depth != 16)
    return Unsupported("unsupported bit depth " + std::to_string(depth));
  if (mapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
    return Corrupt("corrupt TGA colour map");
  if (w == 0 || hh == 0) return Corrupt("invalid image size");
  // 32-bit pixels carry alpha even where the descriptor claims no alpha bits, as many writers
  // leave them out; a plane of all 0 or all 255 is dropped below.
  bool alpha = (base == 2 && depth == 32) || (base == 3 && depth == 16);
  int bpp = base == 2 ? 24 : 8;
  if (base == 1 && mapLen + mapFirst > 256) bpp = 24; // more entries than one byte indexes
  Result r = out.Allocate(w, hh, bpp, alpha, opt.headerOnly, opt.limits);
  if (!r) return r;

  c.Skip(idLen);
  std::vector<Rgb> map;
  auto colour = [](const uint8_t* p, int bits, uint8_t* a) {
    if (bits == 15 || bits == 16) {
      int v = p[0] | (p[1] << 8);
      if (a) *a = 255;
      return Rgb{Scale((v >> 10) & 31, 5), Scale((v >> 5) & 31, 5), Scale(v & 31, 5)};
    }
    if (a) *a = bits == 32 ? p[3] : 255;
    return Rgb{p[2], p[1], p[0]};
  };
  if (mapType == 1) {
    int eb = (mapBits + 7) / 8;
    map.assign(static_cast<size_t>(mapFirst) + mapLen, Rgb{});
    for (int i = 0; i < mapLen; ++i) {
      uint8_t e[4] = {};
      c.Read(e, eb);
      map[mapFirst + i] = colour(e, mapBits, nullptr);
    }
    if (c.Short()) return Truncated();
  }
  if (bpp == 8 && base == 1) {
    std::vector<Rgb>& pal = out.MutablePalette();
    std::fill(pal.begin(), pal.end(), Rgb{});
    for (size_t i = 0; i < map.size() && i < 256; ++i)
      pal[i] = map[i];
  }
  if (opt.headerOnly) return Result::Ok();

  int pb = (depth + 7) / 8;
  uint64_t total = static_cast<uint64_t>(w) * hh;
  if (!rle && total * pb > c.Remaining()) return Truncated();
  if (rle && total * pb > c.Remaining() * 128) return Truncated();
  bool topDown = desc & 0x20, rightToLeft = desc & 0x10;
  uint64_t n = 0;
  int run = 0;
  bool repeat = false;
  uint8_t px[4] = {};
  while (n < total) {
    if (rle) {
      if (run == 0) {
        int ph = c.U8();
        run = (ph & 0x7F) + 1;
        repeat = ph & 0x80;
        if (repeat) c.Read(px, pb);
      }
      if (!repeat) c.Read(px, pb);
      --run;
    } else {
      c.Read(px, pb);
    }
    if (c.Short()) return Truncated();
    int fx = static_cast<int>(n % w), fy = static_cast<int>(n / w);
    int x = rightToLeft ? w - 1 - fx : fx;
    int y = topDown ? fy : hh - 1 - fy;
    uint8_t* d = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    if (base == 1) {
      int idx = depth == 16 ? px[0] | (px[1] << 8) : px[0];
      Rgb col = idx < static_cast<int>(map.size()) ? map[idx] : Rgb{};
      if (bpp == 8)
        d[x] = static_cast<uint8_t>(idx);
      else
        d[3 * x] = col.r, d[3 * x + 1] = col.g, d[3 * x + 2] = col.b;
    } else if (base == 3) {
      d[x] = px[0];
      if (a) a[x] = px[1];
    } else {
      uint8_t al = 255;
      Rgb col = colour(px, depth, &al);
      d[3 * x] = col.r, d[3 * x + 1] = col.g, d[3 * x + 2] = col.b;
      if (a) a[x] = al;
    }
    ++n;
  }
  if (alpha && base == 2) DropTrivialAlpha(out, true);
  return Result::Ok();
}

} // namespace imagelib::detail
