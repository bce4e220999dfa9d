#include "converter/webp_reader.h"

#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <vector>

namespace converter {
namespace {

struct DecoderDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

} // namespace

bool LooksLikeWebp(const uint8_t* data, size_t size) {
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

bool ReadWebp(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits) {
  if (!LooksLikeWebp(data, size)) return false;
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return false;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData webp{data, size};
  // The animation decoder allocates two canvases as it is created; check their size first.
  {
    WebPDemuxer* demux = WebPDemux(&webp);
    if (!demux) return false;
    uint64_t w = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    uint64_t h = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    WebPDemuxDelete(demux);
    if (!Budget(limits).FitsPage(w, h)) return false;
  }
  std::unique_ptr<WebPAnimDecoder, DecoderDeleter> decoder(WebPAnimDecoderNew(&webp, &options));
  if (!decoder) return false;
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return false;

  Budget budget(limits);
  // Check the whole animation up front so nothing is decoded for a file we would refuse.
  if (info.frame_count == 0 || info.frame_count > limits.max_pages) return false;
  for (uint32_t i = 0; i < info.frame_count; ++i)
    if (!budget.TakePage(info.canvas_width, info.canvas_height)) return false;

  size_t w = info.canvas_width, h = info.canvas_height;
  std::vector<uint8_t> rgb(w * h * 3);
  uint32_t pages = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &rgba, &timestamp) || !rgba) return false;
    for (size_t i = 0; i < w * h; ++i) {
      unsigned a = rgba[i * 4 + 3];
      for (int c = 0; c < 3; ++c)
        rgb[i * 3 + c] = static_cast<uint8_t>((rgba[i * 4 + c] * a + 255 * (255 - a) + 127) / 255);
    }
    PageView page;
    page.width = info.canvas_width;
    page.height = info.canvas_height;
    page.channels = 3;
    page.stride = w * 3;
    page.pixels = rgb.data();
    if (!sink.AddPage(page)) return false;
    ++pages;
  }
  return pages > 0;
}

} // namespace converter
