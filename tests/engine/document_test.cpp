// Whole documents written through the public interface and judged by qpdf and pikepdf.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "pdfwriter/clock.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::QpdfCheckClean;
using testsupport::ReadFile;
using testsupport::ScratchDir;

void WritePages(const std::string& path, int pages) {
  int h = EngineCreate(path.c_str());
  ASSERT_GT(h, 0);
  for (int i = 0; i < pages; ++i)
    ASSERT_EQ(EngineSetOption(h, 109, 2, 2, nullptr, nullptr), 1);
  ASSERT_EQ(EngineClose(h), 1);
}

// The shape of the page tree as nested counts: a leaf is its page count, a node a list.
const char* kTreeShape = R"(
def shape(node):
    kids = node.Kids
    if all(k.Type == '/Page' for k in kids) and len(kids) > 0:
        return str(len(kids))
    if len(kids) == 0:
        return '0'
    return '[' + ','.join(shape(k) for k in kids) + ']'
pdf = pikepdf.open(sys.argv[1])
print(len(pdf.pages), shape(pdf.Root.Pages))
)";

struct TreeCase {
  int pages;
  const char* shape;
};

void PrintTo(const TreeCase& c, std::ostream* os) {
  *os << c.pages << " pages";
}

class PageTree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(PageTree, CountsAndShapeAreReadByOtherTools) {
  ScratchDir dir;
  std::string pdf = dir.file("tree.pdf");
  WritePages(pdf, GetParam().pages);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  auto r = Pikepdf(pdf, kTreeShape);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, std::to_string(GetParam().pages) + " " + GetParam().shape + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Document, PageTree,
    ::testing::Values(TreeCase{0, "0"}, TreeCase{1, "1"}, TreeCase{10, "10"},
                      TreeCase{11, "[10,1]"}, TreeCase{25, "[10,10,5]"},
                      TreeCase{101, "[[10,10,10,10,10,10,10,10,10,10],1]"},
                      TreeCase{1000, "[[10,10,10,10,10,10,10,10,10,10],[10,10,10,10,10,10,10,10,10,"
                                     "10],[10,10,10,10,10,10,10,10,10,10],[10,10,10,10,10,10,10,"
                                     "10,10,10],[10,10,10,10,10,10,10,10,10,10],[10,10,10,10,10,"
                                     "10,10,10,10,10],[10,10,10,10,10,10,10,10,10,10],[10,10,10,"
                                     "10,10,10,10,10,10,10],[10,10,10,10,10,10,10,10,10,10],[10,"
                                     "10,10,10,10,10,10,10,10,10]]"}));

TEST(Document, FileStructureBytes) {
  ScratchDir dir;
  std::string pdf = dir.file("s.pdf");
  WritePages(pdf, 3);
  std::string bytes = ReadFile(pdf);
  EXPECT_EQ(bytes.substr(0, 9), "%PDF-1.4 ");
  EXPECT_EQ(static_cast<unsigned char>(bytes[9]), '%');
  for (int i = 10; i < 14; ++i)
    EXPECT_GT(static_cast<unsigned char>(bytes[i]), 127) << i;
  ASSERT_GE(bytes.size(), 7u);
  EXPECT_EQ(bytes.substr(bytes.size() - 7), "%%EOF\r\n");

  // Every cross-reference entry is exactly 20 bytes and its offset points at "N 0 obj".
  size_t xref = bytes.rfind("\rxref\r") + 1;
  ASSERT_NE(xref, std::string::npos);
  size_t p = bytes.find('\r', xref + 5) + 1; // after "0 N\r"
  int count = std::atoi(bytes.c_str() + xref + 7);
  size_t trailer = bytes.find("trailer\r", xref);
  EXPECT_EQ(trailer - p, static_cast<size_t>(count) * 20);
  EXPECT_EQ(bytes.substr(p, 20), std::string("0000000000 65535 f\r\n"));
  for (int n = 1; n < count; ++n) {
    std::string entry = bytes.substr(p + 20 * static_cast<size_t>(n), 20);
    ASSERT_TRUE(std::regex_match(entry, std::regex("[0-9]{10} 00000 n\r\n"))) << n;
    long offset = std::atol(entry.c_str());
    std::string head = std::to_string(n) + " 0 obj";
    EXPECT_EQ(bytes.substr(static_cast<size_t>(offset), head.size()), head) << n;
  }
  // startxref points at the section.
  size_t sx = bytes.rfind("startxref\r");
  EXPECT_EQ(std::atol(bytes.c_str() + sx + 10), static_cast<long>(xref));
}

