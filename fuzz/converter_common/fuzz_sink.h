// Shared by the converter fuzz targets: a sink that reads every pixel it is given (so a
// reader that hands on a short buffer shows up under the sanitizers) and tight limits.
#pragma once

#include <cstdint>

#include "converter/page.h"

namespace converter {

struct FuzzSink : PageSink {
  uint64_t sum = 0;
  bool AddPage(const PageView& page) override {
    for (uint32_t y = 0; y < page.height; ++y) {
      const uint8_t* row = page.pixels + static_cast<size_t>(y) * page.stride;
      for (size_t x = 0; x < static_cast<size_t>(page.width) * page.channels; ++x)
        sum += row[x];
    }
    return true;
  }
};

inline Limits FuzzLimits() {
  Limits l;
  l.max_page_pixels = uint64_t{1} << 20;
  l.max_total_pixels = uint64_t{1} << 22;
  l.max_pages = 64;
  return l;
}

} // namespace converter
