// Pages of a many-page TIFF reached in any order, from a file that may change between loads.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "fixtures.h"
#include "imagelib/imagelib.h"
#include "test_support.h"

namespace {

using imagelib::ImageType;

std::vector<fixtures::TiffPage> Pages(int n, int salt) {
  std::vector<fixtures::TiffPage> pages(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    pages[static_cast<size_t>(k)].w = 5 + (k + salt) % 17;
    pages[static_cast<size_t>(k)].h = 3 + (k * 7 + salt) % 11;
    pages[static_cast<size_t>(k)].compression = k % 3 == 0 ? 5 : 1; // LZW and none
  }
  return pages;
}

void Save(const std::string& path, const std::string& bytes) {
  // In place, so the file keeps its inode: only its size and time tell it changed.
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  f << bytes;
}

void ExpectPage(const std::string& path, const std::vector<fixtures::TiffPage>& pages, int k,
                bool full) {
  imagelib::Image img;
  imagelib::LoadOptions opt;
  opt.headerOnly = !full;
  opt.frame = k;
  ASSERT_TRUE(imagelib::Load(path, ImageType::kTiff, opt, img)) << "page " << k;
  EXPECT_EQ(img.FrameCount(), static_cast<int>(pages.size()));
  EXPECT_EQ(img.Width(), pages[static_cast<size_t>(k)].w) << "page " << k;
  EXPECT_EQ(img.Height(), pages[static_cast<size_t>(k)].h) << "page " << k;
  if (full) {
    fixtures::Rgba want = fixtures::RgbAt(2, 1);
    const uint8_t* row = img.Row(1);
    EXPECT_EQ(row[6], want.r) << "page " << k;
    EXPECT_EQ(row[7], want.g) << "page " << k;
    EXPECT_EQ(row[8], want.b) << "page " << k;
  }
}

TEST(TiffPages, AnyPageInAnyOrderAndAChangedFileIsReadAnew) {
  testsupport::ScratchDir dir;
  std::string path = dir.file("many.tif");
  auto first = Pages(300, 0);
  testsupport::WriteFile(path, fixtures::Tiff(first));
  for (int k : {0, 1, 2, 150, 299, 298, 3, 0, 200, 201, 202, 57})
    ExpectPage(path, first, k, k % 2 == 0);

  imagelib::Image beyond;
  imagelib::LoadOptions opt;
  opt.frame = 300;
  EXPECT_EQ(imagelib::Load(path, ImageType::kTiff, opt, beyond).status,
            imagelib::Status::kNoSuchFrame);

  auto second = Pages(120, 5);
  Save(path, fixtures::Tiff(second));
  for (int k : {119, 0, 60, 61})
    ExpectPage(path, second, k, true);

  imagelib::ReleaseOpenFiles();
  ExpectPage(path, second, 100, true);
  // From memory the same pages come out.
  std::string bytes = testsupport::ReadFile(path);
  imagelib::Image img;
  opt.frame = 77;
  ASSERT_TRUE(imagelib::LoadFromMemory(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), ImageType::kTiff,
      opt, img));
  EXPECT_EQ(img.Width(), second[77].w);
}

} // namespace
