#include <gtest/gtest.h>

#include "app/decorations.h"
#include "fake_engine.h"

namespace {

using testing_support_fake::Calls;
using testing_support_fake::FakeEngine;

TEST(Decorations, NinePositions) {
  struct Case {
    int pos, W, H, w, h, x, y;
  } cases[] = {
      {0, 595, 842, 100, 100, 3, 3},     {1, 595, 842, 100, 100, 247, 3},
      {2, 595, 842, 100, 100, 495, 3},   {3, 595, 842, 100, 100, 3, 371},
      {4, 595, 842, 100, 100, 247, 371}, {5, 595, 842, 100, 100, 495, 371},
      {6, 595, 842, 100, 100, 3, 742},   {7, 595, 842, 100, 100, 247, 742},
      {8, 612, 792, 200, 50, 412, 742},  {9, 595, 842, 10, 10, 3, 3},
      {-1, 595, 842, 10, 10, 3, 3},      {4, 595, 842, 101, 13, 247, 415},
  };
  for (const auto& c : cases) {
    app::Point p = app::NinePosition(c.pos, c.W, c.H, c.w, c.h);
    EXPECT_EQ(p.x, c.x) << c.pos;
    EXPECT_EQ(p.y, c.y) << c.pos;
  }
}

TEST(Decorations, HeaderFooterSizeFollowsThePageWidth) {
  const std::pair<int, int> cases[] = {{595, 30}, {612, 36}, {842, 48},
                                       {420, 24}, {199, 6},  {50, 6}};
  for (const auto& [W, size] : cases)
    EXPECT_EQ(app::HeaderFooterSize(W), size) << W;
}

TEST(Decorations, DrawsHeaderFooterTextAndImageInOrder) {
  FakeEngine e;
  app::DecorationSettings s;
  s.header = 1;
  s.hpos = 1;
  s.hcolor = 255;
  s.hWatermark = "%Title%";
  s.footer = 1;
  s.fpos = 2;
  s.fWatermark = "foot";
  s.text = 1;
  s.tpos = 4;
  s.tsize = 12;
  s.tWatermark = "%Title%";
  s.image = 1;
  s.imgpos = 7;
  s.imgWatermark = "/w.png";
  app::TextFilters f;
  f.expand = [](const std::string& t) { return t == "%Title%" ? std::string("Doc") : t; };
  app::DrawPageDecorations(e, 1, 595, 842, s, f);
  EXPECT_EQ(e.calls, (Calls{"opt 106 100 30", "text 282,3 Doc c255", "opt 106 100 30",
                            "text 555,822 foot c0", "opt 106 100 12", "text 262,411 %Title% c0",
                            "opt 104 247 742 100 100", "add /w.png"}));
}

TEST(Decorations, DisabledOrEmptyDecorationsMakeNoCalls) {
  FakeEngine e;
  app::DecorationSettings s;
  s.header = 0;
  s.hWatermark = "x";
  s.footer = 1; // empty text
  s.text = 1;
  s.tWatermark = "";
  s.image = 1;
  s.imgWatermark = "/w.png";
  s.imgWidth = 0;
  app::DrawPageDecorations(e, 1, 595, 842, s, {});
  s.image = 1;
  s.imgWidth = 100;
  s.imgWatermark = "";
  app::DrawPageDecorations(e, 1, 595, 842, s, {});
  EXPECT_TRUE(e.calls.empty());
}

TEST(Decorations, WideCentredHeaderGoesNegative) {
  FakeEngine e;
  app::DecorationSettings s;
  s.header = 1;
  s.hpos = 1;
  s.hWatermark = std::string(80, 'w'); // 800 points on a 595-point page
  app::DrawPageDecorations(e, 1, 595, 842, s, {});
  EXPECT_EQ(e.calls.back().substr(0, 11), "text -103,3");
}

} // namespace
