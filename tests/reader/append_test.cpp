// Appending pages as an incremental update: independent tools must read the result, the
// existing bytes never change, and a refused or failed update leaves the file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>

#include "engine/document.h"
#include "engine/engine.h"
#include "pdf_text.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::QpdfCheckClean;
using testsupport::Quote;
using testsupport::ReadFile;

// A file of ours with `pages` pages, a title and optionally security and viewer settings.
void MakeOurs(const std::string& path, int pages, int securityBits = -1, int viewer = 0,
              int startPage = 0) {
  int h = EngineCreate(path.c_str());
  ASSERT_NE(h, 0);
  EngineSetInfo(h, "Old Title", nullptr, "Old Author", nullptr, nullptr);
  if (securityBits >= 0) EngineSetOption(h, ENGINE_OPT_SECURITY, securityBits, 7, "", "");
  if (viewer) EngineSetOption(h, ENGINE_OPT_VIEWER, viewer, startPage, nullptr, nullptr);
  for (int i = 0; i < pages; ++i)
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  ASSERT_EQ(EngineClose(h), 1);
}

// Opens for appending, adds `pages` pages of 612 x 792, runs `extra`, closes; EngineClose
// must answer `closeResult` (0 when the update could not be written).
// Returns the handle EngineOpenAppend gave (0 when it refused).
int Append(const std::string& path, int pages, const std::function<void(int)>& extra = {},
           int closeResult = 1) {
  int h = EngineOpenAppend(path.c_str());
  if (h == 0) return 0;
  for (int i = 0; i < pages; ++i)
    EngineSetOption(h, ENGINE_OPT_PAGE, 5, 5, nullptr, nullptr);
  if (extra) extra(h);
  EXPECT_EQ(EngineClose(h), closeResult);
  return h;
}

std::string Python(const std::string& pdf, const std::string& code) {
  auto r = Pikepdf(pdf, code);
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

long long StartXref(const std::string& bytes) {
  size_t k = bytes.rfind("startxref");
  return std::stoll(bytes.substr(k + 10));
}

class AppendTest : public ::testing::Test {
protected:
  testsupport::ScratchDir dir_;
};

TEST_F(AppendTest, ThreePagesOnTenOfOurs) {
  std::string pdf = dir_.file("ten.pdf");
  MakeOurs(pdf, 10);
  std::string before = ReadFile(pdf);
  std::string oldDate = Python(pdf, "print(str(pikepdf.open(sys.argv[1]).docinfo.CreationDate))");

  int h = EngineOpenAppend(pdf.c_str());
  ASSERT_NE(h, 0);
  EXPECT_EQ(EngineQuery(h, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr), 10);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_SECURITY, 128, 7, "o", "u"), 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_PAGE, 5, 5, nullptr, nullptr), 1);
    EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, "No marks here", nullptr), 0);
  }
  EXPECT_EQ(EngineQuery(h, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr), 13);
  ASSERT_EQ(EngineClose(h), 1);

  std::string after = ReadFile(pdf);
  ASSERT_GT(after.size(), before.size());
  EXPECT_EQ(after.compare(0, before.size(), before), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_EQ(after.substr(after.size() - 7), "%%EOF\r\n");
  EXPECT_EQ(after.find("/Encrypt", before.size()), std::string::npos);
  EXPECT_EQ(after.find("/Outlines", before.size()), std::string::npos);
  // The trailer links to the old section.
  size_t trailer = after.rfind("trailer");
  EXPECT_NE(after.find("/Prev " + std::to_string(StartXref(before)) + " ", trailer),
            std::string::npos);

  std::string out = Python(
      pdf, "p = pikepdf.open(sys.argv[1])\n"
           "root = p.Root.Pages\n"
           "print('pages', len(p.pages), 'count', int(root.Count), 'kids', len(root.Kids))\n"
           "new = p.pages[10].obj.Parent\n"
           "print('parent-is-root', new.Parent.objgen == root.objgen, 'leaf', int(new.Count))\n"
           "print('width', float(p.pages[12].MediaBox[2]))\n"
           "print('title', str(p.docinfo.Title), 'author', str(p.docinfo.Author))\n"
           "print('created', str(p.docinfo.CreationDate))\n"
           "print('moddate', '/ModDate' in p.docinfo)\n"
           "print('size', int(p.trailer.Size))");
  // Ten pages made the old root a leaf; the new subtree is its eleventh kid.
  EXPECT_NE(out.find("pages 13 count 13 kids 11"), std::string::npos) << out;
  EXPECT_NE(out.find("parent-is-root True leaf 3"), std::string::npos) << out;
  EXPECT_NE(out.find("width 612"), std::string::npos) << out;
  EXPECT_NE(out.find("title Old Title author Old Author"), std::string::npos) << out;
  EXPECT_NE(out.find("created " + oldDate), std::string::npos) << out;
  EXPECT_NE(out.find("moddate True"), std::string::npos) << out;
  // Size is one more than the highest object number in the cross-reference data.
  auto xref = testsupport::Run("qpdf --show-xref " + Quote(pdf));
  int highest = 0;
  for (size_t k = 0; (k = xref.out.find('\n', k)) != std::string::npos;) {
    ++k;
    if (k < xref.out.size() && isdigit(static_cast<unsigned char>(xref.out[k])))
      highest = std::max(highest, std::stoi(xref.out.substr(k)));
  }
  size_t sizeAt = out.find("size ");
  ASSERT_NE(sizeAt, std::string::npos) << out;
  EXPECT_EQ(std::stoi(out.substr(sizeAt + 5)), highest + 1) << xref.out;
  // poppler agrees on the count.
  auto info = testsupport::Run("pdfinfo " + Quote(pdf));
  EXPECT_NE(info.out.find("Pages:           13"), std::string::npos) << info.out;
}

