// Password security end to end: files we encrypt must open in independent readers with the
// right password only, report the revision, key length and permissions asked for, and
// decrypt to the texts we put in.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "pdfwriter/security.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::Quote;
using testsupport::ReadFile;

struct SecurityCase {
  const char* name;
  int keyBits; // option 105 intA
  int choices;
  const char* owner;
  const char* user;
  int revision;
  int lengthBits;
  int permissions;
};

void PrintTo(const SecurityCase& c, std::ostream* os) {
  *os << c.name;
}

class EncryptedFile : public ::testing::TestWithParam<SecurityCase> {
protected:
  // Two titled pages and Info texts with bytes that need escaping.
  std::string Make(const SecurityCase& c) {
    std::string path = dir_.file(std::string(c.name) + ".pdf");
    int h = EngineCreate(path.c_str());
    EXPECT_NE(h, 0);
    EXPECT_EQ(EngineSetInfo(h, kTitle, "Subject (x)", "Author \\ A", nullptr, nullptr), 1);
    EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, c.keyBits, c.choices, c.owner, c.user), 1);
    for (const char* title : {"First (page)", "Second \\ page"}) {
      EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr), 1);
      EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, title, nullptr), 1);
    }
    EXPECT_EQ(EngineClose(h), 1);
    return path;
  }
  static constexpr const char* kTitle = "Secret (title) \\ 1";
  testsupport::ScratchDir dir_;
};

TEST_P(EncryptedFile, IndependentReadersAgree) {
  const SecurityCase& c = GetParam();
  std::string pdf = Make(c);
  std::string user = c.user ? c.user : "";
  std::string owner = c.owner && *c.owner ? c.owner : user;

  // pikepdf: the handler's parameters and the decrypted texts.
  auto r = Pikepdf(pdf, "p = pikepdf.open(sys.argv[1], password=" + Quote(user) +
                            ")\n"
                            "e = p.encryption\n"
                            "print('R', e.R, 'bits', e.bits, 'P', e.P)\n"
                            "print('title', repr(str(p.docinfo.Title)))\n"
                            "print('subject', repr(str(p.docinfo.Subject)))\n"
                            "with p.open_outline() as o:\n"
                            "    print('outline', [str(x.title) for x in o.root])\n"
                            "print('pages', len(p.pages))");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("R " + std::to_string(c.revision) + " bits " + std::to_string(c.lengthBits) +
                       " P " + std::to_string(c.permissions)),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("title 'Secret (title) \\\\ 1'"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("subject 'Subject (x)'"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("outline ['First (page)', 'Second \\\\ page']"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("pages 2"), std::string::npos) << r.out;

  // qpdf: the revision and P, and every stream decrypts and inflates cleanly.
  auto shown =
      testsupport::Run("qpdf --show-encryption --password=" + Quote(user) + " " + Quote(pdf));
  EXPECT_NE(shown.out.find("R = " + std::to_string(c.revision)), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("P = " + std::to_string(c.permissions)), std::string::npos) << shown.out;
  auto check = testsupport::Run("qpdf --check --password=" + Quote(user) + " " + Quote(pdf));
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out.find("WARNING"), std::string::npos) << check.out;

  // poppler with the open password, with the permissions password, and without one.
  auto info = testsupport::Run("pdfinfo -upw " + Quote(user) + " " + Quote(pdf));
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("Secret (title)"), std::string::npos) << info.out;
  EXPECT_EQ(testsupport::Run("pdftotext -opw " + Quote(owner) + " " + Quote(pdf) + " -").status, 0);
  auto bare = testsupport::Run("pdfinfo " + Quote(pdf));
  EXPECT_EQ(bare.status == 0, user.empty()) << bare.out;

  // A wrong password opens nothing, unless no password is needed at all.
  if (!user.empty()) {
    EXPECT_NE(testsupport::Run("pdftotext -upw wrong " + Quote(pdf) + " -").status, 0);
    auto wrong = Pikepdf(pdf, "pikepdf.open(sys.argv[1], password='wrong')");
    EXPECT_NE(wrong.status, 0) << wrong.out;
    EXPECT_NE(testsupport::Run("qpdf --check --password=wrong " + Quote(pdf)).status, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Handler, EncryptedFile,
    ::testing::Values(
        SecurityCase{"all_choices_no_passwords", 128, 7, "", "", 3, 128, -4},
        SecurityCase{"printing_40_open_password_only", 40, 1, "", "u", 2, 40, -1852},
        SecurityCase{"five_means_40_bits_nothing_allowed", 5, 0, "own", "open", 2, 40, -3904},
        SecurityCase{"copying_128_owner_only", 128, 2, "perm", nullptr, 3, 128, -3376},
        SecurityCase{"other_length_means_128_changing", 1, 4, "o", "u", 3, 128, -2584},
        SecurityCase{"long_passwords", 128, 7, "0123456789abcdef0123456789abcdefXYZ",
                     "abcdefghijklmnopqrstuvwxyz012345", 3, 128, -4}),
    [](const ::testing::TestParamInfo<SecurityCase>& i) { return std::string(i.param.name); });

TEST(Security, PasswordsAreCutTo32Characters) {
  testsupport::ScratchDir dir;
  std::string pdf = dir.file("cut.pdf");
  int h = EngineCreate(pdf.c_str());
  ASSERT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, 128, 0, "", std::string(33, 'p').c_str()), 1);
  EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  EngineClose(h);
  // pikepdf passes the password through whole; the 32-character one must open the file.
  auto r = Pikepdf(pdf, "pikepdf.open(sys.argv[1], password='" + std::string(32, 'p') + "')");
  EXPECT_EQ(r.status, 0) << r.out;
  auto wrong = Pikepdf(pdf, "pikepdf.open(sys.argv[1], password='" + std::string(31, 'p') + "')");
  EXPECT_NE(wrong.status, 0);
}

