#include "md5.h"

#include <cstring>

namespace pdf {
namespace {

constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t Rotl(uint32_t x, int c) {
  return (x << c) | (x >> (32 - c));
}

} // namespace

Md5::Md5() {
  Reset();
}

void Md5::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  bytes_ = 0;
}

void Md5::Transform(const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 |
           uint32_t(block[i * 4 + 2]) << 16 | uint32_t(block[i * 4 + 3]) << 24;
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t tmp = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kT[i] + m[g], kShift[i]);
    a = tmp;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const void* data, size_t n) {
  if (n == 0) return; // data may then be null, which memcpy must never see
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t have = static_cast<size_t>(bytes_ % 64);
  bytes_ += n;
  if (have) {
    size_t take = 64 - have < n ? 64 - have : n;
    std::memcpy(buffer_ + have, p, take);
    p += take;
    n -= take;
    if (have + take < 64) return;
    Transform(buffer_);
  }
  while (n >= 64) {
    Transform(p);
    p += 64;
    n -= 64;
  }
  if (n) std::memcpy(buffer_, p, n);
}

void Md5::Final(uint8_t digest[16]) {
  uint64_t bits = bytes_ * 8;
  static const uint8_t pad[64] = {0x80};
  size_t have = static_cast<size_t>(bytes_ % 64);
  size_t padLen = have < 56 ? 56 - have : 120 - have;
  Update(pad, padLen);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i)
    len[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(len, 8);
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k)
      digest[i * 4 + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
}

void Md5::Digest(const void* data, size_t n, uint8_t digest[16]) {
  Md5 m;
  m.Update(data, n);
  m.Final(digest);
}

} // namespace pdf
