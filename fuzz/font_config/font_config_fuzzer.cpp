// The font configuration file reader, lookups in what it read, and the encoding files it
// names.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/font_config.h"
#include "text/fonts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  text::FontConfiguration c = text::ParseFontConfiguration(text, "/base");
  for (const text::FontConfiguration::Entry& e : c.entries)
    c.Lookup(e.category, e.name);
  c.Lookup(text::FontCategory::kMetrics, "Helvetica");
  text::ParseEncodingFile("Fuzz", text);
  return 0;
}