TEST(Document, InfoTextsDatesAndViewerSettingsReachReaders) {
  ScratchDir dir;
  std::string pdf = dir.file("info.pdf");
  int h = EngineCreate(pdf.c_str());
  ASSERT_GT(h, 0);
  EXPECT_EQ(EngineSetInfo(h, "Title (1) \\ x", nullptr, "Author", "", "Creator"), 1);
  EXPECT_EQ(EngineSetInfo(h, nullptr, "Subject", nullptr, "kw", nullptr), 1);
  EXPECT_EQ(EngineSetInfo(h, "", nullptr, nullptr, nullptr, nullptr), 1); // keeps the title
  const char utf16Author[] = "\xFE\xFF\x00M\x00\xFC\x00l\x00l\x00"
                             "e\x00r\x00\x00";
  EXPECT_EQ(EngineSetInfo(h, nullptr, nullptr, utf16Author, nullptr, nullptr), 1);
  EngineSetOption(h, 111, 0, 0, "Producer text", nullptr);
  EngineSetOption(h, 121, 0x2 | 0x80 | 0x8000 | 0x1000, 7, nullptr, nullptr);
  for (int i = 0; i < 5; ++i)
    EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
  EngineSetOption(h, 122, 100, 0, nullptr, nullptr);
  EngineSetOption(h, 109, 1, 1, nullptr, nullptr);
  ASSERT_EQ(EngineClose(h), 1);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  auto r = Pikepdf(pdf, R"(
pdf = pikepdf.open(sys.argv[1])
i = pdf.docinfo
for k in ['/Title', '/Subject', '/Author', '/Keywords', '/Creator', '/Producer']:
    print(k, str(i[k]))
print('mode', pdf.Root.PageMode)
oa = pdf.Root.OpenAction
print('open', [p.objgen for p in pdf.pages].index(oa[0].objgen) + 1, oa[1], oa[2])
vp = pdf.Root.ViewerPreferences
print('prefs', sorted(str(k) for k in vp.keys()))
print('rotate', [int(p.obj.get('/Rotate', 0)) for p in pdf.pages])
print('box', [float(x) for x in pdf.pages[5].MediaBox])
)");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "/Title Title (1) \\ x\n/Subject Subject\n/Author Müller\n/Keywords kw\n"
                   "/Creator Creator\n/Producer Producer text\nmode /UseOutlines\n"
                   "open 6 /FitH None\nprefs ['/FitWindow', '/HideToolbar']\n"
                   "rotate [0, 0, 0, 0, 90, 90]\nbox [0.0, 0.0, 842.0, 1190.0]\n");
}

TEST(Document, DatesCarryTheLocalZoneOffset) {
  struct ZoneCase {
    const char* tz;
    const char* suffix;
  };
  const ZoneCase zones[] = {
      {"UTC0", "Z"}, {"CET-1", "+01'00'"}, {"PST8", "-08'00'"}, {"IST-5:30", "+05'30'"}};
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  // 3 February 2014, 14:05:09 UTC
  const std::time_t moment = 1391436309;
  pdf::SetClockForTesting([moment] { return moment; });
  for (const auto& z : zones) {
    setenv("TZ", z.tz, 1);
    tzset();
    ScratchDir dir;
    std::string pdf = dir.file("d.pdf");
    WritePages(pdf, 1);
    std::string bytes = ReadFile(pdf);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bytes, m, std::regex("/CreationDate \\((D:[^)]*)\\)")));
    std::string date = m[1];
    EXPECT_EQ(date.substr(date.size() - std::string(z.suffix).size()), z.suffix) << z.tz;
    EXPECT_NE(bytes.find("/ModDate (" + date + ")"), std::string::npos);
  }
  setenv("TZ", "UTC0", 1);
  tzset();
  EXPECT_EQ(pdf::PdfDate(moment), "D:20140203140509Z");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  pdf::SetClockForTesting(nullptr);
}

