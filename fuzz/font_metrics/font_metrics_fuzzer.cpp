// Text (AFM) and byte-oriented (PFM) metrics files, under each built-in encoding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/metrics_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int encoding : {0, 2, -1}) {
    text::FontRecord r;
    r.name = "Fuzz";
    text::ParseAfm(text, encoding, r);
    text::ParsePfm(data, size, encoding, r);
  }
  return 0;
}
