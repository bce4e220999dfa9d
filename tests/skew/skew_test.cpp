#include "images/skew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory_resource>
#include <numbers>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "page_synth.h"

namespace images {
// Readable parameters in test listings.
void PrintTo(RowOrder order, std::ostream* os) {
  *os << (order == RowOrder::kTopDown ? "top-down" : "bottom-up");
}
void PrintTo(InkBit ink, std::ostream* os) {
  *os << (ink == InkBit::kOneIsBlack ? "1 is black" : "0 is black");
}
} // namespace images

namespace {

using images::BitonalPage;
using images::DetectSkew;
using images::InkBit;
using images::RotateBits;
using images::RowOrder;
using images::SkewCorrectPage;
using skewtest::DrawNoise;
using skewtest::DrawTextPage;
using skewtest::PageBuffer;
using skewtest::TextLayout;

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kTolerance = 0.3 * kDegree;

std::string OrientationName(RowOrder order, InkBit ink) {
  return std::string(order == RowOrder::kTopDown ? "TopDown" : "BottomUp") +
         (ink == InkBit::kOneIsBlack ? "OneIsBlack" : "ZeroIsBlack");
}

std::string AngleName(double degrees) {
  std::string s = std::to_string(static_cast<int>(std::lround(std::fabs(degrees) * 10)));
  return (degrees < 0 ? "Minus" : "Plus") + s + "Tenths";
}

const auto kOrders = ::testing::Values(RowOrder::kTopDown, RowOrder::kBottomUp);
const auto kInks = ::testing::Values(InkBit::kOneIsBlack, InkBit::kZeroIsBlack);

// --- Text pages at a known slope -------------------------------------------------------------

struct PageSize {
  const char* name;
  int width, height, margin;
};

void PrintTo(const PageSize& s, std::ostream* os) {
  *os << s.name;
}

class TextPageTest
    : public ::testing::TestWithParam<std::tuple<PageSize, double, RowOrder, InkBit>> {};

TEST_P(TextPageTest, DetectsTheSlopeAndStraightensThePage) {
  const auto [size, degrees, order, ink] = GetParam();
  PageBuffer buf(size.width, size.height, order, ink);
  TextLayout layout;
  layout.margin = size.margin;
  DrawTextPage(buf, degrees * kDegree, 11, layout);
  const long inkBefore = buf.CountInk();

  EXPECT_NEAR(DetectSkew(buf.page), degrees * kDegree, kTolerance);

  ASSERT_TRUE(SkewCorrectPage(buf.page));
  EXPECT_NEAR(DetectSkew(buf.page), 0.0, kTolerance);
  // Same page, same amount of text; uncovered corners became paper, not ink.
  const long inkAfter = buf.CountInk();
  EXPECT_GT(inkAfter, inkBefore * 0.95);
  EXPECT_LT(inkAfter, inkBefore * 1.05);
  EXPECT_FALSE(buf.IsInk(0, 0));
  EXPECT_FALSE(buf.IsInk(size.width - 1, size.height - 1));
  EXPECT_TRUE(buf.GuardIntact());
}

INSTANTIATE_TEST_SUITE_P(Angles, TextPageTest,
                         ::testing::Combine(::testing::Values(PageSize{"A4", 2480, 3508, 150},
                                                              PageSize{"Small", 800, 600, 40}),
                                            ::testing::Values(-5.0, -2.0, -0.5, 0.5, 2.0, 5.0),
                                            kOrders, kInks),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  AngleName(std::get<1>(info.param)) +
                                  OrientationName(std::get<2>(info.param), std::get<3>(info.param));
                         });

// --- Pages that must be left alone -----------------------------------------------------------

class OrientationTest : public ::testing::TestWithParam<std::tuple<RowOrder, InkBit>> {};

TEST_P(OrientationTest, BlankPageGivesZeroAndStaysAsItIs) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(2480, 3508, order, ink);
  const std::vector<uint8_t> before = buf.bytes;
  EXPECT_EQ(DetectSkew(buf.page), 0.0f);
  EXPECT_FALSE(SkewCorrectPage(buf.page));
  EXPECT_EQ(buf.bytes, before);
}

