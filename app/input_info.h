// Describing an input file for `info` and the file list's columns: its type, frames, size,
// resolution and depth, or why it cannot be converted. Any thread (the engine lock of
// engine_api.h is taken inside).
#pragma once

#include <string>

namespace app {

struct InputDescription {
  bool ok = false;           // the engine can read it
  std::string typeName;      // "JPEG", "TIFF", "JPEG 2000", ... ("unknown" when not known)
  int frames = 0;            // pages or images in the file
  int width = 0, height = 0; // of the first frame, in pixels
  int xdpi = 0, ydpi = 0;
  int bitsPerPixel = 0;
  std::string reason; // when not ok: why, in words fit for a user ("no such file")
};

InputDescription DescribeInput(const std::string& path);

// Name of a type code of the engine's classification.
const char* ImageTypeName(int typeCode);

} // namespace app
