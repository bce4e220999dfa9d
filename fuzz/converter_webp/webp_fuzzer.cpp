// WebP frames and their flattening on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "../converter_common/fuzz_sink.h"
#include "converter/webp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  converter::FuzzSink sink;
  converter::ReadWebp(data, size, sink, converter::FuzzLimits());
  return 0;
}