TEST_P(OrientationTest, StraightPageIsNotRotated) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(2480, 3508, order, ink);
  DrawTextPage(buf, 0.0, 5);
  EXPECT_NEAR(DetectSkew(buf.page), 0.0, kTolerance);
  SkewCorrectPage(buf.page);
  // Whatever tiny angle is found, the text stays level.
  EXPECT_NEAR(DetectSkew(buf.page), 0.0, kTolerance);
}

TEST_P(OrientationTest, SteepPageIsNotRotated) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(2480, 3508, order, ink);
  DrawTextPage(buf, 0.5, 3); // about 28.6 degrees
  const std::vector<uint8_t> before = buf.bytes;
  EXPECT_FALSE(SkewCorrectPage(buf.page));
  EXPECT_EQ(buf.bytes, before);
}

TEST_P(OrientationTest, RegionLimitsWhatIsMeasured) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(2480, 3508, order, ink);
  TextLayout left;
  left.textRight = 1100;
  DrawTextPage(buf, 2.0 * kDegree, 21, left);
  TextLayout right;
  right.textLeft = 1380;
  DrawTextPage(buf, -3.0 * kDegree, 22, right);
  EXPECT_NEAR(DetectSkew(buf.page, 0, 0, 1239, 3507), 2.0 * kDegree, kTolerance);
  EXPECT_NEAR(DetectSkew(buf.page, 1243, 0, 2479, 3507), -3.0 * kDegree, kTolerance);
  // Regions reaching past the page are clipped to it; empty ones measure nothing.
  EXPECT_NEAR(DetectSkew(buf.page, -50, -50, 1239, 9999), 2.0 * kDegree, kTolerance);
  EXPECT_EQ(DetectSkew(buf.page, 1500, 0, 1400, 3507), 0.0f);
  EXPECT_EQ(DetectSkew(buf.page, 3000, 0, 4000, 3507), 0.0f);
}

TEST_P(OrientationTest, NoiseDoesNotTiltThePage) {
  const auto [order, ink] = GetParam();
  for (double density : {0.7, 0.05, 0.01, 0.002}) {
    SCOPED_TRACE(density);
    PageBuffer buf(1240, 1754, order, ink);
    DrawNoise(buf, density, 9);
    const float a = DetectSkew(buf.page);
    ASSERT_TRUE(std::isfinite(a));
    EXPECT_LT(std::fabs(a), 1.0 * kDegree);
    SkewCorrectPage(buf.page);
    EXPECT_TRUE(buf.GuardIntact());
  }
}

