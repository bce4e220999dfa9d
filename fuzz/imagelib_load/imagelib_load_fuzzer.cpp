// Feeds arbitrary bytes to one of the image library's readers, chosen by the first byte, then
// runs the depth conversions on whatever loaded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imagelib/imagelib.h"

namespace {
constexpr imagelib::ImageType kTypes[] = {
    imagelib::ImageType::kBmp,  imagelib::ImageType::kPng,  imagelib::ImageType::kJpeg,
    imagelib::ImageType::kTiff, imagelib::ImageType::kJp2,  imagelib::ImageType::kJpc,
    imagelib::ImageType::kPnm,  imagelib::ImageType::kTga,  imagelib::ImageType::kPcx,
    imagelib::ImageType::kIco,  imagelib::ImageType::kWbmp, imagelib::ImageType::kSunRaster,
    imagelib::ImageType::kPgx,
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const imagelib::ImageType type = kTypes[data[0] % std::size(kTypes)];
  std::span<const uint8_t> file(data + 1, size - 1);
  imagelib::LoadOptions opt;
  opt.limits.maxPixels = uint64_t{1} << 22; // keeps the fuzzer within its memory budget
  opt.limits.maxBytes = uint64_t{64} << 20;
  imagelib::Image img;
  opt.headerOnly = true;
  imagelib::LoadFromMemory(file, type, opt, img);
  int frames = img.FrameCount();
  opt.headerOnly = false;
  opt.frame = (data[0] / std::size(kTypes)) % 3;
  if (opt.frame >= frames) opt.frame = 0;
  if (!imagelib::LoadFromMemory(file, type, opt, img)) return 0;
  imagelib::Image copy;
  if (img.Clone(copy)) {
    copy.CompositeOnWhite();
    copy.Invert();
    copy.ConvertToGrey8();
  }
  img.ExpandTo24();
  return 0;
}
