// The standard security handler with RC4: revision 2 (40-bit keys) and revision 3 (up to
// 128-bit keys). New documents get O, U and a key from their passwords; existing documents
// are opened by authenticating a password against their O and U values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rc4.h"
#include "writer.h"

namespace pdf {

struct InfoTexts;

// The 32-byte password padding string.
extern const uint8_t kPasswordPadding[32];

// P from the permission choices of a new document: 1 printing, 2 copying and extraction,
// 4 changing the document. -3904 with no choices, -4 with all three.
int32_t PermissionsFromChoices(int choices);

struct SecurityParams {
  int revision = 0;  // 2 or 3
  int keyLength = 0; // bytes: 5 for revision 2, 5..16 for revision 3
  int32_t permissions = 0;
  uint8_t ownerValue[32] = {};
  uint8_t userValue[32] = {};
  std::vector<uint8_t> fileId; // the first string of the file identifier
};

class StandardSecurity : public Encryptor {
public:
  // A new document. keyLength 5 selects revision 2, 16 revision 3. Passwords longer than
  // 32 bytes are cut.
  static std::unique_ptr<StandardSecurity> Create(int keyLength, int32_t permissions,
                                                  std::string_view ownerPassword,
                                                  std::string_view userPassword,
                                                  const uint8_t fileId[16]);
  // An existing document: the password is tried as the open password, then as the
  // permissions password. Null when it is neither, or when the parameters are unusable.
  static std::unique_ptr<StandardSecurity> Authenticate(const SecurityParams& params,
                                                        std::string_view password);

  void SelectObjectKey(int objectNumber, int generation) override;
  void EncryptBytes(uint8_t* data, size_t n) override;
  // Encrypts or decrypts one string or stream of object (n, g) with a fresh key stream.
  void CryptObjectData(int objectNumber, int generation, uint8_t* data, size_t n);

  const SecurityParams& params() const { return params_; }
  const uint8_t* key() const { return key_; }

  // Writes the encryption dictionary as a new object of w; returns its number.
  int WriteDictionary(Writer& w) const;

private:
  StandardSecurity() = default;

  SecurityParams params_;
  uint8_t key_[16] = {};
  Rc4 rc4_;
};

// The identifier of an encrypted new file: a digest of the Info texts set so far and of
// what makes this run unique (the file-id test hook, when set, replaces it).
void ComputeSecurityFileId(const InfoTexts& info, const void* document, uint8_t id[16]);

// Algorithms shared by both directions, exposed for tests.
namespace security_detail {
void ComputeKey(const SecurityParams& p, std::string_view userPassword, uint8_t key[16]);
void ComputeOwnerValue(int revision, int keyLength, std::string_view ownerPassword,
                       std::string_view userPassword, uint8_t out[32]);
void ComputeUserValue(const SecurityParams& p, const uint8_t* key, uint8_t out[32]);
} // namespace security_detail

} // namespace pdf