TEST(Security, StringsAreWrittenInTheirEncryptedForms) {
  testsupport::ScratchDir dir;
  std::string pdf = dir.file("forms.pdf");
  int h = EngineCreate(pdf.c_str());
  EngineSetInfo(h, "Visible Title", nullptr, nullptr, nullptr, nullptr);
  EngineSetOption(h, ENGINE_OPT_SECURITY, 40, 7, "", "");
  EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, "Visible Mark", nullptr);
  EngineClose(h);
  std::string bytes = ReadFile(pdf);
  EXPECT_EQ(bytes.find("Visible"), std::string::npos);
  EXPECT_NE(bytes.find("/Title <"), std::string::npos); // Info: hexadecimal
  EXPECT_NE(bytes.find("/Title ("), std::string::npos); // outline: literal
  EXPECT_NE(bytes.find("/Encrypt "), std::string::npos);
}

TEST(Security, EachRunGetsItsOwnIdentifierAndKey) {
  testsupport::ScratchDir dir;
  std::string ids[2];
  for (int i = 0; i < 2; ++i) {
    std::string pdf = dir.file("run" + std::to_string(i) + ".pdf");
    int h = EngineCreate(pdf.c_str());
    EngineSetInfo(h, "Same", nullptr, nullptr, nullptr, nullptr);
    EngineSetOption(h, ENGINE_OPT_SECURITY, 128, 1, "o", "u");
    EngineClose(h);
    auto r = Pikepdf(pdf, "p = pikepdf.open(sys.argv[1], password='u')\n"
                          "print(bytes(p.trailer.ID[0]).hex(), bytes(p.trailer.Encrypt.U).hex())");
    ASSERT_EQ(r.status, 0) << r.out;
    ids[i] = r.out;
  }
  EXPECT_NE(ids[0], ids[1]);
}

TEST(Security, TurningSecurityOffOrOnLateIsHandled) {
  testsupport::ScratchDir dir;
  // (0, 0, none, none) switches security off again before anything is written.
  std::string off = dir.file("off.pdf");
  int h = EngineCreate(off.c_str());
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, 128, 7, "o", "u"), 1);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, 0, 0, nullptr, ""), 1);
  EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  EngineClose(h);
  EXPECT_EQ(ReadFile(off).find("/Encrypt"), std::string::npos);
  EXPECT_TRUE(testsupport::QpdfCheckClean(off));

  // Once a page exists its streams are plain, so security can no longer be switched on.
  std::string late = dir.file("late.pdf");
  h = EngineCreate(late.c_str());
  EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, 128, 7, "o", "u"), 0);
  EngineClose(h);
  EXPECT_EQ(ReadFile(late).find("/Encrypt"), std::string::npos);
  EXPECT_TRUE(testsupport::QpdfCheckClean(late));
}

struct AuthCase {
  int keyLength;
  const char* owner;
  const char* user;
  const char* tried;
  bool opens;
};

void PrintTo(const AuthCase& c, std::ostream* os) {
  *os << c.keyLength << " bytes, owner '" << c.owner << "', user '" << c.user << "', tried '"
      << c.tried << "'";
}

class Authentication : public ::testing::TestWithParam<AuthCase> {};

TEST_P(Authentication, OpenAndPermissionsPasswordsBothUnlockTheSameKey) {
  const AuthCase& c = GetParam();
  const uint8_t id[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  auto made = pdf::StandardSecurity::Create(c.keyLength, pdf::PermissionsFromChoices(3), c.owner,
                                            c.user, id);
  auto opened = pdf::StandardSecurity::Authenticate(made->params(), c.tried);
  ASSERT_EQ(opened != nullptr, c.opens);
  if (opened) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(opened->key()), 16),
              std::string(reinterpret_cast<const char*>(made->key()), 16));
  }
}

INSTANTIATE_TEST_SUITE_P(Passwords, Authentication,
                         ::testing::Values(AuthCase{5, "owner", "user", "user", true},
                                           AuthCase{5, "owner", "user", "owner", true},
                                           AuthCase{5, "owner", "user", "", false},
                                           AuthCase{16, "owner", "user", "user", true},
                                           AuthCase{16, "owner", "user", "owner", true},
                                           AuthCase{16, "owner", "user", "wrong", false},
                                           AuthCase{16, "owner", "", "", true},
                                           AuthCase{16, "", "user", "user", true}),
                         [](const ::testing::TestParamInfo<AuthCase>& i) {
                           return "case" + std::to_string(i.index);
                         });

TEST(Security, PermissionValues) {
  EXPECT_EQ(pdf::PermissionsFromChoices(0), -3904);
  EXPECT_EQ(pdf::PermissionsFromChoices(1), -1852);
  EXPECT_EQ(pdf::PermissionsFromChoices(7), -4);
}

} // namespace
