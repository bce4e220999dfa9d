// GIF: every frame composited onto the logical screen and handed on as one page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/page.h"

namespace converter {

bool LooksLikeGif(const uint8_t* data, size_t size);

// Decodes the whole GIF in `data`. The screen starts blank (white, as a transparent GIF
// shows on paper); each frame is drawn over it honouring its transparent colour, the result
// becomes a page, and then the frame's disposal method is applied. Returns false for a
// corrupt or truncated file, a file without frames, or when a limit or the sink stops it.
bool ReadGif(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits = {});

} // namespace converter
