// Bookmarks of pages: the outline written at close, read back with pikepdf.
#include "text_test_util.h"

namespace {

using testsupport::Pikepdf;
using texttest::Document;

// Prints the root's count and page mode, then per entry its title (as UTF-8), the page it
// shows (from 1), and whether its neighbours link back to it.
const char kOutline[] = R"(
pdf = pikepdf.open(sys.argv[1])
root = pdf.Root
if '/Outlines' not in root:
    print('none', root.get('/PageMode', '-'))
    sys.exit(0)
o = root.Outlines
print('count', o.get('/Count', 0), root.get('/PageMode', '-'))
pages = [p.objgen for p in pdf.pages]
e = o.get('/First')
prev = None
while e is not None:
    linked = (prev is None and '/Prev' not in e) or (prev is not None and e.Prev.objgen == prev.objgen)
    assert e.Parent.objgen == o.objgen
    print('entry', str(e.Title), pages.index(e.Dest[0].objgen) + 1, str(e.Dest[1]), linked)
    prev = e
    e = e.get('/Next')
assert o.Last.objgen == prev.objgen
)";

std::string Outline(const std::string& pdf) {
  testsupport::RunResult r = Pikepdf(pdf, kOutline);
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

int Begin(int h) {
  return EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
}
int Title(int h, const char* t) {
  return EngineSetOption(h, 110, 0, 0, t, nullptr);
}

TEST(Outline, ThreeTitledPages) {
  Document doc;
  for (const char* t : {"One", "Two (2)", "Three"}) {
    Begin(doc.h());
    EXPECT_EQ(Title(doc.h(), t), 1);
  }
  doc.Close();
  EXPECT_EQ(Outline(doc.path()), "count 3 /UseOutlines\n"
                                 "entry One 1 /Fit True\n"
                                 "entry Two (2) 2 /Fit True\n"
                                 "entry Three 3 /Fit True\n");
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(Outline, PageWithoutTitleGetsNoEntry) {
  Document doc;
  Begin(doc.h());
  Title(doc.h(), "First");
  Begin(doc.h());
  Begin(doc.h());
  Title(doc.h(), "Third");
  EngineSetOption(doc.h(), 109, 0, 0, nullptr, nullptr);
  doc.Close();
  EXPECT_EQ(Outline(doc.path()),
            "count 2 /UseOutlines\nentry First 1 /Fit True\nentry Third 3 /Fit True\n");
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(Outline, NoTitlesNoOutline) {
  Document doc;
  Begin(doc.h());
  Begin(doc.h());
  EXPECT_EQ(Title(doc.h(), ""), 0);
  EXPECT_EQ(Title(doc.h(), nullptr), 0);
  doc.Close();
  EXPECT_EQ(Outline(doc.path()), "none -\n");
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(Outline, TitleSetBetweenPagesGoesToNextPageEnded) {
  Document doc;
  Begin(doc.h());
  EngineSetOption(doc.h(), 109, 0, 0, nullptr, nullptr);
  Title(doc.h(), "Later");
  Begin(doc.h());
  doc.Close(); // ends the open page with its bookmark
  EXPECT_EQ(Outline(doc.path()), "count 1 /UseOutlines\nentry Later 2 /Fit True\n");
}

TEST(Outline, ChosenPageModeIsKept) {
  Document doc;
  EngineSetOption(doc.h(), 121, 0x4, 0, nullptr, nullptr);
  Begin(doc.h());
  Title(doc.h(), "T");
  doc.Close();
  EXPECT_EQ(Outline(doc.path()), "count 1 /UseThumbs\nentry T 1 /Fit True\n");
}

TEST(Outline, Utf16TitleKeepsItsCharacters) {
  Document doc;
  Begin(doc.h());
  // "Ünï" in UTF-16BE with its byte-order mark; the text holds NUL bytes.
  const char title[] = "\xFE\xFF\x00\xDC\x00n\x00\xEF\x00\x00";
  EXPECT_EQ(Title(doc.h(), title), 1);
  doc.Close();
  EXPECT_EQ(Outline(doc.path()), "count 1 /UseOutlines\nentry \xC3\x9Cn\xC3\xAF 1 /Fit True\n");
  EXPECT_TRUE(testsupport::QpdfCheckClean(doc.path()));
}

TEST(Outline, LongTitlesAreCutTo255Characters) {
  Document doc;
  Begin(doc.h());
  std::string narrow(300, 'a');
  Title(doc.h(), narrow.c_str());
  Begin(doc.h());
  std::string wide = "\xFE\xFF";
  for (int i = 0; i < 300; ++i)
    wide += std::string("\x00"
                        "b",
                        2);
  wide += std::string("\x00\x00", 2);
  Title(doc.h(), wide.c_str());
  doc.Close();
  EXPECT_EQ(Outline(doc.path()), "count 2 /UseOutlines\nentry " + std::string(255, 'a') +
                                     " 1 /Fit True\nentry " + std::string(255, 'b') +
                                     " 2 /Fit True\n");
}

} // namespace
