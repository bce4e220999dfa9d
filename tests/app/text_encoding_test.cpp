#include "app/text_encoding.h"

#include <gtest/gtest.h>

#include "app/text_macros.h"
#include "engine/engine.h"
#include "test_support.h"

namespace app {
namespace {

struct EncodingCase {
  const char* utf8;
  std::string win1252;
  std::string pdf; // PdfTextString
};

const EncodingCase kCases[] = {
    {"plain ASCII ~", "plain ASCII ~", "plain ASCII ~"},
    {"M\xC3\xBCller", "M\xFCller", std::string("\xFE\xFF\0M\0\xFC\0l\0l\0e\0r", 14)},
    {"\xE2\x82\xAC 5", "\x80 5",
     std::string("\xFE\xFF\x20\xAC\0 \0"
                 "5",
                 8)},
    {"\xC5\x93\xE2\x84\xA2", "\x9C\x99", "\xFE\xFF\x01\x53\x21\x22"},
    {"\xC2\xA0\xC3\xBF", "\xA0\xFF", std::string("\xFE\xFF\0\xA0\0\xFF", 6)},
    {"\xE6\x97\xA5", "?", "\xFE\xFF\x65\xE5"},
    // A character beyond the basic plane takes a surrogate pair.
    {"\xF0\x9F\x98\x80", "?", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6)},
    // C1 controls and malformed UTF-8 (lone lead, lone continuation, overlong, surrogate).
    {"\xC2\x81", "?", std::string("\xFE\xFF\0\x81", 4)},
    {"a\xC3", "a?", std::string("\xFE\xFF\0a\xFF\xFD", 6)},
    {"\x80", "?", "\xFE\xFF\xFF\xFD"},
    {"\xC0\xAF", "??", "\xFE\xFF\xFF\xFD\xFF\xFD"},
    {"\xED\xA0\x80", "???", "\xFE\xFF\xFF\xFD\xFF\xFD\xFF\xFD"},
};

std::ostream& operator<<(std::ostream& os, const EncodingCase& c) {
  return os << ::testing::PrintToString(std::string(c.utf8));
}

class Encoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encoding, Converts) {
  const EncodingCase& c = GetParam();
  EXPECT_EQ(Utf8ToWin1252(c.utf8), c.win1252);
  EXPECT_EQ(PdfTextString(c.utf8), c.pdf);
}

INSTANTIATE_TEST_SUITE_P(Table, Encoding, ::testing::ValuesIn(kCases));

TEST(Encoding, NulNeverReachesTheEngine) {
  EXPECT_EQ(PdfTextString(std::string("a\0b", 3)), "ab");
  EXPECT_EQ(PdfTextString(std::string("\xC3\xBC\0", 3)), std::string("\xFE\xFF\0\xFC", 4));
  EXPECT_EQ(Utf8ToWin1252(std::string("a\0b", 3)), "a?b");
  std::string engine = EngineTextString("\xC3\xBC");
  EXPECT_EQ(engine, std::string("\xFE\xFF\0\xFC\0", 5)); // c_str() adds the second NUL
  EXPECT_EQ(EngineTextString("ascii"), "ascii");
}

TEST(Encoding, TruncateKeepsWholeCharacters) {
  EXPECT_EQ(TruncateUtf8("ab\xC3\xBC"
                         "cd",
                         3),
            "ab\xC3\xBC");
  EXPECT_EQ(TruncateUtf8("ab", 5), "ab");
  EXPECT_EQ(TruncateUtf8("\xF0\x9F\x98\x80x", 1), "\xF0\x9F\x98\x80");
}

// Independent readers must show the non-ASCII file name as it is.
TEST(Encoding, UmlautTitleReadsBackInPdfReaders) {
  testsupport::ScratchDir dir;
  std::string pdf = dir.file("out.pdf");
  ConversionSettings s = DefaultConversionSettings();
  s.bookmark = 1;
  s.bookmarksel = 2;
  auto title = BookmarkTitle(s, 0, 1, "/photos/M\xC3\xBCller.jpg", 0);
  ASSERT_TRUE(title);
  std::string engineTitle = EngineTextString(*title);

  int h = EngineCreate(pdf.c_str());
  ASSERT_GT(h, 0);
  EXPECT_EQ(EngineSetInfo(h, engineTitle.c_str(), nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr), 1);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, engineTitle.c_str(), nullptr), 1);
  EXPECT_EQ(EngineClose(h), 1);

  EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));
  auto r = testsupport::Pikepdf(pdf, "pdf = pikepdf.open(sys.argv[1])\n"
                                     "with pdf.open_outline() as o:\n"
                                     "    t = o.root[0].title\n"
                                     "print(t == 'M\\u00fcller.jpg', str(pdf.docinfo.Title) == "
                                     "'M\\u00fcller.jpg')\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("True True"), std::string::npos) << r.out;
}

} // namespace
} // namespace app
