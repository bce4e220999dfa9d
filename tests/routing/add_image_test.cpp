// EngineAddImage end to end: fixtures made by an independent image library (Pillow), PDFs
// judged by qpdf, pikepdf and mupdf.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "converter/loader.h"
#include "engine/engine.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::QpdfCheckClean;
using testsupport::Quote;

using testsupport::ScratchDir;

// Runs a Pillow snippet with `out` bound to the folder for fixtures.
void MakeFixtures(const ScratchDir& dir, const std::string& python) {
  std::string script =
      "import sys, math\nfrom PIL import Image, ImageDraw\nout = sys.argv[1]\n" + python + "\n";
  auto r =
      testsupport::Run("/usr/bin/python3 -c " + Quote(script) + " " + Quote(dir.path().string()));
  ASSERT_EQ(r.status, 0) << r.out;
}

// Files of ours in the temporary folder: names start with a handle and "daap", "dabp" or "dacp".
int OurTempFiles(const std::string& folder) {
  int n = 0;
  DIR* d = opendir(folder.c_str());
  if (!d) return 0;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.find("daap") != std::string::npos || name.find("dabp") != std::string::npos ||
        name.find("dacp") != std::string::npos)
      ++n;
  }
  closedir(d);
  return n;
}

class AddImage : public ::testing::Test {
protected:
  void SetUp() override {
    tmp_ = dir_.file("tmp");
    std::filesystem::create_directory(tmp_);
    setenv("TMPDIR", tmp_.c_str(), 1);
    MakeFixtures(dir_, R"(
Image.new('RGB', (64, 48), (200, 30, 40)).save(out + '/photo.png')
Image.new('RGB', (64, 48), (20, 130, 240)).save(out + '/photo_png.jpg', format='PNG')
Image.new('L', (40, 30), 90).save(out + '/grey.bmp')
bw = Image.new('1', (100, 60), 1)
ImageDraw.Draw(bw).rectangle((10, 10, 50, 40), fill=0)
bw.save(out + '/bitonal.png')
bw.save(out + '/bitonal.bmp')
pages = []
for k in range(5):
    p = Image.new('1', (80, 50), 1)
    ImageDraw.Draw(p).rectangle((5 + 10 * k, 5, 15 + 10 * k, 45), fill=0)
    pages.append(p)
pages[0].save(out + '/five.tif', compression='group4', save_all=True, append_images=pages[1:])
rgba = Image.new('RGBA', (20, 20), (0, 0, 255, 0))
ImageDraw.Draw(rgba).rectangle((5, 5, 14, 14), fill=(0, 0, 255, 255))
rgba.save(out + '/alpha.png')
frames = [Image.new('P', (30, 20), k) for k in range(3)]
for f in frames: f.putpalette([255,255,255, 255,0,0, 0,255,0] + [0]*759)
frames[0].save(out + '/three.gif', save_all=True, append_images=frames[1:])
Image.new('RGB', (32, 32), (0, 255, 0)).save(out + '/two.ico', sizes=[(16, 16), (32, 32)])
open(out + '/notes.jpg', 'w').write('just some text\n')
open(out + '/empty.png', 'w').close()
)");
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  // Adds the files in order to a fresh document; returns each result.
  std::vector<int> Add(const std::vector<std::string>& names, int frameFirst = 0,
                       int frameCount = 0, const std::string& pdf = "out.pdf") {
    int h = EngineCreate(dir_.file(pdf).c_str());
    EXPECT_GT(h, 0);
    std::vector<int> results;
    for (const auto& n : names) {
      EngineSetOption(h, 101, frameFirst, frameCount, nullptr, nullptr);
      results.push_back(EngineAddImage(h, dir_.file(n).c_str()));
      EXPECT_EQ(OurTempFiles(tmp_), 0) << "after " << n;
    }
    EngineClose(h);
    EXPECT_TRUE(QpdfCheckClean(dir_.file(pdf)));
    return results;
  }

  std::string Images(const std::string& pdf = "out.pdf") {
    auto r = Pikepdf(dir_.file(pdf), R"(
pdf = pikepdf.open(sys.argv[1])
out = []
for p in pdf.pages:
    for name, x in p.images.items():
        f = x.get('/Filter')
        f = str(f[0] if isinstance(f, pikepdf.Array) else f)
        out.append('%s:%dx%d' % (f.replace('/', ''), int(x.Width), int(x.Height)))
print(len(pdf.pages), ' '.join(out))
)");
    return r.out;
  }

  ScratchDir dir_;
  std::string tmp_;
};

TEST_F(AddImage, FormatsTakeTheirRoutes) {
  converter::Plugin::Instance().Load(testsupport::BinPath(""));
  auto results = Add({"photo.png", "photo_png.jpg", "grey.bmp", "bitonal.png", "bitonal.bmp",
                      "five.tif", "alpha.png", "three.gif"});
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1}));
  // A PNG named .jpg takes the library route and becomes a DCT image; bitonal images become
  // CCITT; every TIFF page is a page; the GIF's three frames come through the plug-in.
  EXPECT_EQ(Images(),
            "14 DCTDecode:64x48 DCTDecode:64x48 DCTDecode:40x30 CCITTFaxDecode:100x60 "
            "CCITTFaxDecode:100x60 CCITTFaxDecode:80x50 CCITTFaxDecode:80x50 "
            "CCITTFaxDecode:80x50 CCITTFaxDecode:80x50 CCITTFaxDecode:80x50 DCTDecode:20x20 "
            "FlateDecode:30x20 FlateDecode:30x20 FlateDecode:30x20\n");
}

