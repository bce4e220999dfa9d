// Known-answer tests of our own MD5 and RC4 against published vectors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdfwriter/md5.h"
#include "pdfwriter/rc4.h"

namespace {

std::string Hex(const uint8_t* b, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  return s;
}

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    v.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return v;
}

struct Md5Case {
  std::string message, digest;
};

class Md5Vectors : public ::testing::TestWithParam<Md5Case> {};

// RFC 1321, appendix A.5.
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5Vectors,
    ::testing::Values(
        Md5Case{"", "d41d8cd98f00b204e9800998ecf8427e"},
        Md5Case{"a", "0cc175b9c0f1b6a831c399e269772661"},
        Md5Case{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        Md5Case{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Md5Case{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Md5Case{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                "d174ab98d277d9f5a5611c2c9f419d9f"},
        Md5Case{"1234567890123456789012345678901234567890123456789012345678901234567890123456"
                "7890",
                "57edf4a22be3c955ac49da2e2107b67a"}));

TEST_P(Md5Vectors, OneShotAndPiecewiseAgree) {
  const Md5Case& c = GetParam();
  uint8_t d[16];
  pdf::Md5::Digest(c.message.data(), c.message.size(), d);
  EXPECT_EQ(Hex(d, 16), c.digest);
  // Fed in uneven pieces that straddle the 64-byte blocks.
  pdf::Md5 m;
  for (size_t i = 0; i < c.message.size(); i += 7)
    m.Update(c.message.data() + i, std::min<size_t>(7, c.message.size() - i));
  m.Final(d);
  EXPECT_EQ(Hex(d, 16), c.digest);
}

struct Rc4Case {
  std::string key;
  size_t offset;
  std::string stream; // 16 key-stream bytes at offset
};

class Rc4Vectors : public ::testing::TestWithParam<Rc4Case> {};

// RFC 6229 test vectors: 40-bit and 128-bit keys, at the start and deeper into the stream.
INSTANTIATE_TEST_SUITE_P(
    Rfc6229, Rc4Vectors,
    ::testing::Values(
        Rc4Case{"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        Rc4Case{"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
        Rc4Case{"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        Rc4Case{"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
        Rc4Case{"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        Rc4Case{"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
        Rc4Case{"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
        Rc4Case{"ebb46227c6cc8b37641910833222772a", 0, "720c94b63edf44e131d950ca211a5a30"}));

TEST_P(Rc4Vectors, KeyStreamMatches) {
  const Rc4Case& c = GetParam();
  std::vector<uint8_t> key = Bytes(c.key);
  std::vector<uint8_t> data(c.offset + 16, 0);
  pdf::Rc4 rc4(key.data(), key.size());
  // Uneven pieces: the cipher state must carry across calls.
  size_t done = 0, step = 1;
  while (done < data.size()) {
    size_t n = std::min(step, data.size() - done);
    rc4.Process(data.data() + done, n);
    done += n;
    step = step * 2 + 1;
  }
  EXPECT_EQ(Hex(data.data() + c.offset, 16), c.stream);
}

TEST(Rc4, DecryptsWhatItEncrypted) {
  const uint8_t key[5] = {1, 2, 3, 4, 5};
  std::string plain = "Plain text (with parentheses) and bytes \x01\xFF";
  std::string s = plain;
  pdf::Rc4::Crypt(key, 5, reinterpret_cast<uint8_t*>(s.data()), s.size());
  EXPECT_NE(s, plain);
  pdf::Rc4::Crypt(key, 5, reinterpret_cast<uint8_t*>(s.data()), s.size());
  EXPECT_EQ(s, plain);
}

} // namespace
