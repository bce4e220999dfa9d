// The readers on memory, against the limits that keep hostile files from exhausting memory.
#include <gif_lib.h>

#include <string>
#include <vector>

#include "converter/convert.h"
#include "test_images.h"
#include "test_support.h"

namespace {

using converter::InputKind;
using converter::Limits;

struct CountingSink : converter::PageSink {
  int pages = 0;
  bool AddPage(const converter::PageView&) override {
    ++pages;
    return true;
  }
};

std::string FourFrameGif() {
  convtest::GifSpec spec{4, 4, {}};
  for (int i = 0; i < 4; ++i)
    spec.frames.push_back({0, 0, {"RGBK", "RGBK", "RGBK", "RGBK"}});
  return convtest::MakeGif(spec);
}

std::string Psd(uint32_t w, uint32_t h) {
  convtest::PsdSpec spec{1, 1, 8, w, h, {std::vector<uint8_t>(size_t{w} * h, 9)}};
  return convtest::MakePsd(spec);
}

struct LimitCase {
  const char* name;
  std::string file;
  Limits limits;
  bool accepted;
  int pages; // pages handed on before the reader stopped
};

Limits With(uint64_t page_pixels, uint64_t total_pixels, uint32_t pages) {
  Limits l;
  l.max_page_pixels = page_pixels;
  l.max_total_pixels = total_pixels;
  l.max_pages = pages;
  return l;
}

TEST(ConverterReaders, LimitsAreEnforced) {
  std::string gif = FourFrameGif();
  std::vector<uint8_t> rgba(8 * 8 * 4, 255);
  std::string webp = convtest::MakeWebp(8, 8, rgba);
  const LimitCase cases[] = {
      {"gif within limits", gif, With(16, 64, 4), true, 4},
      {"gif too many frames", gif, With(16, 64, 3), false, 3},
      {"gif too many pixels in all", gif, With(16, 63, 4), false, 3},
      {"gif screen too large", gif, With(15, 64, 4), false, 0},
      {"psd within limits", Psd(10, 10), With(100, 100, 1), true, 1},
      {"psd too large", Psd(10, 10), With(99, 1000, 1), false, 0},
      {"webp within limits", webp, With(64, 64, 1), true, 1},
      {"webp too large", webp, With(63, 1000, 1), false, 0},
  };
  for (const LimitCase& c : cases) {
    CountingSink sink;
    const auto* data = reinterpret_cast<const uint8_t*>(c.file.data());
    InputKind kind = converter::DetectKind(data, c.file.size());
    EXPECT_EQ(converter::Decode(kind, data, c.file.size(), sink, c.limits), c.accepted) << c.name;
    EXPECT_EQ(sink.pages, c.pages) << c.name;
  }
}

TEST(ConverterReaders, SinkCanStopTheReader) {
  struct StopAfterOne : converter::PageSink {
    int pages = 0;
    bool AddPage(const converter::PageView&) override { return ++pages < 1; }
  } sink;
  std::string gif = FourFrameGif();
  EXPECT_FALSE(converter::Decode(InputKind::kGif, reinterpret_cast<const uint8_t*>(gif.data()),
                                 gif.size(), sink));
  EXPECT_EQ(sink.pages, 1);
}

} // namespace
