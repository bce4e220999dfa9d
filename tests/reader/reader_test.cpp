// The reader over hand-written files: cross-reference chains, trailer quirks, string forms,
// the page walk, and damaged or unsupported files that must fail cleanly.
#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "pdf_text.h"
#include "reader/pdf_reader.h"
#include "test_support.h"

namespace {

using readertest::PdfText;

bool Read(const std::string& bytes, reader::ExistingDocument& out) {
  reader::MemorySource src(bytes.data(), bytes.size());
  return reader::ReadExistingDocument(src, out);
}

// Catalog 1, page-tree root 2, Info 3, pages 4..6 (5 is blank), resources 7.
PdfText ThreePages(const std::string& info = "<< /Title (Old) >>") {
  PdfText p;
  p.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
  p.Obj(2, "<< /Type /Pages /Count 3 /Kids [4 0 R 5 0 R 6 0 R] >>");
  p.Obj(3, info);
  p.Obj(4, "<< /Type /Page /Parent 2 0 R /Contents 8 0 R /Resources 7 0 R >>");
  p.Obj(5, "<< /Type /Page /Parent 2 0 R >>");
  p.Obj(6, "<< /Type /Page /Parent 2 0 R /Contents [8 0 R] /Resources << /XObject << /I7 9 0 R "
           "/Im2 9 0 R >> /Pattern << /P0 9 0 R >> >> >>");
  p.Obj(7, "<< /Font << /F3 9 0 R /F1 9 0 R /Fx12 9 0 R >> /ColorSpace << /CS2 [/DeviceRGB] >> >>");
  p.Obj(8, "<< /Length 0 >>\nstream\n\nendstream");
  p.Obj(9, "<< >>");
  return p;
}

TEST(Reader, ReadsOurKindOfStructure) {
  PdfText p = ThreePages();
  p.FullXref("/Size 10 /Root 1 0 R /Info 3 0 R /ID [<00112233445566778899AABBCCDDEEFF> <FF>]");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  const pdf::AppendTarget& t = d.target;
  EXPECT_EQ(t.highestObject, 9);
  EXPECT_EQ(t.previousXref, p.lastXref());
  EXPECT_EQ(t.rootNumber, 1);
  EXPECT_EQ(t.infoNumber, 3);
  EXPECT_EQ(t.rootCount, 3);
  // A blank page is still a page: the start page and page count must see it.
  EXPECT_EQ(t.pageCount, 3);
  EXPECT_EQ(t.pageObjects, (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(d.info.texts[0], "Old");
  EXPECT_TRUE(d.firstId.hex);
  EXPECT_EQ(d.firstId.raw, "00112233445566778899AABBCCDDEEFF");
  EXPECT_EQ(d.firstId.bytes.size(), 16u);
  EXPECT_EQ(d.secondId.bytes, "\xFF");
  EXPECT_EQ(d.nextFont, 4);
  EXPECT_EQ(d.nextColourSpace, 3);
  EXPECT_EQ(d.nextPattern, 1);
  EXPECT_EQ(d.nextImage, 8);
  // The spans point at the right text.
  EXPECT_EQ(t.pages.text.substr(t.countValue.begin, t.countValue.end - t.countValue.begin), "3");
  EXPECT_EQ(t.pages.text[t.kidsInsert], ']');
  EXPECT_EQ(t.catalog.text.substr(t.catalogDictEnd, 2), ">>");
  EXPECT_EQ(t.catalog.text.rfind("endobj"), t.catalog.text.size() - 6);
}

TEST(Reader, NewestSectionWinsAcrossUpdates) {
  PdfText p = ThreePages();
  p.FullXref("/Size 10 /Root 1 0 R /Info 3 0 R");
  long long first = p.lastXref();
  p.Obj(3, "<< /Title (Newer) /Producer (Other) /CreationDate (D:2001) >>");
  p.Obj(10, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseNone >>");
  p.UpdateXref({3, 10}, "/Size 11 /Root 10 0 R /Info 3 0 R");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_EQ(d.target.rootNumber, 10);
  EXPECT_EQ(d.target.highestObject, 10);
  EXPECT_NE(d.target.previousXref, first);
  EXPECT_TRUE(d.target.pageMode.found);
  EXPECT_EQ(d.info.texts[0], "Newer");
  EXPECT_EQ(d.info.producer, "Other");
  EXPECT_EQ(d.info.creationDate, "D:2001");
}

TEST(Reader, SizeOneShortOfTheEntriesStillCoversTheLastObject) {
  PdfText p = ThreePages();
  p.FullXref("/Size 9 /Root 1 0 R"); // the table lists objects 0..9
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_EQ(d.target.highestObject, 9);
}

TEST(Reader, CountGluedToTheFirstOffset) {
  PdfText p = ThreePages();
  long long xref = static_cast<long long>(p.str().size());
  std::string table = "xref\n0 1\n0000000000 65535 f \n";
  char b[64];
  for (int n = 1; n <= 9; ++n) {
    std::snprintf(b, sizeof b, "%d 1%010lld 00000 n \n", n, p.offsetOf(n));
    table += b;
  }
  p.Raw(table + "trailer\n<< /Size 10 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
        "\n%%EOF\n");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_EQ(d.target.pageCount, 3);
}

struct StringCase {
  const char* written;
  std::string bytes;
};

class InfoStrings : public ::testing::TestWithParam<StringCase> {};

TEST_P(InfoStrings, DecodeToTheirBytes) {
  PdfText p = ThreePages(std::string("<< /Author ") + GetParam().written + " >>");
  p.FullXref("/Size 10 /Root 1 0 R /Info 3 0 R");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_EQ(d.info.texts[2], GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, InfoStrings,
    ::testing::Values(StringCase{"(A\\(b\\)\\101)", "A(b)A"}, StringCase{"<48656C6C6F>", "Hello"},
                      StringCase{"<48 65 6c\n6C 6F>", "Hello"}, StringCase{"<4865F>", "He\xF0"},
                      StringCase{"(nested (paren) ok)", "nested (paren) ok"},
                      StringCase{"(line\\\ncontinued)", "linecontinued"},
                      StringCase{"(\\0534\\n\\t\\\\)", "+4\n\t\\"},
                      StringCase{"<FEFF00410042>", std::string("\xFE\xFF\0A\0B", 6)}));

TEST(Reader, LiteralIdentifiersKeepTheirText) {
  PdfText p = ThreePages();
  p.FullXref("/Size 10 /Root 1 0 R /ID [(a\\)b\\(c)(second)]");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_FALSE(d.firstId.hex);
  EXPECT_EQ(d.firstId.raw, "a\\)b\\(c");
  EXPECT_EQ(d.firstId.bytes, "a)b(c");
  EXPECT_EQ(d.secondId.raw, "second");
}

TEST(Reader, KidsGivenAsAnIndirectArray) {
  PdfText p;
  p.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
  p.Obj(2, "<< /Type /Pages /Count 1 /Kids 3 0 R >>");
  p.Obj(3, "[4 0 R]");
  p.Obj(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
  p.Obj(5, "<< /Length 0 >>\nstream\n\nendstream");
  p.FullXref("/Size 6 /Root 1 0 R");
  reader::ExistingDocument d;
  ASSERT_TRUE(Read(p.str(), d)) << d.error;
  EXPECT_EQ(d.target.kidsArray.number, 3);
  EXPECT_EQ(d.target.kidsArray.text[d.target.kidsInsert], ']');
  EXPECT_EQ(d.target.pageCount, 1);
}

struct BadCase {
  const char* name;
  std::string bytes;
};

void PrintTo(const BadCase& c, std::ostream* os) {
  *os << c.name;
}

PdfText Tree(const std::string& root, const std::string& extra2 = "") {
  PdfText p;
  p.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
  p.Obj(2, root);
  p.Obj(3, "<< /Type /Pages /Parent 2 0 R /Count 1 /Kids [" + extra2 + "] >>");
  p.Obj(4, "<< /Type /Page /Contents 5 0 R >>");
  p.Obj(5, "<< /Length 0 >>\nstream\n\nendstream");
  return p;
}

std::string Finished(PdfText p, const std::string& trailer = "/Size 6 /Root 1 0 R") {
  p.FullXref(trailer);
  return p.str();
}

std::vector<BadCase> BadFiles() {
  std::vector<BadCase> v;
  std::string good = Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"));
  v.push_back({"empty", ""});
  v.push_back({"no_startxref", good.substr(0, good.rfind("startxref"))});
  v.push_back({"startxref_outside",
               good.substr(0, good.rfind("startxref")) + "startxref\n999999\n%%EOF\n"});
  v.push_back({"cut_in_the_table", good.substr(0, good.find("trailer") - 30) + "\nstartxref\n" +
                                       std::to_string(good.find("xref\n")) + "\n%%EOF\n"});
  v.push_back({"cut_in_the_trailer", good.substr(0, good.find("/Root")) + "\nstartxref\n" +
                                         std::to_string(good.find("xref\n")) + "\n%%EOF\n"});
  v.push_back({"page_tree_refers_to_its_root",
               Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "2 0 R"))});
  v.push_back({"page_tree_node_refers_to_itself",
               Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "3 0 R"))});
  v.push_back(
      {"kid_is_missing", Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "44 0 R"))});
  v.push_back({"catalog_listed_as_a_page",
               Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "1 0 R"))});
  v.push_back({"info_is_the_page_tree_root",
               Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"),
                        "/Size 6 /Root 1 0 R /Info 2 0 R")});
  v.push_back({"root_without_kids", Finished(Tree("<< /Type /Pages /Count 1 >>"))});
  v.push_back(
      {"no_root", Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"), "/Size 6")});
  v.push_back(
      {"root_number_elsewhere", Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"),
                                         "/Size 6 /Root 4 0 R")});
  {
    // The catalog's offset points at another object.
    std::string s = good;
    size_t e = s.find("\n", s.find("65535 f")) + 1;
    s.replace(e, 10, s.substr(e + 20, 10));
    v.push_back({"catalog_offset_wrong", s});
  }
  {
    std::string s = good;
    size_t x = s.find("xref\n");
    v.push_back({"prev_loop", s.substr(0, s.find(">>", s.find("trailer"))) + " /Prev " +
                                  std::to_string(x) + " >>\nstartxref\n" + std::to_string(x) +
                                  "\n%%EOF\n"});
  }
  v.push_back({"xref_stream_at_startxref",
               "%PDF-1.4\n1 0 obj\n<< /Type /XRef /Size 2 /W [1 2 1] >>\nstream\nendstream\n"
               "endobj\nstartxref\n9\n%%EOF\n"});
  v.push_back(
      {"hybrid_reference", Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"),
                                    "/Size 6 /Root 1 0 R /XRefStm 9")});
  v.push_back(
      {"deep_nesting", Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] /X " +
                                         std::string(300, '[') + std::string(300, ']') + " >>",
                                     "4 0 R"))});
  v.push_back({"count_larger_than_the_data",
               "%PDF-1.4\nxref\n0 99999999\n0000000000 65535 f \ntrailer\n<< /Size 3 >>\n"
               "startxref\n9\n%%EOF\n"});
  {
    PdfText p = Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R");
    p.Obj(6, "<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /AESV2 >> >> "
             "/P -4 /O <" +
                 std::string(64, '0') + "> /U <" + std::string(64, '0') + "> >>");
    v.push_back(
        {"aes_encryption", Finished(p, "/Size 7 /Root 1 0 R /Encrypt 6 0 R /ID [<00><00>]")});
  }
  {
    PdfText p = Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R");
    p.Obj(6,
          "<< /Filter /Standard /V 2 /R 3 /Length 128 /P -4 /O <" + std::string(64, '0') + "> >>");
    v.push_back({"encryption_without_u", Finished(p, "/Size 7 /Root 1 0 R /Encrypt 6 0 R")});
  }
  v.push_back({"encryption_given_directly",
               Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R"),
                        "/Size 6 /Root 1 0 R /Encrypt << /Filter /Standard >>")});
  return v;
}