TEST_F(AddImage, RefusalsAddNothingAndLeaveNoTemporaryFile) {
  converter::Plugin::Instance().Unload();
  auto results = Add({"notes.jpg", "empty.png", "three.gif", "two.ico", "missing.png"});
  EXPECT_EQ(results, (std::vector<int>{-1, -1, -1, -1, -1}));
  EXPECT_EQ(Images(), "0 \n");
  int h = EngineCreate(dir_.file("x.pdf").c_str());
  EXPECT_EQ(EngineAddImage(0, dir_.file("photo.png").c_str()), 0);
  EXPECT_EQ(EngineAddImage(h + 5, dir_.file("photo.png").c_str()), 0);
  EXPECT_EQ(EngineAddImage(h, ""), 0);
  EXPECT_EQ(EngineAddImage(h, nullptr), 0);
  EngineClose(h);
  EXPECT_EQ(OurTempFiles(tmp_), 0);
}

TEST_F(AddImage, FrameRanges) {
  struct Case {
    const char* file;
    int first, count, result, pages;
  } cases[] = {
      {"five.tif", 2, 3, 1, 3}, {"five.tif", 4, 3, -1, 0},   {"five.tif", 5, 1, 1, 1},
      {"five.tif", 0, 0, 1, 5}, {"bitonal.bmp", 1, 1, 1, 1}, {"bitonal.bmp", 2, 1, -1, 0},
  };
  for (const auto& c : cases) {
    auto r = Add({c.file}, c.first, c.count);
    EXPECT_EQ(r[0], c.result) << c.file << " " << c.first << "," << c.count;
    EXPECT_EQ(Images().substr(0, 2), std::to_string(c.pages) + " ") << c.file << " " << c.first;
  }
  // The pages chosen are the right ones: page k of the fixture has its bar at x = 5 + 10k.
  Add({"five.tif"}, 2, 3);
  auto r = testsupport::Run("mutool draw -q -r 72 -c rgb -F pnm -o " + Quote(dir_.file("p%d.pnm")) +
                            " " + Quote(dir_.file("out.pdf")));
  ASSERT_EQ(r.status, 0) << r.out;
  for (int page = 1; page <= 3; ++page) {
    std::string pnm = testsupport::ReadFile(dir_.file("p" + std::to_string(page) + ".pnm"));
    size_t header = 0;
    for (int lines = 0; lines < 3; ++header)
      if (pnm[header] == '\n') ++lines;
    int width = 80;
    auto dark = [&](int x, int y) {
      size_t i = header + (static_cast<size_t>(y) * width + x) * 3;
      return static_cast<unsigned char>(pnm[i]) < 128;
    };
    int bar = 5 + 10 * page; // pages 2, 3, 4 of the file are k = 1, 2, 3
    EXPECT_TRUE(dark(bar + 5, 25)) << "page " << page;
    EXPECT_FALSE(dark(bar - 3, 25)) << "page " << page;
    EXPECT_FALSE(dark(2, 2)) << "black on white, page " << page;
  }
}

