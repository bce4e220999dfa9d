// The plug-in's one job: read an image file of a kind the engine does not read itself and
// write it as a (possibly multi-page) TIFF file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "converter/page.h"

namespace converter {

enum class InputKind { kUnknown, kGif, kPsd, kWebp };

InputKind DetectKind(const uint8_t* data, size_t size);

// Decodes `data` of the given kind into `sink`; false when unsupported or corrupt.
bool Decode(InputKind kind, const uint8_t* data, size_t size, PageSink& sink,
            const Limits& limits = {});

// Converts the file at `source` into a TIFF file at `destination`. On failure nothing is
// left at `destination` that was not there before.
bool ConvertFile(const std::string& source, const std::string& destination);

} // namespace converter