class DamagedFile : public ::testing::TestWithParam<BadCase> {};

TEST_P(DamagedFile, FailsCleanly) {
  reader::ExistingDocument d;
  EXPECT_FALSE(Read(GetParam().bytes, d));
  EXPECT_FALSE(d.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Refused, DamagedFile, ::testing::ValuesIn(BadFiles()),
                         [](const ::testing::TestParamInfo<BadCase>& i) {
                           return std::string(i.param.name);
                         });

TEST(Reader, TheGoodBaseOfTheDamagedFilesReads) {
  reader::ExistingDocument d;
  EXPECT_TRUE(Read(Finished(Tree("<< /Type /Pages /Count 1 /Kids [3 0 R] >>", "4 0 R")), d))
      << d.error;
  EXPECT_EQ(d.target.pageObjects, std::vector<int>{4});
}

// Files we encrypt: without passwords the reader takes over the key and decrypts Info;
// with two passwords it cannot open the file.
TEST(Reader, EncryptedFilesOfOurOwn) {
  testsupport::ScratchDir dir;
  struct Case {
    int bits;
    const char* owner;
    const char* user;
    bool opens;
  } cases[] = {{40, "", "", true},
               {128, "owner", "", true},
               {128, "", "user", false},
               {40, "owner", "user", false}};
  for (const Case& c : cases) {
    std::string pdf = dir.file("enc.pdf");
    int h = EngineCreate(pdf.c_str());
    EngineSetInfo(h, "Plain (title)", nullptr, "Me", nullptr, nullptr);
    EngineSetOption(h, ENGINE_OPT_SECURITY, c.bits, 0, c.owner, c.user);
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
    EngineClose(h);
    std::string bytes = testsupport::ReadFile(pdf);
    reader::ExistingDocument d;
    ASSERT_EQ(Read(bytes, d), c.opens) << c.bits << " " << c.owner << " " << c.user << d.error;
    if (!c.opens) continue;
    ASSERT_TRUE(d.security);
    EXPECT_EQ(d.security->params().keyLength, c.bits / 8);
    EXPECT_EQ(d.info.texts[0], "Plain (title)");
    EXPECT_EQ(d.info.texts[2], "Me");
    EXPECT_EQ(d.info.producer.substr(0, 9), "Pictofold");
  }
}

TEST(Reader, HeaderCheck) {
  struct Case {
    std::string head;
    bool accepted;
  } cases[] = {
      {"%PDF-1.4\n", true},
      {"%PDF-1.2\n", true},
      {"\n\n  %pdf-1.3\n", true},
      {"%PDF-1.6\n", false},
      {"%PDF-1.5\n%\xE2\xE3\xCF\xD3\n", false},
      {std::string("%PDF-1.5 %\xF0\xE9\xE3\xF4\r"), true},
      {"PDF-1.4", false},
      {"", false},
      {"0123456789012345%PDF-1.4", false},
  };
  for (const Case& c : cases) {
    reader::MemorySource src(c.head.data(), c.head.size());
    EXPECT_EQ(reader::AcceptableHeader(src), c.accepted) << c.head;
  }
}

} // namespace