TEST_F(AppendTest, UpdatesChainAndKeepTheFirstIdentifier) {
  std::string pdf = dir_.file("chain.pdf");
  MakeOurs(pdf, 10);
  std::string firstId = Python(pdf, "print(bytes(pikepdf.open(sys.argv[1]).trailer.ID[0]).hex())");
  int expected = 10;
  for (int round = 0; round < 3; ++round) {
    std::string before = ReadFile(pdf);
    ASSERT_NE(Append(pdf, round + 1,
                     [&](int h) {
                       if (round == 1)
                         EngineSetInfo(h, "New Title", nullptr, nullptr, nullptr, nullptr);
                     }),
              0);
    expected += round + 1;
    std::string after = ReadFile(pdf);
    EXPECT_EQ(after.compare(0, before.size(), before), 0);
    EXPECT_NE(
        after.find("/Prev " + std::to_string(StartXref(before)) + " ", after.rfind("trailer")),
        std::string::npos);
    EXPECT_TRUE(QpdfCheckClean(pdf));
    std::string out =
        Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                    "print(len(p.pages), bytes(p.trailer.ID[0]).hex(),\n"
                    "      bytes(p.trailer.ID[1]).hex() != bytes(p.trailer.ID[0]).hex(),\n"
                    "      str(p.docinfo.Title))");
    EXPECT_NE(out.find(std::to_string(expected) + " " + firstId.substr(0, 32) + " True " +
                       (round == 0 ? "Old Title" : "New Title")),
              std::string::npos)
        << out;
  }
}

TEST_F(AppendTest, TwentyFivePagesMakeASubtree) {
  std::string pdf = dir_.file("tree.pdf");
  MakeOurs(pdf, 3);
  ASSERT_NE(Append(pdf, 25), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  std::string out =
      Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                  "root = p.Root.Pages\n"
                  "sub = root.Kids[-1]\n"
                  "print(len(p.pages), int(root.Count), int(sub.Count),\n"
                  "      [int(k.Count) for k in sub.Kids], sub.Parent.objgen == root.objgen)");
  EXPECT_NE(out.find("28 28 25 [10, 10, 5] True"), std::string::npos) << out;
}

