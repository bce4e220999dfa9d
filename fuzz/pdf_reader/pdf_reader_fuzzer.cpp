// Feeds arbitrary bytes to the reader of existing PDF files and, when it accepts them,
// writes an incremental update (to nowhere) from what it found, so the spans and numbers
// it hands to the update are exercised too.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pdfwriter/assembly.h"
#include "pdfwriter/writer.h"
#include "reader/pdf_reader.h"

namespace {

class NullSink : public pdf::Sink {
public:
  size_t Write(const void*, size_t n) override { return n; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  reader::MemorySource source(data, size);
  reader::AcceptableHeader(source);
  reader::ExistingDocument doc;
  if (!reader::ReadExistingDocument(source, doc)) return 0;

  pdf::Writer w(pdf::Allocator::Default(), std::make_unique<NullSink>());
  w.SetBaseNumber(doc.target.highestObject);
  w.SetStartOffset(doc.target.fileLength);
  w.encryptor = doc.security.get();
  pdf::DocumentData d;
  d.info = doc.info;
  d.viewer.pageMode = 4;
  d.viewer.openActionKind = 1;
  d.viewer.startPage = 1 + static_cast<int>(size % 5);
  d.viewer.viewerFlags = 0x1000;
  pdf::BeginPage(w, d, 100, 100);
  pdf::EndPage(w, d, pdf::PageResourceWriters{});
  pdf::FinishAppendUpdate(w, d, pdf::CloseHooks{}, doc.target);
  return 0;
}
