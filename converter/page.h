// Decoded pages travel from the format readers to the TIFF writer one at a time, so a long
// animation never needs more than one canvas in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace converter {

// One finished page: 8-bit samples, rows top to bottom, `channels` samples per pixel
// (1 grey, 3 RGB), rows `stride` bytes apart. The pixels stay valid only during AddPage.
struct PageView {
  uint32_t width = 0;
  uint32_t height = 0;
  int channels = 3;
  size_t stride = 0;
  const uint8_t* pixels = nullptr;
  double dpi_x = 0; // 0 when the file does not say
  double dpi_y = 0;
};

class PageSink {
public:
  virtual ~PageSink() = default;
  // Returns false to stop the reader; the reader then fails.
  virtual bool AddPage(const PageView& page) = 0;
};

// Bounds applied before a reader allocates or decodes anything large.
struct Limits {
  uint64_t max_page_pixels = uint64_t{1} << 27;  // one canvas or frame
  uint64_t max_total_pixels = uint64_t{1} << 31; // all pages of one file together
  uint32_t max_pages = 10000;
};

// Keeps the running totals a reader checks against its limits.
class Budget {
public:
  explicit Budget(const Limits& limits) : limits_(limits) {}
  const Limits& limits() const { return limits_; }
  bool FitsPage(uint64_t width, uint64_t height) const {
    return width > 0 && height > 0 && width <= limits_.max_page_pixels &&
           height <= limits_.max_page_pixels / width;
  }
  // Accounts for one more page of the given size; false when it would exceed a limit.
  bool TakePage(uint64_t width, uint64_t height) {
    if (!FitsPage(width, height) || pages_ >= limits_.max_pages) return false;
    uint64_t pixels = width * height;
    if (pixels > limits_.max_total_pixels - total_) return false;
    total_ += pixels;
    ++pages_;
    return true;
  }
  // Accounts for decoding work that produces no page pixels (a frame larger than its page).
  bool Charge(uint64_t pixels) {
    if (pixels > limits_.max_total_pixels - total_) return false;
    total_ += pixels;
    return true;
  }
  uint32_t pages() const { return pages_; }

private:
  Limits limits_;
  uint64_t total_ = 0;
  uint32_t pages_ = 0;
};

} // namespace converter
