// WebP, still or animated: each displayed frame becomes a page, flattened onto white.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/page.h"

namespace converter {

bool LooksLikeWebp(const uint8_t* data, size_t size);

bool ReadWebp(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits = {});

} // namespace converter
