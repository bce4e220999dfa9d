#include "converter/tiff_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace converter {
namespace {

// Errors are reported through results; keep libtiff from printing on the host's stderr
// (and leave the process-wide handlers of the host alone).
int Quiet(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

// Creates a new, empty file next to `destination` with the usual permissions (umask
// applies); returns its descriptor and name, or -1.
int CreateTemporary(const std::string& destination, std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%u-%llx.part", static_cast<long>(getpid()),
                  counter.fetch_add(1), static_cast<unsigned long long>(tick));
    name = destination + suffix;
    int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  name.clear();
  return -1;
}

} // namespace

TiffWriter::TiffWriter(std::string destination, TiffCompression compression)
    : destination_(std::move(destination)) {
  compression_ = compression == TiffCompression::kLzw ? COMPRESSION_LZW : COMPRESSION_ADOBE_DEFLATE;
  if (!TIFFIsCODECConfigured(compression_)) compression_ = COMPRESSION_LZW;
  if (destination_.empty()) return;
  int fd = CreateTemporary(destination_, temp_);
  if (fd < 0) return;
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options) {
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  }
  tif_ = TIFFFdOpenExt(fd, temp_.c_str(), "w", options);
  TIFFOpenOptionsFree(options);
  if (!tif_) {
    close(fd);
    Discard();
  }
}

TiffWriter::~TiffWriter() {
  Discard();
}

void TiffWriter::Discard() {
  if (tif_) {
    TIFFClose(tif_);
    tif_ = nullptr;
  }
  if (!temp_.empty()) {
    std::remove(temp_.c_str());
    temp_.clear();
  }
  failed_ = true;
}

bool TiffWriter::AddPage(const PageView& page) {
  if (!ok()) return false;
  if (page.width == 0 || page.height == 0 || (page.channels != 1 && page.channels != 3) ||
      !page.pixels || page.stride < static_cast<size_t>(page.width) * page.channels) {
    failed_ = true;
    return false;
  }
  uint16_t samples = static_cast<uint16_t>(page.channels);
  bool set = TIFFSetField(tif_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
             TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, page.width) &&
             TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, page.height) &&
             TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, 8) &&
             TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, samples) &&
             TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC,
                          samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
             TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
             TIFFSetField(tif_, TIFFTAG_COMPRESSION, compression_) &&
             TIFFSetField(tif_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
             TIFFSetField(tif_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
             TIFFSetField(tif_, TIFFTAG_XRESOLUTION, page.dpi_x > 0 ? page.dpi_x : 72.0) &&
             TIFFSetField(tif_, TIFFTAG_YRESOLUTION, page.dpi_y > 0 ? page.dpi_y : 72.0) &&
             TIFFSetField(tif_, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(pages_ & 0xFFFF),
                          static_cast<uint16_t>(0)) &&
             TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif_, 0));
  // The engine reads the file once and deletes it: favour speed over size.
  if (set && compression_ == COMPRESSION_ADOBE_DEFLATE)
    set = TIFFSetField(tif_, TIFFTAG_ZIPQUALITY, 1);
  if (!set) {
    failed_ = true;
    return false;
  }
  size_t row_bytes = static_cast<size_t>(page.width) * page.channels;
  std::vector<uint8_t> row(row_bytes); // libtiff may scribble on the buffer it is given
  for (uint32_t y = 0; y < page.height; ++y) {
    std::memcpy(row.data(), page.pixels + static_cast<size_t>(y) * page.stride, row_bytes);
    if (TIFFWriteScanline(tif_, row.data(), y, 0) < 0) {
      failed_ = true;
      return false;
    }
  }
  if (!TIFFWriteDirectory(tif_)) {
    failed_ = true;
    return false;
  }
  ++pages_;
  return true;
}

bool TiffWriter::Commit() {
  if (!ok() || pages_ == 0) {
    Discard();
    return false;
  }
  // TIFFClose cannot report a failed flush, so flush first and check.
  bool flushed = TIFFFlush(tif_) != 0;
  TIFFClose(tif_);
  tif_ = nullptr;
  if (!flushed || std::rename(temp_.c_str(), destination_.c_str()) != 0) {
    Discard();
    return false;
  }
  temp_.clear();
  return true;
}

} // namespace converter
