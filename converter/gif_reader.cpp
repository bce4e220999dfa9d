#include "converter/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace converter {
namespace {

constexpr uint8_t kBlank = 255;

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
  auto* src = static_cast<MemorySource*>(gif->UserData);
  if (wanted <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(wanted), src->size - src->pos);
  std::memcpy(out, src->data + src->pos, n);
  src->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

struct Rect {
  uint32_t left = 0, top = 0, right = 0,
           bottom = 0; // clipped to the screen, right/bottom exclusive
  bool empty() const { return right <= left || bottom <= top; }
};

class Compositor {
public:
  Compositor(PageSink& sink, const Limits& limits) : sink_(sink), budget_(limits) {}

  bool Run(GifFileType* gif, const MemorySource& src);

private:
  bool SetUpScreen(GifFileType* gif);
  bool ReadFrame(GifFileType* gif);
  bool ReadExtension(GifFileType* gif);
  void Fill(const Rect& r, uint8_t value);

  PageSink& sink_;
  Budget budget_;
  uint32_t width_ = 0, height_ = 0;
  std::vector<uint8_t> canvas_; // RGB
  std::vector<uint8_t> saved_;  // the rectangle under a "restore previous" frame
  GraphicsControlBlock gcb_{};
  bool have_gcb_ = false;
};

bool Compositor::Run(GifFileType* gif, const MemorySource& src) {
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    size_t before = src.pos;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
      // Many writers drop the trailer; a file that ends cleanly between blocks is whole.
      return before == src.size && budget_.pages() > 0;
    }
    switch (type) {
    case IMAGE_DESC_RECORD_TYPE:
      if (!ReadFrame(gif)) return false;
      break;
    case EXTENSION_RECORD_TYPE:
      if (!ReadExtension(gif)) return false;
      break;
    case TERMINATE_RECORD_TYPE:
      return budget_.pages() > 0;
    default:
      return false;
    }
  }
}

bool Compositor::ReadExtension(GifFileType* gif) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
    if (DGifExtensionToGCB(block[0], block + 1, &gcb_) == GIF_OK) have_gcb_ = true;
  } else if (code == PLAINTEXT_EXT_FUNC_CODE) {
    have_gcb_ = false; // the control block was this text's, which is not drawn
  }
  while (block) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

bool Compositor::SetUpScreen(GifFileType* gif) {
  uint64_t w = static_cast<uint32_t>(std::max(gif->SWidth, 0));
  uint64_t h = static_cast<uint32_t>(std::max(gif->SHeight, 0));
  if (w == 0 || h == 0) {
    // A screen of no size: take the first frame's extent, as viewers do.
    w = static_cast<uint64_t>(std::max(gif->Image.Left, 0)) + std::max(gif->Image.Width, 0);
    h = static_cast<uint64_t>(std::max(gif->Image.Top, 0)) + std::max(gif->Image.Height, 0);
  }
  if (!budget_.FitsPage(w, h)) return false;
  width_ = static_cast<uint32_t>(w);
  height_ = static_cast<uint32_t>(h);
  canvas_.assign(static_cast<size_t>(w * h * 3), kBlank);
  return true;
}

void Compositor::Fill(const Rect& r, uint8_t value) {
  for (uint32_t y = r.top; y < r.bottom; ++y)
    std::memset(&canvas_[(static_cast<size_t>(y) * width_ + r.left) * 3], value,
                static_cast<size_t>(r.right - r.left) * 3);
}

