// PSD composite reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "../converter_common/fuzz_sink.h"
#include "converter/psd_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  converter::FuzzSink sink;
  converter::ReadPsd(data, size, sink, converter::FuzzLimits());
  return 0;
}
