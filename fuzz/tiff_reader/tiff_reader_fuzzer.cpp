// The TIFF reader over arbitrary bytes, as far as writing XObjects into a discarded document.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "images/tiff_reader.h"
#include "images/xobject.h"
#include "pdfwriter/writer.h"

namespace {

class DiscardSink : public pdf::Sink {
public:
  size_t Write(const void*, size_t n) override { return n; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pdf::Writer writer(pdf::Allocator::Default(), std::make_unique<DiscardSink>());
  pdf::DocumentData doc;
  images::XObjectList list;
  pdf::GraphicsStack graphics;
  images::ImageContext ctx{writer, doc, list, graphics};
  images::ImageTable table;
  images::TiffLimits limits;
  limits.maxDecodedPixels = 1u << 22;
  limits.maxLibraryAllocation = 64 << 20;
  for (int directory = 1; directory <= 4; ++directory) {
    int index = images::OpenTiffImageFromMemory(ctx, table, data, size, directory, limits);
    if (index < 0) break;
    table.Release(index);
    writer.Flush();
  }
  return 0;
}