TEST_P(OrientationTest, TextIsFoundThroughSpeckle) {
  const auto [order, ink] = GetParam();
  for (double degrees : {-3.0, 1.0}) {
    SCOPED_TRACE(degrees);
    PageBuffer buf(2480, 3508, order, ink);
    DrawTextPage(buf, degrees * kDegree, 13);
    DrawNoise(buf, 0.003, 14);
    EXPECT_NEAR(DetectSkew(buf.page), degrees * kDegree, kTolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(Orientations, OrientationTest, ::testing::Combine(kOrders, kInks),
                         [](const auto& info) {
                           return OrientationName(std::get<0>(info.param), std::get<1>(info.param));
                         });

// --- Size limits ------------------------------------------------------------------------------

struct SizeCase {
  const char* name;
  int width, height;
  bool corrected;
};

class SizeLimitTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeLimitTest, OnlyPagesUpToTheLimitAreCorrected) {
  const SizeCase& c = GetParam();
  PageBuffer buf(c.width, c.height, RowOrder::kBottomUp, InkBit::kOneIsBlack);
  TextLayout layout;
  layout.margin = 40;
  layout.lastBaseline = 560;
  layout.centreY = 300;
  DrawTextPage(buf, 2.0 * kDegree, 4, layout);
  const std::vector<uint8_t> before = buf.bytes;
  EXPECT_EQ(SkewCorrectPage(buf.page), c.corrected);
  if (!c.corrected) {
    EXPECT_EQ(buf.bytes, before);
  }
  EXPECT_TRUE(buf.GuardIntact());
}

INSTANTIATE_TEST_SUITE_P(Limits, SizeLimitTest,
                         ::testing::Values(SizeCase{"Rows10240", 800, 10240, true},
                                           SizeCase{"Rows10241", 800, 10241, false},
                                           SizeCase{"Width10240", 10240, 600, true},
                                           SizeCase{"Width10209RoundsTo10240", 10209, 600, true},
                                           SizeCase{"Width10241", 10241, 600, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Tiny and invalid pages -------------------------------------------------------------------

TEST(SkewTinyPageTest, TinyPagesAreSafe) {
  const int sizes[][2] = {{1, 1}, {31, 2}, {2, 31}, {1, 40}, {40, 1}, {33, 33}};
  for (const auto& s : sizes) {
    for (InkBit ink : {InkBit::kOneIsBlack, InkBit::kZeroIsBlack}) {
      for (bool full : {false, true}) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]));
        PageBuffer buf(s[0], s[1], RowOrder::kBottomUp, ink);
        if (full)
          for (int y = 0; y < s[1]; ++y)
            for (int x = 0; x < s[0]; ++x)
              buf.SetInk(x, y);
        EXPECT_EQ(DetectSkew(buf.page), 0.0f);
        EXPECT_FALSE(SkewCorrectPage(buf.page));
        RotateBits(buf.page, 0.3f);
        RotateBits(buf.page, -0.44f);
        EXPECT_TRUE(buf.GuardIntact());
      }
    }
  }
}

TEST(SkewInvalidPageTest, InvalidBuffersAreRefused) {
  std::vector<uint8_t> bytes(64, 0xFF);
  const BitonalPage good{bytes.data(), 16, 16, 4, RowOrder::kTopDown, InkBit::kOneIsBlack};
  EXPECT_TRUE(images::IsValidBitonalPage(good));
  BitonalPage bad[5] = {good, good, good, good, good};
  bad[0].bits = nullptr;
  bad[1].width = 0;
  bad[2].height = -1;
  bad[3].stride = 1; // 16 pixels need 2 bytes
  bad[4].width = -16;
  for (const BitonalPage& p : bad) {
    EXPECT_FALSE(images::IsValidBitonalPage(p));
    EXPECT_EQ(DetectSkew(p), 0.0f);
    EXPECT_FALSE(SkewCorrectPage(p));
    EXPECT_FALSE(RotateBits(p, 0.1f));
  }
  EXPECT_EQ(bytes, std::vector<uint8_t>(64, 0xFF));
}

// --- Rotation ---------------------------------------------------------------------------------

class RotateTest : public ::testing::TestWithParam<std::tuple<RowOrder, InkBit>> {};

// Rows (in visual coordinates) of the ink found in column x.
std::vector<int> InkRows(const PageBuffer& buf, int x) {
  std::vector<int> rows;
  for (int y = 0; y < buf.page.height; ++y)
    if (buf.IsInk(x, y)) rows.push_back(y);
  return rows;
}

TEST_P(RotateTest, PositiveAngleTurnsLinesToDescendRight) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(800, 600, order, ink);
  for (int x = 100; x < 700; ++x)
    buf.SetInk(x, 300);
  ASSERT_TRUE(RotateBits(buf.page, 0.1f));
  // The line turns about the page centre (399.5, 299.5): x = 650 moves down by about
  // 250.5 * tan(0.1) = 25 rows, x = 150 up by as much.
  for (auto [x, expected] : {std::pair{650, 325}, std::pair{150, 275}, std::pair{400, 300}}) {
    const std::vector<int> rows = InkRows(buf, x);
    ASSERT_FALSE(rows.empty()) << "column " << x;
    EXPECT_NEAR(rows.front(), expected, 2) << "column " << x;
    EXPECT_LE(rows.size(), 2u) << "column " << x;
  }
  EXPECT_TRUE(buf.GuardIntact());
}

TEST_P(RotateTest, UncoveredAreasBecomePaper) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(400, 300, order, ink);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x)
      buf.SetInk(x, y);
  ASSERT_TRUE(RotateBits(buf.page, -0.2f));
  for (auto [x, y] : {std::pair{0, 0}, std::pair{399, 0}, std::pair{0, 299}, std::pair{399, 299}})
    EXPECT_FALSE(buf.IsInk(x, y)) << x << "," << y;
  EXPECT_TRUE(buf.IsInk(200, 150));
  EXPECT_TRUE(buf.IsInk(200, 5));
  EXPECT_TRUE(buf.IsInk(5, 150));
}

