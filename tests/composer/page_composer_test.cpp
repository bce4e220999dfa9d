// The composer's calls, checked one by one against a recording engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/page_composer.h"
#include "fake_engine.h"

namespace {

using app::PageComposer;
using app::PageLayout;

using testing_support_fake::Calls;
using testing_support_fake::FakeEngine;

struct Fixture {
  FakeEngine engine;
  std::vector<std::string> decorated;
  PageComposer Make(const PageLayout& l) {
    return PageComposer(engine, l, [this](int, int w, int h) {
      decorated.push_back(std::to_string(w) + "x" + std::to_string(h));
      engine.calls.push_back("decorate");
    });
  }
};

TEST(Composer, ImageSizePagesFollowTheResolution) {
  struct Case {
    int xdpi, ydpi, iw, ih;
    const char* page;
  } cases[] = {
      {0, 0, 1000, 800, "opt 109 1000 800"},         {72, 72, 1000, 800, "opt 109 1000 800"},
      {300, 300, 1000, 800, "opt 109 240 192"},      {150, 600, 1000, 800, "opt 109 480 96"},
      {72, 72, 20000, 10000, "opt 109 14400 10000"}, {1200, 1200, 10, 10, "opt 109 3 3"},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.engine.iw = c.iw;
    f.engine.ih = c.ih;
    PageLayout l;
    l.pageSize = 0;
    l.xdpi = c.xdpi;
    l.ydpi = c.ydpi;
    auto comp = f.Make(l);
    EXPECT_EQ(comp.AddFrame(1, 0, "img", 1, ""), 1);
    ASSERT_FALSE(f.engine.calls.empty());
    EXPECT_EQ(f.engine.calls.front(), c.page) << c.xdpi << " " << c.iw;
  }
}

TEST(Composer, ImageSizeStretchesIntoTheMarginsAndSetsTheTitle) {
  Fixture f;
  f.engine.iw = 1000;
  f.engine.ih = 800;
  PageLayout l;
  l.pageSize = 0;
  l.xdpi = l.ydpi = 0;
  l.mTop = 10;
  l.mLeft = 20;
  l.mRight = 30;
  l.mBottom = 40;
  l.border = true;
  auto comp = f.Make(l);
  comp.AddFrame(1, 2, "scan.tif", 3, "Title");
  EXPECT_EQ(f.engine.calls, (Calls{"opt 109 1000 800", "opt 110 0 0 Title", "opt 104 20 10 950 750",
                                   "opt 101 3 1", "add scan.tif", "decorate", "opt 109 0 0"}));
}

struct FitCase {
  int pageSize, fit, iw, ih;
  const char* box;
};

TEST(Composer, OnePerPageFitsOrStretchesAndCentres) {
  const FitCase cases[] = {
      {2, 0, 1000, 500, "opt 104 0 272 595 297"}, // A4: s = 0.595
      {2, 0, 500, 1000, "opt 104 87 0 421 842"},  {2, 1, 1000, 500, "opt 104 0 0 595 842"},
      {2, 0, 100, 100, "opt 104 0 123 595 595"},  // enlarged too
      {4, 0, 1000, 500, "opt 104 0 264 403 201"}, // B5 is 403 x 729
      {1, 0, 1000, 500, "opt 104 0 385 842 421"}, // A3 842 x 1191
  };
  for (const auto& c : cases) {
    Fixture f;
    f.engine.iw = c.iw;
    f.engine.ih = c.ih;
    PageLayout l;
    l.pageSize = c.pageSize;
    l.imgFit = c.fit;
    auto comp = f.Make(l);
    comp.AddFrame(1, 0, "a", 1, "");
    EXPECT_EQ(f.engine.Only("opt 104"), Calls{c.box}) << c.pageSize << " " << c.iw;
  }
}

TEST(Composer, CellsFillInTheChosenOrder) {
  struct Case {
    int layout, order;
    Calls boxes;
  } cases[] = {
      // A4 595 x 842, 2 x 2 cells of 297 x 421, image 1000 x 500 -> 297 x 148.
      {4,
       0,
       {"opt 104 0 136 297 148", "opt 104 297 136 297 148", "opt 104 0 557 297 148",
        "opt 104 297 557 297 148"}},
      {4,
       1,
       {"opt 104 0 136 297 148", "opt 104 0 557 297 148", "opt 104 297 136 297 148",
        "opt 104 297 557 297 148"}},
      // 6 per page: 3 x 2 cells of 198 x 421, or 2 x 3 cells of 297 x 280.
      {6,
       0,
       {"opt 104 0 161 198 99", "opt 104 198 161 198 99", "opt 104 396 161 198 99",
        "opt 104 0 582 198 99", "opt 104 198 582 198 99", "opt 104 396 582 198 99"}},
      {6,
       1,
       {"opt 104 0 66 297 148", "opt 104 0 346 297 148", "opt 104 0 626 297 148",
        "opt 104 297 66 297 148", "opt 104 297 346 297 148", "opt 104 297 626 297 148"}},
  };
  for (const auto& c : cases) {
    Fixture f;
    PageLayout l;
    l.pageSize = 2;
    l.layout = c.layout;
    l.order = c.order;
    auto comp = f.Make(l);
    for (int i = 0; i < c.layout; ++i)
      comp.AddFrame(1, 0, "a", 1, "");
    EXPECT_EQ(f.engine.Only("opt 104"), c.boxes) << c.layout << "/" << c.order;
    EXPECT_EQ(f.engine.Only("opt 109"), (Calls{"opt 109 595 842", "opt 109 0 0"}));
    EXPECT_EQ(comp.cellCounter(), 0);
  }
}

TEST(Composer, APartlyFilledPageIsCompletedAtTheEndOfTheDocument) {
  Fixture f;
  PageLayout l;
  l.pageSize = 2;
  l.layout = 4;
  auto comp = f.Make(l);
  for (int i = 0; i < 5; ++i)
    comp.AddFrame(1, 0, "f" + std::to_string(i), 1, "T");
  EXPECT_EQ(comp.cellCounter(), 1);
  EXPECT_EQ(f.engine.Only("opt 109").size(), 3u); // two begins, one end
  comp.FinishDocument(1);
  EXPECT_EQ(f.engine.Only("opt 109"),
            (Calls{"opt 109 595 842", "opt 109 0 0", "opt 109 595 842", "opt 109 0 0"}));
  EXPECT_EQ(f.decorated, (std::vector<std::string>{"595x842", "595x842"}));
  EXPECT_EQ(f.engine.Only("opt 110").size(), 2u) << "one title per page begun";
  comp.FinishDocument(1);
  EXPECT_EQ(f.engine.Only("opt 109").size(), 4u) << "nothing more to complete";
}

TEST(Composer, FramesOfOneFileSelectTheirFrame) {
  Fixture f;
  PageLayout l;
  l.pageSize = 2;
  l.layout = 4;
  auto comp = f.Make(l);
  for (int i = 0; i < 3; ++i)
    comp.AddFrame(1, i, "multi.tif", 3, "");
  EXPECT_EQ(f.engine.Only("opt 101"), (Calls{"opt 101 1 1", "opt 101 2 1", "opt 101 3 1"}));
}

TEST(Composer, RepeatPutsTheFrameInEveryCell) {
  Fixture f;
  f.engine.iw = f.engine.ih = 100;
  PageLayout l;
  l.pageSize = 2;
  l.layout = 9;
  l.repeat = true;
  auto comp = f.Make(l);
  comp.AddFrame(1, 1, "x", 2, "");
  comp.AddFrame(1, 0, "y", 2, "");
  EXPECT_EQ(f.engine.Only("add x").size(), 9u);
  EXPECT_EQ(f.engine.Only("add y").size(), 9u);
  EXPECT_EQ(f.engine.Only("opt 109").size(), 4u);
  EXPECT_EQ(f.engine.Only("opt 104").front(), "opt 104 0 41 198 198");
  EXPECT_EQ(f.engine.Only("opt 104")[8], "opt 104 396 601 198 198");
  EXPECT_EQ(comp.cellCounter(), 0);
}

TEST(Composer, BorderFrameAndGrid) {
  struct Case {
    int layout, order, mLeft, mRight;
    Calls lines;
  } cases[] = {
      {2,
       1,
       0,
       0,
       {"line 0,0-595,0 w2 c0", "line 0,0-0,842 w2 c0", "line 0,842-595,842 w2 c0",
        "line 595,0-595,842 w2 c0", "line 0,421-595,421 w2 c0"}},
      {6,
       1,
       10,
       20,
       {"line 10,0-575,0 w2 c0", "line 10,0-10,842 w2 c0", "line 10,842-575,842 w2 c0",
        "line 575,0-575,842 w2 c0", "line 292,0-292,842 w2 c0", "line 10,280-575,280 w2 c0",
        "line 10,560-575,560 w2 c0"}},
      {2, 0, 300, 295, {}}, // no room left between the margins
      {1, 0, 0, 0, {}},     // one per page draws no border
  };
  for (const auto& c : cases) {
    Fixture f;
    PageLayout l;
    l.pageSize = 2;
    l.layout = c.layout;
    l.order = c.order;
    l.repeat = true;
    l.border = true;
    l.mLeft = c.mLeft;
    l.mRight = c.mRight;
    auto comp = f.Make(l);
    comp.AddFrame(1, 0, "a", 1, "");
    EXPECT_EQ(f.engine.Only("line"), c.lines) << c.layout << "/" << c.order;
    // Decorations come before the border, the end of page after it.
    auto& calls = f.engine.calls;
    EXPECT_EQ(calls.back(), "opt 109 0 0");
  }
}

TEST(Composer, PageSizeTable) {
  struct Case {
    int size, w, h, ew, eh;
  } cases[] = {{1, 0, 0, 842, 1191},    {2, 0, 0, 595, 842},   {3, 0, 0, 420, 595},
               {4, 0, 0, 403, 729},     {5, 0, 0, 612, 792},   {6, 0, 0, 612, 1008},
               {7, 300, 400, 300, 400}, {7, 300, 0, 612, 792}, {7, 5, 5, 5, 5},
               {9, 0, 0, 595, 842}};
  for (const auto& c : cases) {
    PageLayout l;
    l.pageSize = c.size;
    l.pageW = c.w;
    l.pageH = c.h;
    auto s = app::NamedPageSize(l);
    EXPECT_EQ(s.width, c.ew) << c.size;
    EXPECT_EQ(s.height, c.eh) << c.size;
  }
}

TEST(Composer, UnsupportedImagesPerPagePlaceNothing) {
  Fixture f;
  PageLayout l;
  l.pageSize = 2;
  l.layout = 3;
  auto comp = f.Make(l);
  EXPECT_EQ(comp.AddFrame(1, 0, "a", 1, ""), 0);
  EXPECT_TRUE(f.engine.Only("add").empty());
  EXPECT_EQ(comp.cellCounter(), 1);
}

} // namespace
