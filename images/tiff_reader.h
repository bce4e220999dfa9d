// The TIFF reader: turns one TIFF directory into image XObjects, copying compressed strips
// unchanged where a PDF filter decodes them and decoding everything else to 8-bit samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_record.h"

namespace images {

struct TiffLimits {
  // Largest decoded image, in pixels; decoding holds four bytes per pixel.
  uint64_t maxDecodedPixels = uint64_t{1} << 28;
  // Largest single allocation the TIFF library may make.
  int64_t maxLibraryAllocation = int64_t{256} << 20;
};

// Reads directory `directory` (from 1) of the TIFF file and writes its XObjects. Returns the
// image index in the table, or -1 with nothing written when the directory is missing or
// cannot be embedded (JPEG compression, YCbCr or CIE L*a*b* pixels, 16 bits per sample,
// LZW or Deflate with extra samples, tiles or separate planes, unreadable data).
int OpenTiffImage(const ImageContext& ctx, ImageTable& table, const char* path, int directory,
                  const TiffLimits& limits = {});

// Closes the last TIFF file, which OpenTiffImage keeps open for its next directory.
void ReleaseOpenTiffFiles();

// The same over a TIFF held in memory.
int OpenTiffImageFromMemory(const ImageContext& ctx, ImageTable& table, const uint8_t* data,
                            size_t size, int directory, const TiffLimits& limits = {});

} // namespace images
