#include "security.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "assembly.h"
#include "clock.h"
#include "md5.h"

namespace pdf {

const uint8_t kPasswordPadding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

namespace {

// Entries of the encryption dictionary.
constexpr char kEncryptEntries[] = "/Filter /Standard /V %d /Length %d /R %d /P %d ";

void Pad(std::string_view password, uint8_t out[32]) {
  size_t n = std::min<size_t>(password.size(), 32);
  std::memcpy(out, password.data(), n);
  std::memcpy(out + n, kPasswordPadding, 32 - n);
}

// RC4 with key, then for revision 3 nineteen more passes with the key XORed with 1..19.
void IteratedEncrypt(int revision, const uint8_t* key, int keyLength, uint8_t* data, size_t n) {
  Rc4::Crypt(key, static_cast<size_t>(keyLength), data, n);
  if (revision < 3) return;
  uint8_t k[16];
  for (int i = 1; i <= 19; ++i) {
    for (int b = 0; b < keyLength; ++b)
      k[b] = static_cast<uint8_t>(key[b] ^ i);
    Rc4::Crypt(k, static_cast<size_t>(keyLength), data, n);
  }
}

void IteratedDecrypt(int revision, const uint8_t* key, int keyLength, uint8_t* data, size_t n) {
  if (revision < 3) {
    Rc4::Crypt(key, static_cast<size_t>(keyLength), data, n);
    return;
  }
  uint8_t k[16];
  for (int i = 19; i >= 0; --i) {
    for (int b = 0; b < keyLength; ++b)
      k[b] = static_cast<uint8_t>(key[b] ^ i);
    Rc4::Crypt(k, static_cast<size_t>(keyLength), data, n);
  }
}

// The RC4 key that encrypts the O value, from the owner password.
void OwnerKey(int revision, int keyLength, std::string_view ownerPassword, uint8_t key[16]) {
  uint8_t padded[32];
  Pad(ownerPassword, padded);
  Md5::Digest(padded, 32, key);
  if (revision >= 3)
    for (int i = 0; i < 50; ++i)
      Md5::Digest(key, 16, key);
  (void)keyLength;
}

bool Usable(const SecurityParams& p) {
  if (p.revision == 2) return p.keyLength == 5;
  if (p.revision == 3) return p.keyLength >= 5 && p.keyLength <= 16;
  return false;
}

} // namespace

namespace security_detail {

void ComputeKey(const SecurityParams& p, std::string_view userPassword, uint8_t key[16]) {
  uint8_t padded[32];
  Pad(userPassword, padded);
  Md5 md5;
  md5.Update(padded, 32);
  md5.Update(p.ownerValue, 32);
  uint8_t pb[4];
  for (int i = 0; i < 4; ++i)
    pb[i] = static_cast<uint8_t>(static_cast<uint32_t>(p.permissions) >> (8 * i));
  md5.Update(pb, 4);
  md5.Update(p.fileId.data(), p.fileId.size());
  uint8_t digest[16];
  md5.Final(digest);
  size_t n = static_cast<size_t>(p.keyLength);
  if (p.revision >= 3)
    for (int i = 0; i < 50; ++i)
      Md5::Digest(digest, n, digest);
  std::memset(key, 0, 16);
  std::memcpy(key, digest, n);
}

void ComputeOwnerValue(int revision, int keyLength, std::string_view ownerPassword,
                       std::string_view userPassword, uint8_t out[32]) {
  uint8_t key[16];
  OwnerKey(revision, keyLength, ownerPassword.empty() ? userPassword : ownerPassword, key);
  Pad(userPassword, out);
  IteratedEncrypt(revision, key, keyLength, out, 32);
}

void ComputeUserValue(const SecurityParams& p, const uint8_t* key, uint8_t out[32]) {
  if (p.revision < 3) {
    std::memcpy(out, kPasswordPadding, 32);
    Rc4::Crypt(key, static_cast<size_t>(p.keyLength), out, 32);
    return;
  }
  Md5 md5;
  md5.Update(kPasswordPadding, 32);
  md5.Update(p.fileId.data(), p.fileId.size());
  uint8_t digest[16];
  md5.Final(digest);
  IteratedEncrypt(p.revision, key, p.keyLength, digest, 16);
  std::memcpy(out, digest, 16);
  std::memset(out + 16, 0, 16);
}

} // namespace security_detail

int32_t PermissionsFromChoices(int choices) {
  uint32_t bits = 0;
  auto set = [&bits](int bit) { bits |= 1u << (bit - 1); };
  if (choices & 1) set(3), set(12);
  if (choices & 2) set(5), set(10);
  if (choices & 4) set(4), set(6), set(9), set(11);
  bits &= ~3u;
  return static_cast<int32_t>(bits | 0xFFFFF0C0u);
}

std::unique_ptr<StandardSecurity> StandardSecurity::Create(int keyLength, int32_t permissions,
                                                           std::string_view ownerPassword,
                                                           std::string_view userPassword,
                                                           const uint8_t fileId[16]) {
  std::unique_ptr<StandardSecurity> s(new StandardSecurity);
  SecurityParams& p = s->params_;
  p.keyLength = keyLength == 5 ? 5 : 16;
  p.revision = p.keyLength == 5 ? 2 : 3;
  p.permissions = permissions;
  p.fileId.assign(fileId, fileId + 16);
  if (ownerPassword.size() > 32) ownerPassword = ownerPassword.substr(0, 32);
  if (userPassword.size() > 32) userPassword = userPassword.substr(0, 32);
  security_detail::ComputeOwnerValue(p.revision, p.keyLength, ownerPassword, userPassword,
                                     p.ownerValue);
  security_detail::ComputeKey(p, userPassword, s->key_);
  security_detail::ComputeUserValue(p, s->key_, p.userValue);
  return s;
}

std::unique_ptr<StandardSecurity> StandardSecurity::Authenticate(const SecurityParams& params,
                                                                 std::string_view password) {
  if (!Usable(params)) return nullptr;
  if (password.size() > 32) password = password.substr(0, 32);
  // Revision 3 compares only the first 16 bytes; the rest of U is arbitrary.
  size_t compared = params.revision >= 3 ? 16 : 32;
  auto tryUser = [&](std::string_view user) -> std::unique_ptr<StandardSecurity> {
    std::unique_ptr<StandardSecurity> s(new StandardSecurity);
    s->params_ = params;
    security_detail::ComputeKey(params, user, s->key_);
    uint8_t u[32];
    security_detail::ComputeUserValue(params, s->key_, u);
    if (std::memcmp(u, params.userValue, compared) != 0) return nullptr;
    return s;
  };
  if (auto s = tryUser(password)) return s;
  // As the permissions password: it decrypts O into the padded open password.
  uint8_t key[16];
  OwnerKey(params.revision, params.keyLength, password, key);
  uint8_t user[32];
  std::memcpy(user, params.ownerValue, 32);
  IteratedDecrypt(params.revision, key, params.keyLength, user, 32);
  return tryUser(std::string_view(reinterpret_cast<const char*>(user), 32));
}

void StandardSecurity::SelectObjectKey(int objectNumber, int generation) {
  uint8_t data[16 + 5];
  size_t n = static_cast<size_t>(params_.keyLength);
  std::memcpy(data, key_, n);
  auto on = static_cast<uint32_t>(objectNumber);
  auto gn = static_cast<uint32_t>(generation);
  data[n] = static_cast<uint8_t>(on);
  data[n + 1] = static_cast<uint8_t>(on >> 8);
  data[n + 2] = static_cast<uint8_t>(on >> 16);
  data[n + 3] = static_cast<uint8_t>(gn);
  data[n + 4] = static_cast<uint8_t>(gn >> 8);
  uint8_t digest[16];
  Md5::Digest(data, n + 5, digest);
  rc4_.SetKey(digest, std::min<size_t>(n + 5, 16));
}

void StandardSecurity::EncryptBytes(uint8_t* data, size_t n) {
  rc4_.Process(data, n);
}

void StandardSecurity::CryptObjectData(int objectNumber, int generation, uint8_t* data, size_t n) {
  SelectObjectKey(objectNumber, generation);
  rc4_.Process(data, n);
}

int StandardSecurity::WriteDictionary(Writer& w) const {
  int n = w.BeginObject(0);
  w.WriteText(" <<");
  w.WriteFormatted(kEncryptEntries, {params_.revision >= 3 ? 2 : 1, params_.keyLength * 8,
                                     params_.revision, params_.permissions});
  w.WriteText("/O <");
  w.WriteHex(params_.ownerValue, 32);
  w.WriteText("> /U <");
  w.WriteHex(params_.userValue, 32);
  w.WriteText("> >> endobj ");
  return n;
}

void ComputeSecurityFileId(const InfoTexts& info, const void* document, uint8_t id[16]) {
  if (const uint8_t* fixed = FileIdForTesting()) {
    std::memcpy(id, fixed, 16);
    return;
  }
  Md5 md5;
  for (const std::string& t : info.texts)
    md5.Update(t.data(), t.size());
  struct {
    long long nanos;
    long pid;
    const void* record;
    unsigned random;
  } unique{std::chrono::high_resolution_clock::now().time_since_epoch().count(),
           static_cast<long>(getpid()), document, std::random_device{}()};
  md5.Update(&unique, sizeof unique);
  md5.Final(id);
}

} // namespace pdf
