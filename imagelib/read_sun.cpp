// Sun raster files: 1, 8, 24 and 32 bits, plain or byte-run encoded, optional RGB colour map.
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

Result ReadSun(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint32_t magic = c.U32BE(), w = c.U32BE(), h = c.U32BE(), depth = c.U32BE();
  uint32_t length = c.U32BE(), type = c.U32BE(), mapType = c.U32BE(), mapLen = c.U32BE();
  (void)length;
  if (c.Short())
    return src.Size() >= 4 && magic == 0x59a66a95 ? Truncated() : Corrupt("not a Sun raster file");
  if (magic != 0x59a66a95) return Corrupt("not a Sun raster file");
  if (type > 3) return Unsupported("unsupported Sun raster type " + std::to_string(type));
  if (depth != 1 && depth != 8 && depth != 24 && depth != 32)
    return Unsupported("unsupported bit depth " + std::to_string(depth));
  if (mapType > 2) return Corrupt("corrupt Sun raster colour map");
  if (w == 0 || h == 0) return Corrupt("invalid image size");
  if (w > 0x7fffffff || h > 0x7fffffff) return Result::Fail(Status::kTooLarge, "image too large");
  int bpp = depth == 1 ? 1 : depth == 8 ? 8 : 24;
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(h), bpp, false, opt.headerOnly,
                          opt.limits);
  if (!r) return r;
  std::vector<Rgb>& pal = out.MutablePalette();
  if (depth == 1) pal = {Rgb{255, 255, 255}, Rgb{0, 0, 0}}; // set bits black
  if (mapType == 1 && mapLen > 0) {
    if (mapLen > 768 || mapLen % 3) return Corrupt("corrupt Sun raster colour map");
    uint32_t n = mapLen / 3;
    std::vector<uint8_t> m(mapLen);
    if (!c.Read(m.data(), mapLen)) return Truncated();
    if (bpp <= 8) {
      std::fill(pal.begin(), pal.end(), Rgb{});
      for (uint32_t i = 0; i < n && i < pal.size(); ++i)
        pal[i] = Rgb{m[i], m[n + i], m[2 * n + i]};
    }
  } else {
    c.Skip(mapLen);
  }
  if (opt.headerOnly) return Result::Ok();
  uint64_t rowBytes = (static_cast<uint64_t>(w) * depth + 15) / 16 * 2;
  bool rle = type == 2;
  if (!rle && rowBytes * h > c.Remaining()) return Truncated();
  if (rle && rowBytes * h > c.Remaining() * 128) return Truncated();
  std::vector<uint8_t> line(static_cast<size_t>(rowBytes));
  int run = 0;
  uint8_t value = 0;
  for (uint32_t y = 0; y < h; ++y) {
    if (!rle) {
      c.Read(line.data(), line.size());
    } else {
      for (size_t i = 0; i < line.size(); ++i) {
        if (run == 0) {
          uint8_t b = c.U8();
          if (b == 0x80) {
            int n = c.U8();
            if (n == 0) {
              run = 1, value = 0x80;
            } else {
              run = n + 1, value = c.U8();
            }
          } else {
            run = 1, value = b;
          }
        }
        line[i] = value;
        --run;
      }
    }
    if (c.Short()) return Truncated();
    uint8_t* d = out.Row(static_cast<int>(y));
    if (bpp <= 8) {
      std::copy(line.begin(),
                line.begin() + static_cast<long>((static_cast<uint64_t>(w) * depth + 7) / 8), d);
    } else {
      bool rgb = type == 3;
      int pb = depth / 8, off = depth == 32 ? 1 : 0;
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = line.data() + static_cast<size_t>(x) * pb + off;
        d[3 * x] = rgb ? p[0] : p[2];
        d[3 * x + 1] = p[1];
        d[3 * x + 2] = rgb ? p[2] : p[0];
      }
    }
  }
  return Result::Ok();
}

} // namespace imagelib::detail