TEST_F(AddImage, BitonalPagesStayBlackOnWhiteForEveryChoice) {
  struct Case {
    const char* name; // black/white compression, "" for None
    const char* filter;
  } cases[] = {{"", "CCITTFaxDecode"},
               {"g4", "CCITTFaxDecode"},
               {"g3", "CCITTFaxDecode"},
               {"lzw", "LZWDecode"},
               {"zip", "FlateDecode"}};
  for (const auto& c : cases) {
    int h = EngineCreate(dir_.file("bw.pdf").c_str());
    if (*c.name) EngineSetOption(h, 123, 1, 0, c.name, nullptr);
    EngineSetOption(h, 101, 1, 1, nullptr, nullptr);
    EXPECT_EQ(EngineAddImage(h, dir_.file("five.tif").c_str()), 1);
    EngineClose(h);
    EXPECT_EQ(Images("bw.pdf"), std::string("1 ") + c.filter + ":80x50\n") << c.name;
    auto r = testsupport::Run("mutool draw -q -r 72 -c gray -F pgm -o " +
                              Quote(dir_.file("bw.pgm")) + " " + Quote(dir_.file("bw.pdf")));
    ASSERT_EQ(r.status, 0) << r.out;
    std::string pgm = testsupport::ReadFile(dir_.file("bw.pgm"));
    size_t header = 0;
    for (int lines = 0; lines < 3; ++header)
      if (pgm[header] == '\n') ++lines;
    auto grey = [&](int x, int y) {
      return static_cast<unsigned char>(pgm[header + static_cast<size_t>(y) * 80 + x]);
    };
    EXPECT_GT(grey(2, 2), 200) << "paper, " << c.name;
    EXPECT_LT(grey(10, 25), 50) << "ink, " << c.name;
  }
}

TEST_F(AddImage, JpegQualityDecidesPassThrough) {
  MakeFixtures(dir_, "Image.new('RGB', (50, 40), (10, 200, 100)).save(out + '/a.jpg', quality=95)");
  for (int quality : {0, 40}) {
    int h = EngineCreate(dir_.file("q.pdf").c_str());
    EngineSetOption(h, 128, quality, 0, nullptr, nullptr);
    EXPECT_EQ(EngineAddImage(h, dir_.file("a.jpg").c_str()), 1);
    EngineClose(h);
    auto r = Pikepdf(dir_.file("q.pdf"), R"(
pdf = pikepdf.open(sys.argv[1])
data = list(pdf.pages[0].images.values())[0].read_raw_bytes()
print(data == open(sys.argv[1].replace('q.pdf', 'a.jpg'), 'rb').read())
)");
    EXPECT_EQ(r.out, quality == 0 ? "True\n" : "False\n") << quality;
  }
}

