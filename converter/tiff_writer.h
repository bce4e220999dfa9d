// Multi-page TIFF output: 8-bit grey or RGB pages, Deflate (or LZW) compressed.
#pragma once

#include <string>

#include "converter/page.h"

typedef struct tiff TIFF;

namespace converter {

enum class TiffCompression { kDeflate, kLzw };

// Writes into a fresh temporary file beside the destination; Commit() moves it into place.
// Until then the destination is untouched, and a writer destroyed uncommitted removes its
// temporary file, so a failed conversion leaves nothing behind.
class TiffWriter : public PageSink {
public:
  explicit TiffWriter(std::string destination,
                      TiffCompression compression = TiffCompression::kDeflate);
  ~TiffWriter() override;
  TiffWriter(const TiffWriter&) = delete;
  TiffWriter& operator=(const TiffWriter&) = delete;

  bool ok() const { return tif_ != nullptr && !failed_; }
  bool AddPage(const PageView& page) override;
  // Completes the file and renames it to the destination; false (and nothing left) on error.
  bool Commit();
  uint32_t pages() const { return pages_; }

private:
  void Discard();

  std::string destination_;
  std::string temp_;
  TIFF* tif_ = nullptr;
  uint16_t compression_;
  uint32_t pages_ = 0;
  bool failed_ = false;
};

} // namespace converter
