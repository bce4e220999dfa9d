// Dropping an open page on which nothing was drawn: the file reads as if the page had never
// been begun.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>

#include "engine/engine.h"
#include "pdfwriter/clock.h"
#include "test_support.h"

namespace {

using testsupport::Pikepdf;
using testsupport::QpdfCheckClean;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::SourcePath;

const std::string kJpeg = SourcePath("samples/landscape.jpg");

void ImagePage(int h) {
  ASSERT_EQ(EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr), 1);
  ASSERT_EQ(EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, "kept", nullptr), 1);
  ASSERT_EQ(EngineAddImage(h, kJpeg.c_str()), 1);
  ASSERT_EQ(EngineSetOption(h, ENGINE_OPT_PAGE, 0, 0, nullptr, nullptr), 1);
}

int Drop(int h) {
  return EngineSetOption(h, ENGINE_OPT_DROP_PAGE, 0, 0, nullptr, nullptr);
}

std::string Write(const std::string& path, const std::function<void(int)>& steps) {
  int h = EngineCreate(path.c_str());
  EXPECT_GT(h, 0);
  steps(h);
  EXPECT_EQ(EngineClose(h), 1);
  return ReadFile(path);
}

class DropPage : public ::testing::Test {
protected:
  void SetUp() override {
    static const uint8_t id[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
    pdf::SetClockForTesting([] { return std::time_t{1391436309}; });
    pdf::SetFileIdForTesting(id);
  }
  void TearDown() override {
    pdf::SetFileIdForTesting(nullptr);
    pdf::SetClockForTesting(nullptr);
  }
  ScratchDir dir_;
};

TEST_F(DropPage, AnUntouchedPageLeavesNoTrace) {
  struct Case {
    const char* name;
    std::function<void(int)> steps;
    std::function<void(int)> reference;
  } cases[] = {
      {"begun after a page",
       [](int h) {
         ImagePage(h);
         EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
         EXPECT_EQ(Drop(h), 1);
       },
       [](int h) { ImagePage(h); }},
      {"with a bookmark, before a page",
       [](int h) {
         EngineSetOption(h, ENGINE_OPT_PAGE, 3, 3, nullptr, nullptr);
         EngineSetOption(h, ENGINE_OPT_BOOKMARK, 0, 0, "gone", nullptr);
         EXPECT_EQ(Drop(h), 1);
         ImagePage(h);
       },
       [](int h) { ImagePage(h); }},
      {"whose image could not be read",
       [](int h) {
         ImagePage(h);
         EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
         EXPECT_LE(EngineAddImage(h, SourcePath("README.md").c_str()), 0);
         EXPECT_EQ(Drop(h), 1);
         ImagePage(h);
       },
       [](int h) {
         ImagePage(h);
         ImagePage(h);
       }},
      {"the only page",
       [](int h) {
         EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
         EXPECT_EQ(Drop(h), 1);
       },
       [](int) {}},
      {"no page open",
       [](int h) {
         EXPECT_EQ(Drop(h), 0);
         ImagePage(h);
         EXPECT_EQ(Drop(h), 0);
       },
       [](int h) { ImagePage(h); }},
  };
  for (const Case& c : cases) {
    std::string got = Write(dir_.file("got.pdf"), c.steps);
    std::string want = Write(dir_.file("want.pdf"), c.reference);
    EXPECT_TRUE(got == want) << c.name;
    EXPECT_TRUE(QpdfCheckClean(dir_.file("got.pdf"))) << c.name;
  }
}

TEST_F(DropPage, APageWithContentStays) {
  std::string path = dir_.file("kept.pdf");
  Write(path, [](int h) {
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
    ASSERT_EQ(EngineDrawText(h, 10, 10, "text", 0), 1);
    EXPECT_EQ(Drop(h), 0);
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
    ASSERT_EQ(EngineDrawLine(h, 1, 1, 50, 50, 1, 0), 1);
    EXPECT_EQ(Drop(h), 0);
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
    ASSERT_EQ(EngineAddImage(h, kJpeg.c_str()), 1);
    EXPECT_EQ(Drop(h), 0);
    EXPECT_EQ(EngineQuery(h, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr), 3);
  });
  EXPECT_TRUE(QpdfCheckClean(path));
  auto r = Pikepdf(path, "pdf = pikepdf.open(sys.argv[1]); print(len(pdf.pages))");
  EXPECT_EQ(r.out, "3\n");
}

} // namespace
