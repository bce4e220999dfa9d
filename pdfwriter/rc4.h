// RC4 stream cipher, the cipher of the standard security handler's RC4 variants.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pdf {

class Rc4 {
public:
  Rc4() = default;
  Rc4(const uint8_t* key, size_t keyLength) { SetKey(key, keyLength); }
  // Keys are 1 to 256 bytes; a key of length 0 is treated as one zero byte.
  void SetKey(const uint8_t* key, size_t keyLength);
  // XORs the next n bytes of the key stream into data (encrypts and decrypts alike).
  void Process(uint8_t* data, size_t n);
  // One-shot over a copy of the key.
  static void Crypt(const uint8_t* key, size_t keyLength, uint8_t* data, size_t n);

private:
  uint8_t s_[256] = {};
  uint8_t i_ = 0, j_ = 0;
};

} // namespace pdf
