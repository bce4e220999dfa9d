// The JPEG marker walk over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "images/jpeg_xobject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  images::MemorySource source(data, size);
  images::JpegHeader header;
  if (images::ReadJpegHeader(source, header)) {
    // What the walk accepts is always something the XObject can describe.
    if (header.width <= 0 || header.height <= 0 || header.precision != 8) std::abort();
    if (header.components != 1 && header.components != 3 && header.components != 4) std::abort();
    if (header.dataStart < 0 || header.dataStart > images::kMaxJpegLeadIn) std::abort();
  }
  return 0;
}
