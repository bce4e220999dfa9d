// ZSoft PCX: 1-bit mono, EGA planes, CGA, 4- and 8-bit palette, 24-bit and 32-bit planar.
#include <cstring>
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

Result ReadPcx(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint8_t h[128];
  c.Read(h, 128);
  if (h[0] != 0x0A) return Corrupt("not a PCX file");
  if (c.Short()) return Truncated();
  auto u16 = [&](int at) { return h[at] | (h[at + 1] << 8); };
  if (h[0] != 0x0A || h[2] > 1) return Corrupt("not a PCX file");
  int bits = h[3], planes = h[65], bpl = u16(66);
  int xmin = u16(4), ymin = u16(6), xmax = u16(8), ymax = u16(10);
  if (xmax < xmin || ymax < ymin) return Corrupt("invalid image size");
  int w = xmax - xmin + 1, hh = ymax - ymin + 1;
  int bpp;
  if (bits == 1 && planes == 1)
    bpp = 1;
  else if ((bits == 1 && (planes == 2 || planes == 3 || planes == 4)) ||
           ((bits == 2 || bits == 4) && planes == 1))
    bpp = 4;
  else if (bits == 8 && planes == 1)
    bpp = 8;
  else if (bits == 8 && (planes == 3 || planes == 4))
    bpp = 24;
  else
    return Unsupported("unsupported PCX layout (" + std::to_string(bits) + " bits, " +
                       std::to_string(planes) + " planes)");
  if (bpl < (w * bits + 7) / 8) return Corrupt("corrupt PCX header");
  Result r = out.Allocate(w, hh, bpp, planes == 4 && bits == 8, opt.headerOnly, opt.limits);
  if (!r) return r;
  int hd = u16(12), vd = u16(14);
  if (hd > 0) out.SetResolution(hd, vd > 0 ? vd : hd);
  std::vector<Rgb>& pal = out.MutablePalette();
  if (bpp == 1) {
    pal = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
  } else if (bpp == 4) {
    for (int i = 0; i < 16; ++i)
      pal[i] = Rgb{h[16 + 3 * i], h[17 + 3 * i], h[18 + 3 * i]};
  } else if (bpp == 8) {
    // The 256-colour palette sits at the end of the file behind a 0x0C byte.
    uint8_t tail[769];
    if (src.Size() >= 128 + 769 && src.ReadAt(src.Size() - 769, tail, 769) == 769 &&
        tail[0] == 0x0C)
      for (int i = 0; i < 256; ++i)
        pal[i] = Rgb{tail[1 + 3 * i], tail[2 + 3 * i], tail[3 + 3 * i]};
  }
  if (opt.headerOnly) return Result::Ok();
  bool encoded = h[2] == 1;
  uint64_t lineBytes = static_cast<uint64_t>(bpl) * planes;
  if (!encoded && lineBytes * hh > c.Remaining()) return Truncated();
  if (encoded && lineBytes * hh > c.Remaining() * 63) return Truncated();
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  int run = 0;
  uint8_t value = 0;
  for (int y = 0; y < hh; ++y) {
    for (size_t i = 0; i < line.size(); ++i) {
      if (!encoded) {
        line[i] = c.U8();
      } else {
        if (run == 0) {
          uint8_t b = c.U8();
          if ((b & 0xC0) == 0xC0) {
            run = b & 0x3F;
            value = c.U8();
          } else {
            run = 1;
            value = b;
          }
        }
        if (run > 0) {
          line[i] = value;
          --run;
        } else {
          --i; // a zero-length run
        }
      }
      if (c.Short()) return Truncated();
    }
    uint8_t* d = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    if (bpp == 1 || bpp == 8) {
      std::memcpy(d, line.data(), static_cast<size_t>((w * bpp + 7) / 8));
    } else if (bpp == 4 && planes == 1) {
      for (int x = 0; x < w; ++x)
        SetIndex(d, x, 4,
                 bits == 4 ? IndexAt(line.data(), x, 4) : (line[x >> 2] >> (6 - 2 * (x & 3))) & 3);
    } else if (bpp == 4) {
      for (int x = 0; x < w; ++x) {
        int v = 0;
        for (int p = 0; p < planes; ++p)
          v |= ((line[p * bpl + (x >> 3)] >> (7 - (x & 7))) & 1) << p;
        SetIndex(d, x, 4, v);
      }
    } else {
      for (int x = 0; x < w; ++x) {
        d[3 * x] = line[x], d[3 * x + 1] = line[bpl + x], d[3 * x + 2] = line[2 * bpl + x];
        if (a) a[x] = line[3 * bpl + x];
      }
    }
  }
  // A 256-colour file whose palette was cut off would come out in the wrong colours.
  if (bpp == 8 && h[1] == 5 && c.Remaining() > 0 && c.Remaining() < 769) return Truncated();
  return Result::Ok();
}

} // namespace imagelib::detail
