// Option and query keys through the public interface.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::ScratchDir;

class Options : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = dir_.file("o.pdf");
    h_ = EngineCreate(path_.c_str());
    ASSERT_GT(h_, 0);
  }
  void TearDown() override {
    if (h_) EngineClose(h_);
  }
  int Set(int key, int a = 0, int b = 0, const char* ta = nullptr, const char* tb = nullptr) {
    return EngineSetOption(h_, key, a, b, ta, tb);
  }
  std::string Close() {
    EngineClose(h_);
    h_ = 0;
    return path_;
  }
  ScratchDir dir_;
  std::string path_;
  int h_ = 0;
};

struct PageCase {
  int w, h;
  int result;
  int width, height; // size of the page begun (when accepted)
};

TEST_F(Options, PagePresetsAndSizeLimits) {
  const PageCase cases[] = {
      {1, 1, 1, 842, 1190},      {2, 2, 1, 594, 792},  {3, 3, 1, 421, 595},
      {4, 4, 1, 501, 709},       {5, 5, 1, 612, 792},  {6, 6, 1, 612, 1008},
      {2, 3, 0, 0, 0},           {9, 9, 0, 0, 0},      {7, 7, 0, 0, 0},
      {10, 14399, 1, 10, 14399}, {10, 14400, 0, 0, 0}, {14399, 10, 1, 14399, 10},
      {0, 5, 0, 0, 0},           {-20, 100, 0, 0, 0},  {100, 100, 1, 100, 100},
  };
  for (const auto& c : cases) {
    int before = EngineQuery(h_, 206, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Set(109, c.w, c.h), c.result) << c.w << "x" << c.h;
    int after = EngineQuery(h_, 206, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(after - before, c.result) << c.w << "x" << c.h;
    if (c.result) {
      int w = 0, h = 0;
      EXPECT_EQ(EngineQuery(h_, 209, &w, &h, nullptr, nullptr), c.width);
      EXPECT_EQ(w, c.width);
      EXPECT_EQ(h, c.height);
      char height[] = "height";
      EXPECT_EQ(EngineQuery(h_, 209, nullptr, nullptr, height, nullptr), c.height);
    }
  }
  EXPECT_EQ(Set(109, 0, 0), 1);
  EXPECT_EQ(Set(109, 0, 0), 1) << "ending with no page open changes nothing";
  auto r = Pikepdf(Close(), "pdf = pikepdf.open(sys.argv[1])\n"
                            "print(' '.join('%dx%d' % (int(p.MediaBox[2]), int(p.MediaBox[3])) "
                            "for p in pdf.pages))");
  EXPECT_EQ(r.out, "842x1190 594x792 421x595 501x709 612x792 612x1008 10x14399 14399x10 100x100\n");
}

TEST_F(Options, RotationSteps) {
  const std::pair<int, int> cases[] = {{0, 0},     {45, 0},    {46, 90},   {135, 90},
                                       {136, 180}, {225, 180}, {226, 270}, {315, 270},
                                       {316, 0},   {-90, 0},   {360, 0}};
  for (const auto& [angle, expected] : cases) {
    EXPECT_EQ(Set(122, angle), 1);
    Set(109, 2, 2);
    Set(109, 0, 0);
  }
  auto r = Pikepdf(Close(), "pdf = pikepdf.open(sys.argv[1])\n"
                            "print([int(p.obj.get('/Rotate', 0)) for p in pdf.pages])");
  std::string expected = "[";
  for (size_t i = 0; i < std::size(cases); ++i)
    expected += (i ? ", " : "") + std::to_string(cases[i].second);
  EXPECT_EQ(r.out, expected + "]\n");
}

TEST_F(Options, FrameRangeChecksAndResetAtPageSteps) {
  struct Case {
    int a, b, result, first, count;
  } cases[] = {
      {3, 2, 1, 3, 2}, {0, 0, 1, 1, 0}, {-1, 0, 0, 1, 0},    {2, 0, 0, 1, 0},
      {0, 4, 0, 1, 0}, {1, 1, 1, 1, 1}, {5, 100, 1, 5, 100},
  };
  for (const auto& c : cases) {
    Set(101, 0, 0);
    EXPECT_EQ(Set(101, c.a, c.b), c.result) << c.a << "," << c.b;
    int first = -1, count = -1;
    EXPECT_EQ(EngineQuery(h_, 215, &first, &count, nullptr, nullptr), 1);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(count, c.count);
  }
  Set(101, 3, 2);
  Set(109, 2, 2);
  int first = 0, count = 0;
  EngineQuery(h_, 215, &first, &count, nullptr, nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count, 0);
  Set(101, 3, 2);
  Set(109, 0, 0);
  EngineQuery(h_, 215, &first, &count, nullptr, nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count, 0);
}

TEST_F(Options, CompressionNamesPerClass) {
  struct Case {
    int cls;
    const char* name;
    int result;
    const char* stored;
  } cases[] = {
      {1, "g4", 1, "g4"},
      {1, "G3", 1, "g3"},
      {1, "LZW", 1, "lzw"},
      {1, "zip", 1, "zip"},
      {1, "packbits", 0, "zip"},
      {1, "jpeg", 0, "zip"},
      {2, "PackBits", 1, "packbits"},
      {2, "jpg", 1, "jpeg"},
      {2, "g4", 0, "jpeg"},
      {3, "JPEG", 1, "jpeg"},
      {3, "zip", 1, "zip"},
      {3, "tiff", 0, "zip"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Set(123, c.cls, 0, c.name), c.result) << c.cls << " " << c.name;
    char buf[16] = "xxxxxxxxxxxxxxx";
    int r = EngineQuery(h_, 210, reinterpret_cast<int*>(static_cast<intptr_t>(c.cls)), nullptr, buf,
                        nullptr);
    EXPECT_EQ(r, c.cls == 3 ? 1 : 0);
    EXPECT_STREQ(buf, c.stored) << c.cls << " " << c.name;
  }
  EXPECT_EQ(Set(123, 4, 0, "zip"), 0);
  EXPECT_EQ(Set(123, 1, 0, nullptr), 0);
  EXPECT_EQ(Set(124), 1);
  char buf[16] = "xx";
  EngineQuery(h_, 210, reinterpret_cast<int*>(intptr_t{3}), nullptr, buf, nullptr);
  EXPECT_STREQ(buf, "");
}

TEST_F(Options, StoredFlagsReadBack) {
  int v = -1;
  EXPECT_EQ(Set(126, 1), 1);
  EXPECT_EQ(EngineQuery(h_, 212, &v, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Set(126, 0), 1);
  EXPECT_EQ(EngineQuery(h_, 212, &v, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(Set(127, 5), 1);
  EXPECT_EQ(EngineQuery(h_, 213, &v, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(Set(128, 85), 1) << "quality is stored and accepted";
  EXPECT_EQ(EngineQuery(h_, 214, &v, nullptr, nullptr, nullptr), 85);
  EXPECT_EQ(v, 85);
  EXPECT_EQ(Set(131, 1), 1);
  EXPECT_EQ(Set(131, 0), 1);
  EXPECT_EQ(Set(132, 1), 1);
  EXPECT_EQ(Set(112, 50), 1);
  EXPECT_EQ(Set(112, 101), 0);
  EXPECT_EQ(Set(112, -1), 0);
  EXPECT_EQ(Set(107, 9), 1);
  EXPECT_EQ(Set(104, 10, 20, "300", "200"), 1);
  EXPECT_EQ(Set(111, 0, 0, "Me"), 0);
  // Unknown keys are refused; small integers stand in for output pointers.
  for (int key : {0, 100, 102, 113, 125, 129, 200, 999})
    EXPECT_EQ(Set(key, 1, 1, "x", "y"), 0) << key;
  EXPECT_EQ(EngineQuery(h_, 209, reinterpret_cast<int*>(intptr_t{5}), nullptr, nullptr, nullptr),
            594);
  EXPECT_EQ(EngineQuery(h_, 777, &v, &v, nullptr, nullptr), 0);
}

TEST_F(Options, BookmarksAreCutAndNeedText) {
  Set(109, 2, 2);
  EXPECT_EQ(Set(110, 0, 0, nullptr), 0);
  EXPECT_EQ(Set(110, 0, 0, ""), 0);
  std::string longTitle(300, 'x');
  EXPECT_EQ(Set(110, 0, 0, longTitle.c_str()), 1);
  Set(109, 2, 2); // ends the first page with its bookmark
  Set(109, 2, 2); // no title on page 2
  EXPECT_EQ(Set(110, 0, 0, "Third"), 1);
  auto r = Pikepdf(Close(), R"(
pdf = pikepdf.open(sys.argv[1])
with pdf.open_outline() as o:
    for item in o.root:
        print(len(item.title), [p.objgen for p in pdf.pages].index(item.destination[0].objgen) + 1)
)");
  EXPECT_EQ(r.out, "255 1\n5 3\n");
}

struct ViewerCase {
  int bits, start;
  const char* expected; // PageMode, OpenAction destination and page, preferences
};

TEST(ViewerOptions, BitsSelectModeActionAndPreferences) {
  const ViewerCase cases[] = {
      {0, 0, "None None []"},
      {0x1, 0, "/UseNone None []"},
      {0x1 | 0x8, 0, "/FullScreen None []"},
      {0x4, 3, "/UseThumbs /Fit@3 []"},
      {0x40, 0, "None /Fit@1 []"},
      {0x40 | 0x80, 2, "None /FitH@2 []"},
      {0x3F000, 9,
       "None /Fit@4 ['/CenterWindow', '/DisplayDocTitle', '/FitWindow', "
       "'/HideMenubar', '/HideToolbar', '/HideWindowUI']"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::string pdf = dir.file("v.pdf");
    int h = EngineCreate(pdf.c_str());
    EXPECT_EQ(EngineSetOption(h, 121, c.bits, c.start, nullptr, nullptr), 1);
    for (int i = 0; i < 4; ++i)
      EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
    EngineClose(h);
    EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));
    auto r = Pikepdf(pdf, R"(
pdf = pikepdf.open(sys.argv[1])
root = pdf.Root
mode = str(root.PageMode) if '/PageMode' in root else 'None'
if '/OpenAction' in root:
    oa = root.OpenAction
    act = str(oa[1]) + '@' + str([p.objgen for p in pdf.pages].index(oa[0].objgen) + 1)
else:
    act = 'None'
prefs = sorted(str(k) for k in root.ViewerPreferences.keys()) if '/ViewerPreferences' in root else []
print(mode, act, prefs)
)");
    EXPECT_EQ(r.out, std::string(c.expected) + "\n") << std::hex << c.bits;
  }
}

} // namespace
