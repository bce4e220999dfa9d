#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pdfwriter/md5.h"

namespace {

std::string Hex(const uint8_t d[16]) {
  char out[33];
  for (int i = 0; i < 16; ++i)
    std::snprintf(out + 2 * i, 3, "%02x", d[i]);
  return out;
}

// The test suite of RFC 1321.
TEST(Md5, KnownAnswers) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, expected] : cases) {
    uint8_t d[16];
    pdf::Md5::Digest(input, std::string(input).size(), d);
    EXPECT_EQ(Hex(d), expected) << '"' << input << '"';
  }
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
  std::string text(1000, 'x');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char>(i * 7);
  uint8_t whole[16], parts[16];
  pdf::Md5::Digest(text.data(), text.size(), whole);
  pdf::Md5 m;
  for (size_t pos = 0, step = 1; pos < text.size(); pos += step, step = step * 2 % 97 + 1)
    m.Update(text.data() + pos, std::min(step, text.size() - pos));
  m.Final(parts);
  EXPECT_EQ(Hex(whole), Hex(parts));
}

} // namespace
