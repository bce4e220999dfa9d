#include "imagelib/tiff_io.h"

#include <cstdio>
#include <cstring>

namespace imagelib::detail {

namespace {

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<TiffStream*>(h);
  if (n <= 0) return 0;
  size_t k = s->src->ReadAt(s->pos, buf, static_cast<size_t>(n));
  s->pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return 0;
}
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<TiffStream*>(h);
  uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->src->Size() : 0;
  s->pos = base + off;
  return s->pos;
}
int CloseProc(thandle_t) {
  return 0;
}
toff_t SizeProc(thandle_t h) {
  return static_cast<TiffStream*>(h)->src->Size();
}
// Mapped reading also avoids a libtiff 4.5 fault with uncompressed tiles read through the
// read procedure ("Invalid tile byte count").
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* s = static_cast<TiffStream*>(h);
  const uint8_t* m = s->src->Map();
  if (!m) return 0;
  *base = const_cast<uint8_t*>(m);
  *size = s->src->Size();
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  if (user) {
    char buf[256];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    *static_cast<std::string*>(user) = buf;
  }
  return 1; // handled: nothing reaches the process-wide handlers
}
int OnWarning(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  // A tag that shapes the pixels but lies past the end of the file means a cut file; libtiff
  // would carry on without it (a palette page would turn grey).
  static const char* const kVital[] = {"ColorMap",    "StripOffsets",   "StripByteCounts",
                                       "TileOffsets", "TileByteCounts", "BitsPerSample",
                                       "JPEGTables",  "ExtraSamples",   "SampleFormat"};
  char buf[256];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (user && std::strstr(buf, "IO error during reading of"))
    for (const char* tag : kVital)
      if (std::strstr(buf, tag)) static_cast<TiffStream*>(user)->dataMissing = true;
  return 1;
}

} // namespace

TIFF* OpenTiff(TiffStream& stream, uint64_t maxAlloc) {
  TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
  if (!o) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(o, OnError, &stream.lastError);
  TIFFOpenOptionsSetWarningHandlerExtR(o, OnWarning, &stream);
  TIFFOpenOptionsSetMaxSingleMemAlloc(o, static_cast<tmsize_t>(maxAlloc));
  TIFF* t = TIFFClientOpenExt("image", "r", &stream, ReadProc, WriteProc, SeekProc, CloseProc,
                              SizeProc, MapProc, UnmapProc, o);
  TIFFOpenOptionsFree(o);
  return t;
}

TIFF* CreateTiff(const std::string& path, std::string& lastError) {
  TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
  if (!o) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(o, OnError, &lastError);
  TIFFOpenOptionsSetWarningHandlerExtR(o, OnWarning, nullptr);
  TIFF* t = TIFFOpenExt(path.c_str(), "w", o);
  TIFFOpenOptionsFree(o);
  return t;
}

} // namespace imagelib::detail