TEST(Document, FixedClockAndIdGiveIdenticalBytes) {
  const uint8_t id[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  pdf::SetClockForTesting([] { return std::time_t{1391436309}; });
  pdf::SetFileIdForTesting(id);
  ScratchDir dir;
  WritePages(dir.file("a.pdf"), 4);
  WritePages(dir.file("b.pdf"), 4);
  pdf::SetFileIdForTesting(nullptr);
  WritePages(dir.file("c.pdf"), 4);
  pdf::SetClockForTesting(nullptr);
  std::string a = ReadFile(dir.file("a.pdf")), b = ReadFile(dir.file("b.pdf")),
              c = ReadFile(dir.file("c.pdf"));
  EXPECT_TRUE(a == b);
  EXPECT_NE(a.find("/ID [<0102030405060708090A0B0C0D0E0F10> <0102030405060708090A0B0C0D0E0F10>]"),
            std::string::npos);
  EXPECT_FALSE(a == c) << "the real identifier differs per run";
}

TEST(Document, HandlesAreReusedAndPathsAreExclusive) {
  ScratchDir dir;
  std::string p1 = dir.file("one.pdf"), p2 = dir.file("two.pdf");
  int a = EngineCreate(p1.c_str());
  ASSERT_GT(a, 0);
  std::string upper = dir.file("ONE.pdf");
  // The same path in another letter case is refused and left untouched.
  EXPECT_EQ(EngineCreate(p1.c_str()), 0);
  EXPECT_EQ(EngineCreate((dir.path() / "One.PDF").c_str()), 0);
  int b = EngineCreate(p2.c_str());
  ASSERT_GT(b, a);
  EXPECT_EQ(EngineClose(a), 1);
  EXPECT_EQ(EngineClose(a), 0) << "closed handles are bad handles";
  EXPECT_EQ(EngineSetOption(a, 109, 2, 2, nullptr, nullptr), 0);
  int c = EngineCreate(dir.file("three.pdf").c_str());
  EXPECT_EQ(c, a) << "the lowest free slot is reused at once";
  EXPECT_EQ(EngineClose(c), 1);
  EXPECT_EQ(EngineClose(b), 1);
  EXPECT_EQ(EngineCreate(""), 0);
  EXPECT_EQ(EngineCreate(nullptr), 0);
  EXPECT_EQ(EngineCreate(dir.file("missing/dir/x.pdf").c_str()), 0);
  for (int bad : {0, -1, 1024, 5000}) {
    EXPECT_EQ(EngineClose(bad), 0);
    EXPECT_EQ(EngineSetInfo(bad, "t", nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(EngineQuery(bad, 206, nullptr, nullptr, nullptr, nullptr), 0);
  }
}

TEST(Document, TheTableHolds1023DocumentsAndTheNextGetsAnEmptyFile) {
  ScratchDir dir;
  std::vector<int> handles;
  for (int i = 0; i < 1023; ++i) {
    int h = EngineCreate(dir.file("d" + std::to_string(i) + ".pdf").c_str());
    ASSERT_EQ(h, i + 1);
    handles.push_back(h);
  }
  std::string extra = dir.file("extra.pdf");
  EXPECT_EQ(EngineCreate(extra.c_str()), 0);
  for (int h : handles)
    EngineClose(h);
  EXPECT_TRUE(QpdfCheckClean(extra));
  auto r = Pikepdf(extra, "print(len(pikepdf.open(sys.argv[1]).pages))");
  EXPECT_EQ(r.out, "0\n");
}

TEST(Document, ADocumentWithAllocatedButUnwrittenObjectsStillChecksClean) {
  // Bookmarks number their pages ahead; a bookmark on the last page exercises that path.
  ScratchDir dir;
  std::string pdf = dir.file("b.pdf");
  int h = EngineCreate(pdf.c_str());
  EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
  EXPECT_EQ(EngineSetOption(h, 110, 0, 0, "Last", nullptr), 1);
  EngineClose(h);
  EXPECT_TRUE(QpdfCheckClean(pdf));
}

} // namespace

namespace {

TEST(Document, CloseReportsAFileThatCouldNotBeWritten) {
  // /dev/full accepts the open and fails every write.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  int h = EngineCreate("/dev/full");
  ASSERT_GT(h, 0);
  EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
  EXPECT_EQ(EngineClose(h), 0);
  EXPECT_EQ(EngineClose(h), 0);
  int again = EngineCreate("/dev/full");
  EXPECT_EQ(again, h) << "the slot was released";
  EngineClose(again);
}

} // namespace
