// PSD and PSB: the flattened composite image that follows the layer data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/page.h"

namespace converter {

bool LooksLikePsd(const uint8_t* data, size_t size);

// Reads the composite of a grey, duotone, indexed, RGB or CMYK file with 8 or 16 bits per
// sample, or of a 1-bit bitmap file, stored raw or PackBits-compressed, and hands it on as
// one page: grey for bitmap, grey and duotone files, RGB otherwise (CMYK is converted).
// Extra channels such as alpha are skipped; the composite is already matted. The resolution
// resource, when present, is passed on. Every size is checked against the bytes present and
// the limits before anything is allocated. Returns false for unsupported or corrupt files.
bool ReadPsd(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits = {});

} // namespace converter
