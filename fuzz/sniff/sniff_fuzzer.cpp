// The first byte picks a file name, so extension rules are reached too.
#include <cstddef>
#include <cstdint>

#include "engine/image_type.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"x.ico", "x.tga", "x.wbmp", "x.pgx", "x.ras",
                                       "x.ska", "x.raw", "x",      "x.jpg", ".ico"};
  if (size == 0) return 0;
  const char* name = kNames[data[0] % 10];
  engine::SniffImageBytes(data + 1, size - 1 > 128 ? 128 : size - 1, name);
  return 0;
}
