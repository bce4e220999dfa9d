// Type 1 font metrics from a text metrics file (AFM) or a byte-oriented one (PFM).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fonts.h"

namespace text {

inline constexpr size_t kMaxMetricsFileSize = 4u << 20;

// Fill the record's metrics, 256 widths under encodingIndex and flags; false when the bytes
// are not such a file.
bool ParseAfm(std::string_view text, int encodingIndex, FontRecord& out);
bool ParsePfm(const uint8_t* data, size_t size, int encodingIndex, FontRecord& out);

} // namespace text
