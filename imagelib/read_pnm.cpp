// Portable anymap files P1 to P6 (bitmap, greymap and pixmap, text and binary forms).
#include <cctype>
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {

// Reads a decimal header number after whitespace and comments; -1 when there is none.
int64_t HeaderNumber(Cursor& c) {
  int ch = c.U8();
  while (!c.Short()) {
    if (ch == '#') {
      while (!c.Short() && ch != '\n' && ch != '\r')
        ch = c.U8();
    } else if (std::isspace(ch)) {
      ch = c.U8();
    } else {
      break;
    }
  }
  if (c.Short() || !std::isdigit(ch)) return -1;
  int64_t v = 0;
  while (!c.Short() && std::isdigit(ch)) {
    v = v * 10 + (ch - '0');
    if (v > 0x7fffffff) return -2;
    ch = c.U8();
  }
  // The single whitespace after the last header number ends the header; the cursor is past it.
  if (!c.Short() && !std::isspace(ch)) return -1;
  return v;
}

int64_t TextSample(Cursor& c, bool bit) {
  int ch = c.U8();
  while (!c.Short() && (std::isspace(ch) || ch == '#')) {
    if (ch == '#')
      while (!c.Short() && ch != '\n')
        ch = c.U8();
    ch = c.U8();
  }
  if (c.Short() || !std::isdigit(ch)) return -1;
  if (bit) return ch - '0';
  int64_t v = 0;
  while (std::isdigit(ch)) {
    v = v * 10 + (ch - '0');
    if (v > 65535) return -1;
    ch = c.U8();
    if (c.Short()) break;
  }
  return v;
}

} // namespace

Result ReadPnm(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint8_t m[2];
  c.Read(m, 2);
  if (c.Short()) return Truncated();
  if (m[0] != 'P' || m[1] < '1' || m[1] > '6') {
    if (m[0] == 'P' && std::isdigit(m[1]))
      return Unsupported("unsupported PNM variant P" + std::string(1, static_cast<char>(m[1])));
    return Corrupt("not a PNM file");
  }
  int kind = m[1] - '0';
  bool bitmap = kind == 1 || kind == 4, text = kind <= 3;
  int64_t w = HeaderNumber(c), h = w >= 0 ? HeaderNumber(c) : -1;
  int64_t maxval = 1;
  if (!bitmap && h >= 0) maxval = HeaderNumber(c);
  if (w == -2 || h == -2) return Result::Fail(Status::kTooLarge, "image too large");
  if (w < 0 || h < 0 || maxval < 0) return c.Short() ? Truncated() : Corrupt("corrupt PNM header");
  if (w == 0 || h == 0) return Corrupt("invalid image size");
  if (maxval == 0 || maxval > 65535) return Corrupt("invalid PNM maximum value");
  int channels = (kind == 3 || kind == 6) ? 3 : 1;
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(h),
                          bitmap          ? 1
                          : channels == 3 ? 24
                                          : 8,
                          false, true, opt.limits);
  if (!r) return r;
  if (bitmap) out.MutablePalette() = {Rgb{255, 255, 255}, Rgb{0, 0, 0}}; // 1 is black
  if (opt.headerOnly) return Result::Ok();

  // The data must at least be there before pixels are allocated.
  r = CheckLimits(static_cast<int>(w), static_cast<int>(h),
                  bitmap          ? 1
                  : channels == 3 ? 24
                                  : 8,
                  false, opt.limits);
  if (!r) return r;
  uint64_t samples = static_cast<uint64_t>(w) * h * channels;
  int sampleBytes = maxval > 255 ? 2 : 1;
  uint64_t need = text     ? (bitmap ? samples : 2 * samples - 1)
                  : bitmap ? static_cast<uint64_t>((w + 7) / 8) * h
                           : samples * sampleBytes;
  if (need > c.Remaining()) return Truncated();
  std::vector<Rgb> pal = out.Palette();
  r = out.Allocate(static_cast<int>(w), static_cast<int>(h),
                   bitmap          ? 1
                   : channels == 3 ? 24
                                   : 8,
                   false, false, opt.limits);
  if (!r) return r;
  if (bitmap) out.MutablePalette() = pal;
  const int W = static_cast<int>(w), H = static_cast<int>(h);
  std::vector<uint8_t> line;
  if (kind == 4) {
    line.resize(static_cast<size_t>((w + 7) / 8));
    for (int y = 0; y < H; ++y) {
      c.Read(line.data(), line.size());
      std::copy(line.begin(), line.end(), out.Row(y));
    }
    return c.Short() ? Truncated() : Result::Ok();
  }
  auto scale = [&](int64_t v) -> uint8_t {
    if (v > maxval) v = maxval;
    return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
  };
  if (!text) line.resize(static_cast<size_t>(W) * channels * sampleBytes);
  for (int y = 0; y < H; ++y) {
    uint8_t* d = out.Row(y);
    if (!text) {
      if (!c.Read(line.data(), line.size())) return Truncated();
      for (int i = 0; i < W * channels; ++i) {
        int64_t v = sampleBytes == 2 ? (line[2 * i] << 8) | line[2 * i + 1] : line[i];
        d[i] = scale(v);
      }
      continue;
    }
    for (int i = 0; i < W * channels; ++i) {
      int64_t v = TextSample(c, bitmap);
      if (v < 0) return c.Short() ? Truncated() : Corrupt("corrupt PNM data");
      if (bitmap)
        SetIndex(d, i, 1, v ? 1 : 0);
      else
        d[i] = scale(v);
    }
  }
  return Result::Ok();
}

} // namespace imagelib::detail
