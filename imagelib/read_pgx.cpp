// PGX: one greyscale component of a JPEG 2000 test image, "PG ML|LM [+|-] depth width height".
#include <cctype>
#include <string>
#include <vector>

#include "imagelib/readers.h"

namespace imagelib::detail {

Result ReadPgx(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  std::string header;
  for (int i = 0; i < 256; ++i) {
    int ch = c.U8();
    if (c.Short()) return src.Size() >= 2 ? Truncated() : Corrupt("not a PGX file");
    if (ch == '\n') break;
    header.push_back(static_cast<char>(ch));
  }
  if (header.size() < 2 || header[0] != 'P' || header[1] != 'G') return Corrupt("not a PGX file");
  size_t at = 2;
  auto skipSpace = [&] {
    while (at < header.size() && (header[at] == ' ' || header[at] == '\t' || header[at] == '\r'))
      ++at;
  };
  skipSpace();
  if (at + 2 > header.size()) return Corrupt("corrupt PGX header");
  bool bigEndian;
  if (header.compare(at, 2, "ML") == 0)
    bigEndian = true;
  else if (header.compare(at, 2, "LM") == 0)
    bigEndian = false;
  else
    return Corrupt("corrupt PGX header");
  at += 2;
  skipSpace();
  bool isSigned = false;
  if (at < header.size() && (header[at] == '+' || header[at] == '-')) {
    isSigned = header[at] == '-';
    ++at;
  }
  int64_t nums[3];
  for (int64_t& n : nums) {
    skipSpace();
    if (at >= header.size() || !std::isdigit(static_cast<unsigned char>(header[at])))
      return Corrupt("corrupt PGX header");
    n = 0;
    while (at < header.size() && std::isdigit(static_cast<unsigned char>(header[at]))) {
      n = n * 10 + (header[at++] - '0');
      if (n > 0x7fffffff) return Result::Fail(Status::kTooLarge, "image too large");
    }
  }
  int64_t depth = nums[0], w = nums[1], h = nums[2];
  if (depth < 1 || depth > 32) return Unsupported("unsupported bit depth " + std::to_string(depth));
  if (w == 0 || h == 0) return Corrupt("invalid image size");
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(h), 8, false, true, opt.limits);
  if (!r) return r;
  if (opt.headerOnly) return Result::Ok();
  r = CheckLimits(static_cast<int>(w), static_cast<int>(h), 8, false, opt.limits);
  if (!r) return r;
  int sb = depth <= 8 ? 1 : depth <= 16 ? 2 : 4;
  if (static_cast<uint64_t>(w) * h * sb > c.Remaining()) return Truncated();
  r = out.Allocate(static_cast<int>(w), static_cast<int>(h), 8, false, false, opt.limits);
  if (!r) return r;
  std::vector<uint8_t> line(static_cast<size_t>(w) * sb);
  for (int y = 0; y < h; ++y) {
    if (!c.Read(line.data(), line.size())) return Truncated();
    uint8_t* d = out.Row(y);
    for (int x = 0; x < w; ++x) {
      uint64_t v = 0;
      for (int k = 0; k < sb; ++k) {
        int b = line[static_cast<size_t>(x) * sb + (bigEndian ? k : sb - 1 - k)];
        v = (v << 8) | static_cast<uint64_t>(b);
      }
      int64_t s = static_cast<int64_t>(v & ((depth == 32) ? 0xFFFFFFFFull : ((1ull << depth) - 1)));
      if (isSigned) {
        int64_t half = int64_t{1} << (depth - 1);
        if (s >= half) s -= 2 * half; // two's complement
        s += half;
      }
      d[x] = static_cast<uint8_t>(depth > 8 ? s >> (depth - 8)
                                            : (s * 255) / ((int64_t{1} << depth) - 1));
    }
  }
  return Result::Ok();
}

} // namespace imagelib::detail
