// libtiff glue: opening a Source as a TIFF with quiet error handlers and bounded allocations.
#pragma once

#include <tiffio.h>

#include <string>

#include "imagelib/source.h"

namespace imagelib::detail {

struct TiffStream {
  Source* src = nullptr;
  uint64_t pos = 0;
  std::string lastError;
  bool dataMissing = false; // libtiff skipped a tag whose data lies beyond the end
};

// Opens for reading; null when libtiff refuses the file (the stream keeps the reason).
TIFF* OpenTiff(TiffStream& stream, uint64_t maxAlloc);
// Opens a file for writing with the same quiet handlers.
TIFF* CreateTiff(const std::string& path, std::string& lastError);

} // namespace imagelib::detail