TEST_F(AddImage, ImageQueries) {
  converter::Plugin::Instance().Load(testsupport::BinPath(""));
  int h = EngineCreate(dir_.file("q.pdf").c_str());
  struct Case {
    const char* file;
    int frames, width, height;
  } cases[] = {{"photo.png", 1, 64, 48},
               {"five.tif", 5, 80, 50},
               {"three.gif", 3, 30, 20},
               {"grey.bmp", 1, 40, 30},
               {"notes.jpg", 0, 0, 0}};
  for (const auto& c : cases) {
    std::string p = dir_.file(c.file);
    EXPECT_EQ(EngineQuery(h, 201, nullptr, nullptr, p.data(), nullptr), c.frames) << c.file;
    int w = -1, hh = -1;
    EXPECT_EQ(EngineQuery(h, 202, &w, &hh, p.data(), nullptr), c.width) << c.file;
    if (c.frames) {
      EXPECT_EQ(w, c.width);
      EXPECT_EQ(hh, c.height);
    }
  }
  // A JPEG without a stated resolution reads as 72 x 72.
  MakeFixtures(dir_, "Image.new('RGB', (8, 8)).save(out + '/nodpi.jpg', dpi=(0, 0))");
  std::string nodpi = dir_.file("nodpi.jpg");
  int x = 0, y = 0;
  EXPECT_EQ(EngineQuery(h, 204, &x, &y, nodpi.data(), nullptr), 72);
  EXPECT_EQ(x, 72);
  EXPECT_EQ(y, 72);
  std::string bw = dir_.file("bitonal.png");
  EXPECT_EQ(EngineQuery(h, 211, nullptr, nullptr, bw.data(), nullptr), 1);
  EngineClose(h);
}

TEST_F(AddImage, SkewCorrectionStraightensBitonalTiffPages) {
  // A page of dark "words" tilted by 2 degrees.
  MakeFixtures(dir_, R"(
img = Image.new('1', (1200, 1000), 1)
d = ImageDraw.Draw(img)
for row in range(14):
    x = 60
    k = row
    while x < 1100:
        w = 10 + (k * 7) % 15
        d.rectangle((x, 60 + row * 60, x + w, 60 + row * 60 + 22), fill=0)
        x += w + 6 + (14 if k % 5 == 4 else 0)
        k += 1
img.rotate(2, fillcolor=1).save(out + '/tilted.tif', compression='group4')
)");
  auto angleOf = [&](const std::string& pdf) {
    // Fit a line through the dark pixels of one text row on the rendered page.
    auto r = testsupport::Run("mutool draw -q -r 72 -F pgm -o " + Quote(dir_.file("t.pgm")) + " " +
                              Quote(dir_.file(pdf)));
    EXPECT_EQ(r.status, 0) << r.out;
    // The angle whose row projection of the ink is sharpest is the page's text angle.
    auto fit = testsupport::Run("/usr/bin/python3 -c " + Quote(R"(
import sys, math
from PIL import Image
im = Image.open(sys.argv[1]).convert('L'); w, h = im.size; px = im.load()
ink = [(x, y) for y in range(h) for x in range(0, w, 3) if px[x, y] < 128]
def sharpness(deg):
    t = math.tan(math.radians(deg)); hist = {}
    for x, y in ink:
        k = int(y - x * t); hist[k] = hist.get(k, 0) + 1
    return sum(v * v for v in hist.values())
best = max((a / 4 for a in range(-12, 13)), key=sharpness)
best = max((best + a / 50 for a in range(-12, 13)), key=sharpness)
print('%.3f' % best)
)") + " " + Quote(dir_.file("t.pgm")));
    EXPECT_EQ(fit.status, 0) << fit.out;
    return std::atof(fit.out.c_str());
  };
  for (int skew : {0, 1}) {
    std::string pdf = "skew" + std::to_string(skew) + ".pdf";
    int h = EngineCreate(dir_.file(pdf).c_str());
    EngineSetOption(h, 126, skew, 0, nullptr, nullptr);
    EXPECT_EQ(EngineAddImage(h, dir_.file("tilted.tif").c_str()), 1);
    EngineClose(h);
    double angle = angleOf(pdf);
    if (skew)
      EXPECT_LT(std::fabs(angle), 0.3) << angle;
    else
      EXPECT_GT(std::fabs(angle), 1.7) << angle;
  }
}

} // namespace
