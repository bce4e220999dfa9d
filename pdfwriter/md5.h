// MD5 message digest (RFC 1321), used for file identifiers and the security handler's keys.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pdf {

class Md5 {
public:
  Md5();
  void Update(const void* data, size_t n);
  void Final(uint8_t digest[16]); // the object must be reset before reuse
  void Reset();

  static void Digest(const void* data, size_t n, uint8_t digest[16]);

private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[4];
  uint64_t bytes_;
  uint8_t buffer_[64];
};

} // namespace pdf
