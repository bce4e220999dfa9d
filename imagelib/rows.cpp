#include "imagelib/rows.h"

#include <algorithm>
#include <cstring>

#include "imagelib/pixels.h"

namespace imagelib::detail {

bool AllGrey(const Image& img) {
  if (img.BitsPerPixel() > 8) return false;
  const auto& p = img.Palette();
  return std::all_of(p.begin(), p.end(), [](const Rgb& c) { return c.r == c.g && c.g == c.b; });
}

int IccComponents(const std::vector<uint8_t>& profile) {
  if (profile.size() < 132 || std::memcmp(profile.data() + 36, "acsp", 4) != 0) return 0;
  const uint8_t* space = profile.data() + 16;
  if (std::memcmp(space, "GRAY", 4) == 0) return 1;
  if (std::memcmp(space, "RGB ", 4) == 0) return 3;
  if (std::memcmp(space, "CMYK", 4) == 0) return 4;
  return 0;
}

void MakeRow(const Image& img, int y, OutForm form, uint8_t* dst) {
  const int w = img.Width(), bpp = img.BitsPerPixel();
  const uint8_t* s = img.Row(y);
  const uint8_t* a = img.AlphaRow(y);
  const auto& pal = img.Palette();
  switch (form) {
  case OutForm::kBitonal: {
    size_t n = static_cast<size_t>((w + 7) / 8);
    if (bpp == 1) {
      bool ink0 = Luma(pal[0]) < 128, ink1 = Luma(pal[1]) < 128;
      for (size_t i = 0; i < n; ++i) {
        uint8_t b = s[i];
        dst[i] = ink0 ? (ink1 ? 0xFF : static_cast<uint8_t>(~b)) : (ink1 ? b : 0);
      }
    } else {
      std::memset(dst, 0, n);
      for (int x = 0; x < w; ++x) {
        uint8_t l =
            bpp == 24 ? Luma(s[3 * x], s[3 * x + 1], s[3 * x + 2]) : Luma(pal[IndexAt(s, x, bpp)]);
        if (l < 128) SetIndex(dst, x, 1, 1);
      }
    }
    if (a)
      for (int x = 0; x < w; ++x)
        if (a[x] < 128) SetIndex(dst, x, 1, 0);
    if (w & 7) dst[n - 1] &= static_cast<uint8_t>(0xFF << (8 - (w & 7)));
    break;
  }
  case OutForm::kGrey:
    for (int x = 0; x < w; ++x) {
      uint8_t v =
          bpp == 24 ? Luma(s[3 * x], s[3 * x + 1], s[3 * x + 2]) : Luma(pal[IndexAt(s, x, bpp)]);
      dst[x] = a ? OverWhite(v, a[x]) : v;
    }
    break;
  case OutForm::kPalette:
    std::memcpy(dst, s, static_cast<size_t>((static_cast<int64_t>(w) * bpp + 7) / 8));
    break;
  case OutForm::kRgb:
    for (int x = 0; x < w; ++x) {
      uint8_t r, g, b;
      if (bpp == 24) {
        r = s[3 * x], g = s[3 * x + 1], b = s[3 * x + 2];
      } else {
        const Rgb& c = pal[IndexAt(s, x, bpp)];
        r = c.r, g = c.g, b = c.b;
      }
      if (a) r = OverWhite(r, a[x]), g = OverWhite(g, a[x]), b = OverWhite(b, a[x]);
      dst[3 * x] = r, dst[3 * x + 1] = g, dst[3 * x + 2] = b;
    }
    break;
  }
}

} // namespace imagelib::detail
