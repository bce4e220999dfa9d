#include "rc4.h"

namespace pdf {

void Rc4::SetKey(const uint8_t* key, size_t keyLength) {
  static const uint8_t kZero = 0;
  if (keyLength == 0) {
    key = &kZero;
    keyLength = 1;
  }
  if (keyLength > 256) keyLength = 256;
  for (int k = 0; k < 256; ++k)
    s_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + s_[k] + key[static_cast<size_t>(k) % keyLength]);
    uint8_t t = s_[k];
    s_[k] = s_[j];
    s_[j] = t;
  }
  i_ = j_ = 0;
}

void Rc4::Process(uint8_t* data, size_t n) {
  uint8_t i = i_, j = j_;
  for (size_t k = 0; k < n; ++k) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + s_[i]);
    uint8_t t = s_[i];
    s_[i] = s_[j];
    s_[j] = t;
    data[k] ^= s_[static_cast<uint8_t>(s_[i] + s_[j])];
  }
  i_ = i;
  j_ = j;
}

void Rc4::Crypt(const uint8_t* key, size_t keyLength, uint8_t* data, size_t n) {
  Rc4 r(key, keyLength);
  r.Process(data, n);
}

} // namespace pdf
