// What independent readers make of drawn text and lines: poppler's word boxes and the pixels
// that poppler and mupdf render.
#include <regex>
#include <sstream>

#include "text_test_util.h"

namespace {

using testsupport::Quote;

using texttest::Document;
using texttest::Measure;

struct Word {
  double xMin, yMin, xMax, yMax;
  std::string text;
};

// Word boxes in points from the top-left corner of page 1.
std::vector<Word> Words(const std::string& pdf) {
  testsupport::RunResult r = testsupport::Run("pdftotext -bbox -f 1 -l 1 " + Quote(pdf) + " -");
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<Word> words;
  std::regex re(
      R"rx(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*)</word>)rx");
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), re); it != std::sregex_iterator();
       ++it) {
    const std::smatch& m = *it;
    std::string text = m[5];
    text = std::regex_replace(text, std::regex("&amp;"), "&");
    words.push_back({std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), text});
  }
  return words;
}

TEST(TextPlacement, WordsWhereDrawnInOrder) {
  Document doc;
  EngineSetOption(doc.h(), 109, 595, 842, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, 100, 20, nullptr, nullptr);
  ASSERT_EQ(EngineDrawText(doc.h(), 100, 200, "first (a) b\\c\nsecond", 0), 1);
  doc.Close();
  std::vector<Word> w = Words(doc.path());
  ASSERT_EQ(w.size(), 4u);
  const char* expected[] = {"first", "(a)", "b\\c", "second"};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(w[static_cast<size_t>(i)].text, expected[i]);
  EXPECT_NEAR(w[0].xMin, 100, 0.5);
  // The box of a line of size s starts at y and the glyphs stand on y + s.
  EXPECT_GE(w[0].yMin, 200);
  EXPECT_LE(w[0].yMax, 200 + 20 * 1.25);
  EXPECT_LT(w[0].xMax, w[1].xMin);
  // The line feed starts the next line at the same left edge, one size lower.
  EXPECT_NEAR(w[3].xMin, 100, 0.5);
  EXPECT_NEAR(w[3].yMin - w[0].yMin, 20, 0.5);
}

struct WidthCase {
  int code, size;
  const char* text;
};

const WidthCase kWidths[] = {
    {100, 30, "Page 1 of 12"}, {101, 24, "Header: Quarterly"}, {200, 17, "Times-Roman words"},
    {203, 40, "Italic Bold"},  {300, 11, "monospaced text"},   {102, 9, "small-print, tiny"},
};

void PrintTo(const WidthCase& c, std::ostream* os) {
  *os << c.code << " " << c.size << " " << c.text;
}

class WidthTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P(WidthTest, MeasuredWidthMatchesRenderedGlyphs) {
  const WidthCase& c = GetParam();
  Document doc;
  EngineSetOption(doc.h(), 109, 1, 1, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, c.code, c.size, nullptr, nullptr);
  int width = Measure(doc.h(), 250, 0, 0, c.text);
  ASSERT_EQ(EngineDrawText(doc.h(), 50, 50, c.text, 0), 1);
  doc.Close();
  std::vector<Word> w = Words(doc.path());
  ASSERT_FALSE(w.empty());
  EXPECT_NEAR(w.back().xMax - w.front().xMin, width, 1.0) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Text, WidthTest, ::testing::ValuesIn(kWidths));

struct Pixmap {
  int width = 0, height = 0;
  std::string rgb;
  // Red, green, blue of a pixel.
  std::array<int, 3> at(int x, int y) const {
    size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
            static_cast<unsigned char>(rgb[i + 2])};
  }
};

// Reads a binary PPM (P6, maxval 255).
Pixmap ReadPpm(const std::string& path) {
  Pixmap p;
  std::string bytes = testsupport::ReadFile(path);
  std::istringstream in(bytes);
  std::string magic;
  int maxval = 0;
  in >> magic >> p.width >> p.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return Pixmap{};
  p.rgb = bytes.substr(static_cast<size_t>(in.tellg()));
  if (p.rgb.size() < static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 3)
    return Pixmap{};
  return p;
}

bool IsRed(const std::array<int, 3>& c) {
  return c[0] > 200 && c[1] < 60 && c[2] < 60;
}
bool IsBlue(const std::array<int, 3>& c) {
  return c[2] > 200 && c[0] < 60 && c[1] < 60;
}
bool IsWhite(const std::array<int, 3>& c) {
  return c[0] > 240 && c[1] > 240 && c[2] > 240;
}

TEST(Rendering, RedTextAndBlueLine) {
  Document doc;
  EngineSetOption(doc.h(), 109, 300, 200, nullptr, nullptr);
  EngineSetOption(doc.h(), 106, 101, 60, nullptr, nullptr);
  ASSERT_EQ(EngineDrawText(doc.h(), 20, 20, "IIII", 255), 1);
  ASSERT_EQ(EngineDrawLine(doc.h(), 20, 150, 280, 150, 4, 0xFF0000), 1);
  doc.Close();
  ASSERT_TRUE(testsupport::QpdfCheckClean(doc.path()));

  // Poppler: the text's pixels are red and nothing is black.
  std::string base = doc.file("poppler");
  ASSERT_EQ(testsupport::Run("pdftoppm -r 72 -f 1 -l 1 -singlefile " + Quote(doc.path()) + " " +
                             Quote(base))
                .status,
            0);
  Pixmap text = ReadPpm(base + ".ppm");
  ASSERT_EQ(text.width, 300);
  int red = 0, dark = 0;
  for (int y = 20; y < 80; ++y)
    for (int x = 20; x < 200; ++x) {
      auto c = text.at(x, y);
      red += IsRed(c);
      dark += c[0] < 100 && c[1] < 100 && c[2] < 100;
    }
  EXPECT_GT(red, 200);
  EXPECT_EQ(dark, 0);

  // mupdf: a 4-point blue band around y = 150 from x = 20 to 280, white outside it.
  std::string ppm = doc.file("mupdf.ppm");
  ASSERT_EQ(
      testsupport::Run("mutool draw -q -r 72 -o " + Quote(ppm) + " " + Quote(doc.path()) + " 1")
          .status,
      0);
  Pixmap line = ReadPpm(ppm);
  ASSERT_EQ(line.width, 300);
  ASSERT_EQ(line.height, 200);
  for (int x : {25, 150, 275}) {
    EXPECT_TRUE(IsBlue(line.at(x, 149))) << x;
    EXPECT_TRUE(IsBlue(line.at(x, 150))) << x;
    EXPECT_TRUE(IsWhite(line.at(x, 146))) << x;
    EXPECT_TRUE(IsWhite(line.at(x, 154))) << x;
  }
  EXPECT_TRUE(IsWhite(line.at(10, 150)));
  EXPECT_TRUE(IsWhite(line.at(290, 150)));
}

} // namespace
