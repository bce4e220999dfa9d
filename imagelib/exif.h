// The orientation entry of an Exif block (the data of a JPEG APP1 segment), shared by the
// decoder and the pass-through header walk. Header-only: it needs no library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace imagelib {

// 1..8 from tag 0x0112 of the first image directory; 1 when the block holds none.
inline int ExifOrientation(const uint8_t* p, size_t n) {
  if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return 1;
  p += 6, n -= 6;
  bool le = p[0] == 'I' && p[1] == 'I';
  if (!le && !(p[0] == 'M' && p[1] == 'M')) return 1;
  auto u16 = [&](size_t at) -> uint32_t {
    return le ? p[at] | (p[at + 1] << 8) : (p[at] << 8) | p[at + 1];
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return le ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
  };
  if (u16(2) != 42) return 1;
  uint64_t ifd = u32(4);
  if (ifd + 2 > n) return 1;
  uint32_t count = u16(static_cast<size_t>(ifd));
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t e = ifd + 2 + 12ull * i;
    if (e + 12 > n) break;
    if (u16(static_cast<size_t>(e)) != 0x0112 || u16(static_cast<size_t>(e + 2)) != 3) continue;
    uint32_t v = u16(static_cast<size_t>(e + 8));
    return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
  }
  return 1;
}

} // namespace imagelib
