// Wireless bitmaps (type 0): 1 bit per pixel, set bits white.
#include <vector>

#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {
// Multi-byte integer: 7 bits per byte, high bit set on all but the last; -1 when malformed.
int64_t MultiByte(Cursor& c) {
  int64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    int b = c.U8();
    if (c.Short()) return -1;
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) return v <= 0x7fffffff ? v : -1;
  }
  return -1;
}
} // namespace

Result ReadWbmp(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  int64_t type = MultiByte(c);
  if (c.Short()) return Truncated();
  if (type != 0) return Corrupt("not a WBMP file");
  int fix = c.U8();
  if (c.Short()) return Truncated();
  if (fix & 0x9F) return Corrupt("not a WBMP file"); // extension headers are not used by type 0
  int64_t w = MultiByte(c), h = MultiByte(c);
  if (c.Short()) return Truncated();
  if (w <= 0 || h <= 0) return Corrupt("invalid image size");
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(h), 1, false, true, opt.limits);
  if (!r) return r;
  out.MutablePalette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
  if (opt.headerOnly) return Result::Ok();
  r = CheckLimits(static_cast<int>(w), static_cast<int>(h), 1, false, opt.limits);
  if (!r) return r;
  size_t rowBytes = static_cast<size_t>((w + 7) / 8);
  if (static_cast<uint64_t>(rowBytes) * h > c.Remaining()) return Truncated();
  r = out.Allocate(static_cast<int>(w), static_cast<int>(h), 1, false, false, opt.limits);
  if (!r) return r;
  out.MutablePalette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
  for (int y = 0; y < h; ++y)
    c.Read(out.Row(y), rowBytes);
  return c.Short() ? Truncated() : Result::Ok();
}

} // namespace imagelib::detail