bool Compositor::ReadFrame(GifFileType* gif) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
  const GifImageDesc& desc = gif->Image;
  if (desc.Left < 0 || desc.Top < 0 || desc.Width <= 0 || desc.Height <= 0) return false;
  if (canvas_.empty() && !SetUpScreen(gif)) return false;

  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
  if (!map || !map->Colors || map->ColorCount <= 0) {
    // Neither a local nor a global table: a grey ramp, as other decoders show it.
    static const ColorMapObject kGreyRamp = [] {
      static GifColorType ramp[256];
      for (int i = 0; i < 256; ++i)
        ramp[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(i),
                               static_cast<GifByteType>(i)};
      ColorMapObject m{};
      m.ColorCount = 256;
      m.BitsPerPixel = 8;
      m.Colors = ramp;
      return m;
    }();
    map = &kGreyRamp;
  }
  uint32_t fw = static_cast<uint32_t>(desc.Width), fh = static_cast<uint32_t>(desc.Height);
  // The frame's rows are decoded even where they fall off the screen, so bound them too.
  if (!budget_.FitsPage(fw, fh) || !budget_.TakePage(width_, height_)) return false;
  uint64_t frame_pixels = uint64_t{fw} * fh, screen_pixels = uint64_t{width_} * height_;
  if (frame_pixels > screen_pixels && !budget_.Charge(frame_pixels - screen_pixels)) return false;

  int disposal = have_gcb_ ? gcb_.DisposalMode : DISPOSAL_UNSPECIFIED;
  int transparent = have_gcb_ ? gcb_.TransparentColor : NO_TRANSPARENT_COLOR;
  have_gcb_ = false;

  Rect r;
  uint32_t left = static_cast<uint32_t>(desc.Left), top = static_cast<uint32_t>(desc.Top);
  r.left = std::min(left, width_);
  r.top = std::min(top, height_);
  r.right = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{left} + fw, width_));
  r.bottom = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{top} + fh, height_));

  if (disposal == DISPOSE_PREVIOUS && !r.empty()) {
    saved_.clear();
    for (uint32_t y = r.top; y < r.bottom; ++y) {
      const uint8_t* row = &canvas_[(static_cast<size_t>(y) * width_ + r.left) * 3];
      saved_.insert(saved_.end(), row, row + static_cast<size_t>(r.right - r.left) * 3);
    }
  }

  std::vector<GifPixelType> line(fw);
  // Interlaced frames arrive in four passes: every 8th row from 0, every 8th from 4,
  // every 4th from 2, every 2nd from 1.
  static constexpr uint32_t kStart[4] = {0, 4, 2, 1};
  static constexpr uint32_t kStep[4] = {8, 8, 4, 2};
  int passes = desc.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    uint32_t start = desc.Interlace ? kStart[pass] : 0;
    uint32_t step = desc.Interlace ? kStep[pass] : 1;
    for (uint32_t row = start; row < fh; row += step) {
      if (DGifGetLine(gif, line.data(), static_cast<int>(fw)) == GIF_ERROR) return false;
      uint64_t y = uint64_t{top} + row;
      if (y >= height_) continue;
      uint8_t* out = &canvas_[static_cast<size_t>(y) * width_ * 3];
      for (uint32_t x = r.left; x < r.right; ++x) {
        int index = line[x - left];
        if (index == transparent) continue;
        uint8_t* px = out + static_cast<size_t>(x) * 3;
        if (index < map->ColorCount) {
          px[0] = map->Colors[index].Red;
          px[1] = map->Colors[index].Green;
          px[2] = map->Colors[index].Blue;
        } else {
          px[0] = px[1] = px[2] = 0; // outside the colour table
        }
      }
    }
  }

  PageView page;
  page.width = width_;
  page.height = height_;
  page.channels = 3;
  page.stride = static_cast<size_t>(width_) * 3;
  page.pixels = canvas_.data();
  if (!sink_.AddPage(page)) return false;

  if (r.empty()) return true;
  if (disposal == DISPOSE_BACKGROUND) {
    Fill(r, kBlank);
  } else if (disposal == DISPOSE_PREVIOUS) {
    size_t span = static_cast<size_t>(r.right - r.left) * 3;
    for (uint32_t y = r.top; y < r.bottom; ++y)
      std::memcpy(&canvas_[(static_cast<size_t>(y) * width_ + r.left) * 3],
                  &saved_[static_cast<size_t>(y - r.top) * span], span);
  }
  return true;
}

} // namespace

bool LooksLikeGif(const uint8_t* data, size_t size) {
  return size >= 6 && std::memcmp(data, "GIF8", 4) == 0;
}

bool ReadGif(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits) {
  if (!LooksLikeGif(data, size)) return false;
  MemorySource src{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&src, ReadFromMemory, &error));
  if (!gif) return false;
  Compositor compositor(sink, limits);
  return compositor.Run(gif.get(), src);
}

} // namespace converter