TEST_F(AppendTest, ZeroPagesStillWritesAValidUpdate) {
  std::string pdf = dir_.file("zero.pdf");
  MakeOurs(pdf, 2);
  ASSERT_NE(Append(pdf, 0), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  EXPECT_NE(Python(pdf, "print(len(pikepdf.open(sys.argv[1]).pages))").find("2"),
            std::string::npos);
}

TEST_F(AppendTest, ViewerSettingsPatchTheCatalog) {
  std::string pdf = dir_.file("viewer.pdf");
  // The old catalog already has an open action, a page mode and viewer preferences.
  MakeOurs(pdf, 4, -1, 0x2 | 0x40 | 0x1000, 2);
  ASSERT_NE(Append(pdf, 3,
                   [](int h) {
                     EngineSetOption(h, ENGINE_OPT_VIEWER, 0x8 | 0x80 | 0x8000, 6, nullptr,
                                     nullptr);
                   }),
            0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  std::string out = Python(
      pdf, "p = pikepdf.open(sys.argv[1])\n"
           "r = p.Root\n"
           "print(str(r.PageMode), r.OpenAction[0].objgen == p.pages[5].obj.objgen,\n"
           "      str(r.OpenAction[1]), sorted(str(k) for k in r.ViewerPreferences.keys()))");
  EXPECT_NE(out.find("/FullScreen True /FitH ['/FitWindow']"), std::string::npos) << out;
  // And one without any of them gets them added; a start page beyond the end is clamped.
  std::string plain = dir_.file("plain.pdf");
  MakeOurs(plain, 2);
  ASSERT_NE(Append(plain, 1,
                   [](int h) { EngineSetOption(h, ENGINE_OPT_VIEWER, 0x4, 99, nullptr, nullptr); }),
            0);
  EXPECT_TRUE(QpdfCheckClean(plain));
  out = Python(plain,
               "p = pikepdf.open(sys.argv[1])\n"
               "print(str(p.Root.PageMode), p.Root.OpenAction[0].objgen == p.pages[2].obj.objgen)");
  EXPECT_NE(out.find("/UseThumbs True"), std::string::npos) << out;
}

TEST_F(AppendTest, EncryptedFilesStayEncrypted) {
  for (int bits : {40, 128}) {
    std::string pdf = dir_.file("enc" + std::to_string(bits) + ".pdf");
    MakeOurs(pdf, 2, bits);
    std::string before = ReadFile(pdf);
    ASSERT_NE(
        Append(pdf, 2,
               [](int h) { EngineSetInfo(h, nullptr, "New Subject", nullptr, nullptr, nullptr); }),
        0);
    std::string after = ReadFile(pdf);
    EXPECT_EQ(after.compare(0, before.size(), before), 0);
    EXPECT_EQ(after.find("New Subject"), std::string::npos);
    EXPECT_TRUE(QpdfCheckClean(pdf));
    std::string out = Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                                  "print(p.is_encrypted, p.encryption.bits, len(p.pages),\n"
                                  "      str(p.docinfo.Title), str(p.docinfo.Subject))");
    EXPECT_NE(out.find("True " + std::to_string(bits) + " 4 Old Title New Subject"),
              std::string::npos)
        << out;
  }
}

// Files from another producer, with classic cross-reference tables.
struct ProducerCase {
  const char* name;
  const char* qpdfArgs;
  bool accepted;
};

void PrintTo(const ProducerCase& c, std::ostream* os) {
  *os << c.name;
}

class OtherProducers : public ::testing::TestWithParam<ProducerCase> {
protected:
  testsupport::ScratchDir dir_;
};

TEST_P(OtherProducers, AppendOrRefuseUntouched) {
  const ProducerCase& c = GetParam();
  std::string ours = dir_.file("ours.pdf"), pdf = dir_.file("theirs.pdf");
  MakeOurs(ours, 5);
  auto made =
      testsupport::Run(std::string("qpdf ") + c.qpdfArgs + " " + Quote(ours) + " " + Quote(pdf));
  ASSERT_TRUE(made.status == 0 || made.status == 3) << made.out;
  std::string before = ReadFile(pdf);
  int h = Append(pdf, 2);
  std::string after = ReadFile(pdf);
  if (!c.accepted) {
    EXPECT_EQ(h, 0);
    EXPECT_EQ(after, before);
    return;
  }
  ASSERT_NE(h, 0);
  EXPECT_EQ(after.compare(0, before.size(), before), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  std::string out = Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                                "print('pages', len(p.pages), str(p.docinfo.Title))");
  EXPECT_NE(out.find("pages 7 Old Title"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Qpdf, OtherProducers,
    ::testing::Values(
        ProducerCase{"pdf13", "--object-streams=disable --force-version=1.3", true},
        ProducerCase{"pdf14", "--object-streams=disable --force-version=1.4", true},
        ProducerCase{"qdf", "--qdf", true},
        ProducerCase{"rc4_40", "--allow-weak-crypto --encrypt '' owner 40 --", true},
        ProducerCase{"rc4_128", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --", true},
        ProducerCase{"aes_128", "--encrypt '' owner 128 --use-aes=y --", false},
        ProducerCase{"user_password", "--allow-weak-crypto --encrypt user owner 128 --use-aes=n --",
                     false},
        ProducerCase{"object_streams_17", "--object-streams=generate --force-version=1.7", false},
        ProducerCase{"pdf16", "--object-streams=disable --force-version=1.6", false}),
    [](const ::testing::TestParamInfo<ProducerCase>& i) { return std::string(i.param.name); });

TEST_F(AppendTest, ObjectStreamsBehindAnOldHeaderAreRefusedUntouched) {
  std::string ours = dir_.file("ours.pdf"), pdf = dir_.file("os.pdf");
  MakeOurs(ours, 3);
  ASSERT_EQ(
      testsupport::Run("qpdf --object-streams=generate " + Quote(ours) + " " + Quote(pdf)).status,
      0);
  std::string bytes = ReadFile(pdf);
  ASSERT_EQ(bytes.compare(0, 8, "%PDF-1.5"), 0);
  bytes[7] = '4'; // the header would pass; the cross-reference stream must not
  testsupport::WriteFile(pdf, bytes);
  EXPECT_EQ(EngineOpenAppend(pdf.c_str()), 0);
  EXPECT_EQ(ReadFile(pdf), bytes);
}

TEST_F(AppendTest, ShortWritesLeaveTheFileAsItWas) {
  std::string pdf = dir_.file("short.pdf");
  MakeOurs(pdf, 3);
  std::string before = ReadFile(pdf);
  // How long a complete update is, measured on a copy.
  std::string copy = dir_.file("copy.pdf");
  testsupport::WriteFile(copy, before);
  ASSERT_NE(Append(copy, 2), 0);
  long long update = static_cast<long long>(ReadFile(copy).size() - before.size());
  // Nothing at all, part of the first page, part of the tail, all but the last byte.
  for (long long limit : {0LL, 40LL, update / 2, update - 1}) {
    engine::SetAppendWriteLimitForTesting(limit);
    int h = Append(pdf, 2, {}, 0);
    engine::SetAppendWriteLimitForTesting(-1);
    EXPECT_NE(h, 0);
    EXPECT_EQ(ReadFile(pdf), before) << "limit " << limit;
  }
  // The file still takes an update afterwards.
  ASSERT_NE(Append(pdf, 2), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
}

TEST_F(AppendTest, RefusedFilesAreLeftByteIdentical) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string ours = dir_.file("ours.pdf");
  MakeOurs(ours, 2);
  std::string good = ReadFile(ours);
  Case cases[] = {
      {"not a pdf", "hello world\n"},
      {"pdf 1.6", "%PDF-1.6" + good.substr(8)},
      {"cut short", good.substr(0, good.size() / 2)},
      {"no trailer at the end", good.substr(0, good.rfind("trailer"))},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    std::string pdf = dir_.file("bad.pdf");
    testsupport::WriteFile(pdf, c.bytes);
    EXPECT_EQ(EngineOpenAppend(pdf.c_str()), 0) << c.name;
    EXPECT_EQ(ReadFile(pdf), c.bytes) << c.name;
  }
  EXPECT_EQ(EngineOpenAppend(dir_.file("missing.pdf").c_str()), 0);
  EXPECT_EQ(EngineOpenAppend(dir_.path().string().c_str()), 0);
  EXPECT_EQ(EngineOpenAppend(""), 0);
  EXPECT_EQ(EngineOpenAppend(nullptr), 0);
}

TEST_F(AppendTest, PathAlreadyOpenIsRefused) {
  std::string pdf = dir_.file("busy.pdf");
  MakeOurs(pdf, 1);
  int h = EngineOpenAppend(pdf.c_str());
  ASSERT_NE(h, 0);
  std::string upper = pdf;
  upper.replace(upper.size() - 8, 4, "BUSY");
  EXPECT_EQ(EngineOpenAppend(upper.c_str()), 0);
  EXPECT_EQ(EngineCreate(pdf.c_str()), 0);
  EXPECT_EQ(EngineClose(h), 1);
}

TEST_F(AppendTest, OurOwnPdf15HeaderIsAccepted) {
  std::string pdf = dir_.file("v15.pdf");
  MakeOurs(pdf, 1);
  std::string bytes = ReadFile(pdf);
  bytes[7] = '5';
  testsupport::WriteFile(pdf, bytes);
  ASSERT_NE(Append(pdf, 1), 0);
  EXPECT_TRUE(QpdfCheckClean(pdf));
}

TEST_F(AppendTest, HandWrittenFileQuirks) {
  // Literal identifier strings, Kids as an indirect array, a blank page, and no line end
  // after %%EOF.
  readertest::PdfText p;
  p.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
  p.Obj(2, "<< /Type /Pages /Count 2 /Kids 3 0 R >>");
  p.Obj(3, "[4 0 R 6 0 R]");
  p.Obj(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R >>");
  p.Obj(5, "<< /Length 0 >>\nstream\n\nendstream");
  p.Obj(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  p.FullXref("/Size 7 /Root 1 0 R /ID [(lit\\)eral) (two)]");
  std::string bytes = p.str();
  bytes.pop_back(); // the final line feed
  std::string pdf = dir_.file("quirks.pdf");
  testsupport::WriteFile(pdf, bytes);
  ASSERT_NE(Append(pdf, 2), 0);
  std::string after = ReadFile(pdf);
  EXPECT_EQ(after.compare(0, bytes.size(), bytes), 0);
  EXPECT_NE(after.find("/ID [(lit\\)eral) <", bytes.size()), std::string::npos);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  std::string out = Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                                "print(len(p.pages), bytes(p.trailer.ID[0]), p.Root.Pages.Count)");
  EXPECT_NE(out.find("4 b'lit)eral' 4"), std::string::npos) << out;
  // No Info dictionary before: the update made one.
  EXPECT_NE(Python(pdf, "print(str(pikepdf.open(sys.argv[1]).docinfo.Producer))").find("Pictofold"),
            std::string::npos);
}

} // namespace

namespace {

TEST(AppendGenerations, RewrittenObjectsKeepTheirGeneration) {
  testsupport::ScratchDir dir;
  readertest::PdfText p;
  p.Obj(1, "<< /Type /Catalog /Pages 2 2 R >>", 3);
  p.Obj(2, "<< /Type /Pages /Count 1 /Kids [4 0 R] >>", 2);
  p.Obj(3, "<< /Title (Generations) >>", 1);
  p.Obj(4, "<< /Type /Page /Parent 2 2 R /MediaBox [0 0 200 200] /Contents 5 0 R >>");
  p.Obj(5, "<< /Length 0 >>\nstream\n\nendstream");
  p.FullXref("/Size 6 /Root 1 3 R /Info 3 1 R");
  std::string pdf = dir.file("gen.pdf");
  testsupport::WriteFile(pdf, p.str());
  int h = EngineOpenAppend(pdf.c_str());
  ASSERT_NE(h, 0);
  EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
  EngineSetOption(h, ENGINE_OPT_VIEWER, 0x2, 2, nullptr, nullptr);
  ASSERT_EQ(EngineClose(h), 1);
  EXPECT_TRUE(QpdfCheckClean(pdf));
  std::string out = Python(pdf, "p = pikepdf.open(sys.argv[1])\n"
                                "print(len(p.pages), p.Root.objgen, p.Root.Pages.objgen,\n"
                                "      str(p.docinfo.Title), str(p.Root.PageMode))");
  EXPECT_NE(out.find("2 (1, 3) (2, 2) Generations /UseOutlines"), std::string::npos) << out;
}

TEST(AppendRunner, ScriptsAppendThroughTheLatestHandle) {
  testsupport::ScratchDir dir;
  std::string pdf = dir.file("runner.pdf"), script = dir.file("append.script");
  testsupport::WriteFile(script, "EngineCreate " + pdf +
                                     "\nEngineSetOption $ 109 2 2 - -\nEngineClose $\n"
                                     "EngineOpenAppend " +
                                     pdf +
                                     "\nEngineSetOption $ 109 2 2 - -\nEngineQuery $ 206\n"
                                     "EngineClose $\nEngineOpenAppend " +
                                     dir.file("none.pdf") + "\n");
  auto r = testsupport::Run(testsupport::Quote(testsupport::BinPath("pictofold-engine")) + " " +
                            testsupport::Quote(script));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "1\n1\n1\n1\n1\n2\n1\n0\n");
  EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));
}

} // namespace
