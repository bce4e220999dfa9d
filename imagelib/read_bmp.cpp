// Windows and OS/2 bitmaps: file header, bitmap arrays, headerless DIBs, every info header
// size, 1/2/4/8/16/24/32 bits, RLE4 and RLE8, bit fields, top-down rows.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {

enum : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kJpegData = 4,
  kPngData = 5,
  kAlphaBitFields = 6
};

struct Mask {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  void Set(uint32_t m) {
    mask = m;
    shift = 0;
    bits = 0;
    if (!m) return;
    while (!((m >> shift) & 1))
      ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1))
      ++bits;
  }
  uint8_t Get(uint32_t v) const {
    if (!bits) return 0;
    uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return static_cast<uint8_t>(x >> (bits - 8));
    return Scale(x, bits);
  }
};

// Decodes RLE data straight into the image; pixels the data skips stay index 0.
Result DecodeRle(Cursor& c, Image& out, bool topDown, bool four) {
  const int width = out.Width(), height = out.Height(), bpp = out.BitsPerPixel();
  int x = 0, y = 0; // y counts rows in file order (bottom-up)
  auto put = [&](int v) {
    if (x < width && y < height) SetIndex(out.Row(topDown ? y : height - 1 - y), x, bpp, v);
    ++x;
  };
  while (y < height) {
    if (c.AtEnd()) return Truncated();
    int n = c.U8();
    int v = c.U8();
    if (n > 0) {
      for (int i = 0; i < n; ++i)
        put(four ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
      continue;
    }
    if (v == 0) { // end of line
      x = 0;
      ++y;
    } else if (v == 1) { // end of bitmap
      break;
    } else if (v == 2) { // delta
      x += c.U8();
      y += c.U8();
    } else { // absolute run of v pixels, padded to 16 bits
      int bytes = four ? (v + 1) / 2 : v;
      int b = 0;
      for (int i = 0; i < v; ++i) {
        if (!four) {
          put(c.U8());
          continue;
        }
        if (!(i & 1)) b = c.U8();
        put((i & 1) ? (b & 15) : (b >> 4));
      }
      if (bytes & 1) c.U8();
    }
    if (c.Short()) return Truncated();
    if (x > width + 65536) return Corrupt("corrupt RLE data");
  }
  return Result::Ok();
}

} // namespace