TEST_P(RotateTest, RoundTripKeepsTheText) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(800, 600, order, ink);
  TextLayout layout;
  layout.margin = 60;
  DrawTextPage(buf, 0.0, 8, layout);
  const PageBuffer original = buf;
  ASSERT_TRUE(RotateBits(buf.page, 0.05f));
  ASSERT_TRUE(RotateBits(buf.page, -0.05f));
  // Nearest-pixel sampling moves an edge pixel at most by one; almost all pixels agree.
  long differ = 0, inkCount = 0;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      differ += buf.IsInk(x, y) != original.IsInk(x, y);
      inkCount += original.IsInk(x, y);
    }
  }
  EXPECT_LT(differ, inkCount / 4);
}

TEST_P(RotateTest, PaddingAndStrideBytesAreLeftAlone) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(37, 50, order, ink, /*extraStrideBytes=*/3); // 5 used bytes of 11
  for (int y = 0; y < 50; ++y) {
    uint8_t* row = buf.page.bits + static_cast<size_t>(y) * buf.page.stride;
    row[4] = static_cast<uint8_t>((row[4] & 0xF8) | 0x05); // bits past pixel 36
    for (int i = 5; i < buf.page.stride; ++i)
      row[i] = 0xC3;
    for (int x = 0; x < 37; ++x)
      buf.SetInk(x, y);
  }
  ASSERT_TRUE(RotateBits(buf.page, 0.3f));
  for (int y = 0; y < 50; ++y) {
    const uint8_t* row = buf.page.bits + static_cast<size_t>(y) * buf.page.stride;
    EXPECT_EQ(row[4] & 0x07, 0x05) << "row " << y;
    for (int i = 5; i < buf.page.stride; ++i)
      EXPECT_EQ(row[i], 0xC3) << "row " << y;
  }
  EXPECT_TRUE(buf.GuardIntact());
}

// Rotating in place must give what rotating into a fresh buffer gives, also at the largest
// angles, where each row reads source rows far above and below it.
TEST_P(RotateTest, InPlaceMatchesRotatingIntoACopy) {
  const auto [order, ink] = GetParam();
  for (auto [w, h] : {std::pair{700, 300}, std::pair{300, 700}, std::pair{257, 259}}) {
    for (double angle : {0.44, -0.44, 0.1, -0.003}) {
      SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(angle));
      PageBuffer buf(w, h, order, ink);
      DrawNoise(buf, 0.5, 17);
      const PageBuffer source = buf;
      ASSERT_TRUE(RotateBits(buf.page, static_cast<float>(angle)));
      const double a = static_cast<float>(angle);
      const double c = std::cos(a), s = std::sin(a);
      const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
      long differ = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          // Visual coordinates: the pixel that lands on (x, y) comes from R(-a)(x, y).
          const double sx = cx + (x - cx) * c + (y - cy) * s;
          const double sy = cy - (x - cx) * s + (y - cy) * c;
          const long ix = std::lround(sx), iy = std::lround(sy);
          const bool expected = ix >= 0 && ix < w && iy >= 0 && iy < h &&
                                source.IsInk(static_cast<int>(ix), static_cast<int>(iy));
          differ += buf.IsInk(x, y) != expected;
        }
      }
      // Only pixels whose source lies on a rounding boundary may differ.
      EXPECT_LT(differ, w * h / 200);
      EXPECT_TRUE(buf.GuardIntact());
    }
  }
}

TEST_P(RotateTest, NoMemoryOrTinyAngleLeavesTheBufferUnchanged) {
  const auto [order, ink] = GetParam();
  PageBuffer buf(800, 600, order, ink);
  DrawTextPage(buf, 3.0 * kDegree, 2);
  const std::vector<uint8_t> before = buf.bytes;
  EXPECT_FALSE(RotateBits(buf.page, 0.05f, std::pmr::null_memory_resource()));
  EXPECT_FALSE(RotateBits(buf.page, 0.00005f));
  EXPECT_FALSE(RotateBits(buf.page, -0.00009f));
  EXPECT_FALSE(RotateBits(buf.page, std::nanf("")));
  EXPECT_EQ(buf.bytes, before);
  // Without a pool the detector measures nothing rather than failing.
  EXPECT_EQ(DetectSkew(buf.page, 0, 0, 799, 599, std::pmr::null_memory_resource()), 0.0f);
  EXPECT_NE(DetectSkew(buf.page), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Orientations, RotateTest, ::testing::Combine(kOrders, kInks),
                         [](const auto& info) {
                           return OrientationName(std::get<0>(info.param), std::get<1>(info.param));
                         });

} // namespace
