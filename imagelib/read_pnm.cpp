// Portable anymap files P1 to P6 (bitmap, greymap and pixmap, text and binary forms).
#include <cctype>
#include <string>
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

// PAM (P7): a header of "KEY value" lines up to ENDHDR, then binary rows of DEPTH samples.
Result ReadPam(Cursor& c, const LoadOptions& opt, Image& out) {
  int64_t w = -1, h = -1, depth = -1, maxval = -1;
  std::string tuple;
  for (int lines = 0;; ++lines) {
    if (lines > 1000) return Corrupt("corrupt PAM header");
    std::string line;
    for (int ch = c.U8(); !c.Short() && ch != '\n'; ch = c.U8())
      if (line.size() < 256) line.push_back(static_cast<char>(ch));
    if (c.Short()) return Truncated();
    size_t at = line.find_first_not_of(" \t\r");
    if (at == std::string::npos || line[at] == '#') continue;
    size_t end = line.find_first_of(" \t\r", at);
    std::string key = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (key == "ENDHDR") break;
    std::string value;
    if (end != std::string::npos) {
      size_t v = line.find_first_not_of(" \t\r", end);
      if (v != std::string::npos) value = line.substr(v, line.find_last_not_of(" \t\r") + 1 - v);
    }
    if (key == "TUPLTYPE") {
      tuple = value;
      continue;
    }
    int64_t n = 0;
    if (value.empty() || value.size() > 10 ||
        value.find_first_not_of("0123456789") != std::string::npos)
      return Corrupt("corrupt PAM header");
    for (char d : value)
      n = n * 10 + (d - '0');
    if (n > 0x7fffffff) return Result::Fail(Status::kTooLarge, "image too large");
    if (key == "WIDTH")
      w = n;
    else if (key == "HEIGHT")
      h = n;
    else if (key == "DEPTH")
      depth = n;
    else if (key == "MAXVAL")
      maxval = n;
  }
  if (w <= 0 || h <= 0) return Corrupt("invalid image size");
  if (maxval < 1 || maxval > 65535) return Corrupt("invalid PNM maximum value");
  if (depth < 1 || depth > 4) return Unsupported("unsupported PAM depth " + std::to_string(depth));
  const bool bitonal = depth == 1 && maxval == 1 && tuple.rfind("BLACKANDWHITE", 0) == 0;
  const int bpp = bitonal ? 1 : depth <= 2 ? 8 : 24;
  const bool alpha = depth == 2 || depth == 4;
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(h), bpp, alpha, true, opt.limits);
  if (!r) return r;
  if (opt.headerOnly) return Result::Ok();
  r = CheckLimits(static_cast<int>(w), static_cast<int>(h), bpp, alpha, opt.limits);
  if (!r) return r;
  const int sampleBytes = maxval > 255 ? 2 : 1;
  const uint64_t rowBytes = static_cast<uint64_t>(w) * depth * sampleBytes;
  if (rowBytes * h > c.Remaining()) return Truncated();
  r = out.Allocate(static_cast<int>(w), static_cast<int>(h), bpp, alpha, false, opt.limits);
  if (!r) return r;
  if (bitonal) out.MutablePalette() = {Rgb{0, 0, 0}, Rgb{255, 255, 255}}; // 1 is white
  std::vector<uint8_t> line(static_cast<size_t>(rowBytes));
  const int W = static_cast<int>(w);
  for (int y = 0; y < h; ++y) {
    if (!c.Read(line.data(), line.size())) return Truncated();
    uint8_t* d = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    for (int x = 0; x < W; ++x)
      for (int k = 0; k < depth; ++k) {
        size_t i = (static_cast<size_t>(x) * depth + k) * sampleBytes;
        int64_t v = sampleBytes == 2 ? (line[i] << 8) | line[i + 1] : line[i];
        if (v > maxval) v = maxval;
        uint8_t s = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
        if (bitonal)
          SetIndex(d, x, 1, v ? 1 : 0);
        else if (alpha && k == depth - 1)
          a[x] = s;
        else if (bpp == 8)
          d[x] = s;
        else
          d[3 * x + k] = s;
      }
  }
  return Result::Ok();
}

} // namespace

Result ReadPnm(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  uint8_t m[2];
  c.Read(m, 2);
  if (c.Short()) return Truncated();
  if (m[0] == 'P' && m[1] == '7' && c.U8() == '\n') return ReadPam(c, opt, out);
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