Result ReadDib(Source& src, uint64_t offset, uint64_t pixelOffset, bool iconMode,
               const LoadOptions& opt, Image& out) {
  Cursor c(src, offset);
  uint32_t hsize = c.U32LE();
  if (c.Short()) return Truncated();
  int64_t width, height;
  int bitCount;
  uint32_t compression = kRgb, clrUsed = 0;
  int32_t xppm = 0, yppm = 0;
  bool core = hsize == 12;
  bool os2v2 = false;
  Mask mr, mg, mb, ma;
  bool haveMasks = false;
  if (core) {
    width = c.U16LE();
    height = static_cast<int16_t>(c.U16LE());
    c.U16LE();
    bitCount = c.U16LE();
  } else if ((hsize >= 16 && hsize <= 64 && hsize % 4 == 0) || hsize == 108 || hsize == 124) {
    width = static_cast<int32_t>(c.U32LE());
    height = static_cast<int32_t>(c.U32LE());
    c.U16LE();
    bitCount = c.U16LE();
    uint8_t rest[108] = {};
    c.Read(rest, std::min<uint32_t>(hsize - 16, sizeof rest));
    auto u32 = [&](int at) {
      return rest[at] | (rest[at + 1] << 8) | (rest[at + 2] << 16) |
             (static_cast<uint32_t>(rest[at + 3]) << 24);
    };
    if (hsize >= 20) compression = u32(0);
    if (hsize >= 32) xppm = static_cast<int32_t>(u32(8)), yppm = static_cast<int32_t>(u32(12));
    if (hsize >= 36) clrUsed = u32(16);
    os2v2 = hsize != 40 && hsize != 52 && hsize != 56 && hsize != 108 && hsize != 124;
    if (os2v2 && (compression == 3 || compression == 4))
      return Unsupported("unsupported OS/2 bitmap compression");
    // Colour masks count only with bit-field compression; plain files often leave them zero.
    bool fields = compression == kBitFields || compression == kAlphaBitFields;
    if (hsize >= 52 && fields && !os2v2) {
      mr.Set(u32(24)), mg.Set(u32(28)), mb.Set(u32(32));
      haveMasks = true;
    }
    if (hsize >= 56 && !os2v2) ma.Set(u32(36));
  } else {
    return Corrupt("not a bitmap (bad header size)");
  }
  if (c.Short()) return Truncated();
  uint64_t afterHeader = offset + hsize;
  if ((compression == kBitFields || compression == kAlphaBitFields) && !haveMasks) {
    Cursor m(src, afterHeader);
    mr.Set(m.U32LE()), mg.Set(m.U32LE()), mb.Set(m.U32LE());
    afterHeader += 12;
    if (compression == kAlphaBitFields) ma.Set(m.U32LE()), afterHeader += 4;
    if (m.Short()) return Truncated();
    haveMasks = true;
  }

  bool topDown = height < 0;
  if (topDown) height = -height;
  if (iconMode) height /= 2;
  if (width <= 0 || height <= 0) return Corrupt("invalid bitmap size");
  if (width > INT32_MAX || height > INT32_MAX)
    return Result::Fail(Status::kTooLarge, "image too large");

  if (compression == kJpegData || compression == kPngData) {
    uint64_t at = pixelOffset ? pixelOffset : afterHeader;
    SubSource sub(src, at, src.Size() - std::min(at, src.Size()));
    Result r = compression == kJpegData ? ReadJpeg(sub, opt, out) : ReadPng(sub, opt, out);
    return r;
  }
  if (compression == kRle8 && bitCount != 8) return Corrupt("RLE8 needs 8 bits per pixel");
  if (compression == kRle4 && bitCount != 4) return Corrupt("RLE4 needs 4 bits per pixel");
  if ((compression == kBitFields || compression == kAlphaBitFields) && bitCount != 16 &&
      bitCount != 32)
    return Corrupt("bit fields need 16 or 32 bits per pixel");
  if (compression > kAlphaBitFields) return Unsupported("unsupported bitmap compression");

  int bpp;
  switch (bitCount) {
  case 1:
    bpp = 1;
    break;
  case 2:
  case 4:
    bpp = 4;
    break;
  case 8:
    bpp = 8;
    break;
  case 16:
  case 24:
  case 32:
    bpp = 24;
    break;
  default:
    return Unsupported("unsupported bit depth " + std::to_string(bitCount));
  }
  bool alpha = false;
  if (bitCount == 32 && ma.mask) alpha = true;
  if (bitCount == 32 && !haveMasks) {
    mr.Set(0x00FF0000), mg.Set(0x0000FF00), mb.Set(0x000000FF);
  }
  if (bitCount == 16 && !haveMasks) mr.Set(0x7C00), mg.Set(0x03E0), mb.Set(0x001F);
  if (iconMode && bitCount <= 24) alpha = true; // the AND mask
  if (iconMode && bitCount == 32) {
    alpha = true;
    if (!haveMasks) ma.Set(0xFF000000);
  }

  if (!opt.headerOnly) {
    // Refuse oversized or plainly truncated bitmaps before any pixel memory is taken.
    Result lim =
        CheckLimits(static_cast<int>(width), static_cast<int>(height), bpp, alpha, opt.limits);
    if (!lim) return lim;
    uint64_t rowBytes = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    uint64_t minimum =
        compression == kRle8 || compression == kRle4
            ? 2
            : rowBytes * (height - 1) + (static_cast<uint64_t>(width) * bitCount + 7) / 8;
    uint64_t at = pixelOffset ? pixelOffset : afterHeader;
    if (at > src.Size() || minimum > src.Size() - at) return Truncated();
  }
  Result r = out.Allocate(static_cast<int>(width), static_cast<int>(height), bpp, alpha,
                          opt.headerOnly, opt.limits);
  if (!r) return r;
  if (xppm > 0) out.SetResolution(xppm * 0.0254, (yppm > 0 ? yppm : xppm) * 0.0254);

  // Palette.
  if (bitCount <= 8) {
    uint32_t maxColors = 1u << bitCount;
    uint32_t n = clrUsed && clrUsed < maxColors ? clrUsed : maxColors;
    if (core && !clrUsed) n = maxColors;
    int entry = core ? 3 : 4;
    Cursor p(src, afterHeader);
    std::vector<Rgb>& pal = out.MutablePalette();
    std::fill(pal.begin(), pal.end(), Rgb{});
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t e[4] = {};
      p.Read(e, entry);
      if (i < pal.size()) pal[i] = Rgb{e[2], e[1], e[0]};
    }
    if (p.Short()) return Truncated();
    afterHeader += static_cast<uint64_t>(n) * entry;
  }
  if (opt.headerOnly) return Result::Ok();

  uint64_t dataAt = pixelOffset ? pixelOffset : afterHeader;
  if (dataAt >= src.Size()) return Truncated();
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const uint64_t fileStride = (static_cast<uint64_t>(w) * bitCount + 31) / 32 * 4;
  Cursor d(src, dataAt);

  if (compression == kRle8 || compression == kRle4) {
    return DecodeRle(d, out, topDown, compression == kRle4);
  }

  uint64_t needed = fileStride * (h - 1) + (static_cast<uint64_t>(w) * bitCount + 7) / 8;
  if (needed > src.Size() - dataAt) return Truncated();
  std::vector<uint8_t> line(static_cast<size_t>(fileStride));
  for (int fy = 0; fy < h; ++fy) {
    d.Read(line.data(), line.size());
    int y = topDown ? fy : h - 1 - fy;
    uint8_t* row = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
      std::memcpy(row, line.data(), std::min<size_t>(line.size(), out.Stride()));
      break;
    case 2:
      for (int x = 0; x < w; ++x)
        SetIndex(row, x, 4, (line[x >> 2] >> (6 - 2 * (x & 3))) & 3);
      break;
    case 24:
      for (int x = 0; x < w; ++x) {
        row[3 * x] = line[3 * x + 2];
        row[3 * x + 1] = line[3 * x + 1];
        row[3 * x + 2] = line[3 * x];
      }
      break;
    case 16:
    case 32:
      for (int x = 0; x < w; ++x) {
        uint32_t v = bitCount == 16
                         ? static_cast<uint32_t>(line[2 * x] | (line[2 * x + 1] << 8))
                         : line[4 * x] | (line[4 * x + 1] << 8) | (line[4 * x + 2] << 16) |
                               (static_cast<uint32_t>(line[4 * x + 3]) << 24);
        row[3 * x] = mr.Get(v);
        row[3 * x + 1] = mg.Get(v);
        row[3 * x + 2] = mb.Get(v);
        if (a && ma.mask) a[x] = ma.Get(v);
      }
      break;
    }
  }
  if (bitCount == 32 && !iconMode) DropTrivialAlpha(out, true);
  if (iconMode && bitCount <= 24) {
    // The AND mask follows the colour rows: 1 bit per pixel, set means transparent.
    const uint64_t maskStride = (static_cast<uint64_t>(w) + 31) / 32 * 4;
    std::vector<uint8_t> m(static_cast<size_t>(maskStride));
    for (int fy = 0; fy < h; ++fy) {
      if (!d.Read(m.data(), m.size())) {
        // Some icons omit the mask; treat them as opaque.
        out.DropAlpha();
        break;
      }
      int y = topDown ? fy : h - 1 - fy;
      uint8_t* a = out.AlphaRow(y);
      for (int x = 0; x < w; ++x)
        a[x] = ((m[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 255;
    }
  } else if (iconMode && bitCount == 32) {
    DropTrivialAlpha(out, true);
  }
  return Result::Ok();
}

Result ReadBmp(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint8_t sig[2];
  c.Read(sig, 2);
  if (c.Short()) return Truncated();
  if (sig[0] == 0x28 && sig[1] == 0) return ReadDib(src, 0, 0, false, opt, out);
  uint64_t base = 0;
  if (sig[0] == 'B' && sig[1] == 'A') { // OS/2 bitmap array: take the first bitmap
    base = 14;
    c.Seek(base);
    c.Read(sig, 2);
    if (c.Short()) return Truncated();
  }
  if (sig[0] == 'B' && sig[1] == 'M') {
    c.U32LE();
    c.U32LE();
    uint32_t offBits = c.U32LE();
    if (c.Short()) return Truncated();
    if (offBits >= src.Size() && !opt.headerOnly) return Truncated();
    return ReadDib(src, base + 14, offBits, false, opt, out);
  }
  if ((sig[0] == 'I' && sig[1] == 'C') || (sig[0] == 'P' && sig[1] == 'I') ||
      (sig[0] == 'C' && sig[1] == 'I') || (sig[0] == 'C' && sig[1] == 'P'))
    return Unsupported("OS/2 icons and pointers are not supported");
  return Corrupt("not a bitmap file");
}

} // namespace imagelib::detail
