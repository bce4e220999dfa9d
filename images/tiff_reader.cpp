#include "tiff_reader.h"

#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image_names.h"
#include "imagelib/tiff_io.h"
#include "xobject.h"

namespace images {
namespace {

// The library reports nothing to anybody: problems surface as results.
int Silent(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> MakeOptions(const TiffLimits& limits) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> o(TIFFOpenOptionsAlloc());
  if (!o) return o;
  TIFFOpenOptionsSetErrorHandlerExtR(o.get(), Silent, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(o.get(), Silent, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(o.get(), static_cast<tmsize_t>(limits.maxLibraryAllocation));
  return o;
}

// A TIFF in memory, read through the library's client callbacks.
struct MemoryFile {
  const uint8_t* data;
  uint64_t size;
  uint64_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemoryFile*>(h);
  if (n <= 0 || m->pos >= m->size) return 0;
  uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), m->size - m->pos);
  std::memcpy(buf, m->data + m->pos, count);
  m->pos += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t MemWrite(thandle_t, void*, tmsize_t) {
  return 0;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
  if (off > UINT64_MAX - base) return static_cast<toff_t>(-1);
  m->pos = base + off;
  return m->pos;
}
int MemClose(thandle_t) {
  return 0;
}
toff_t MemSize(thandle_t h) {
  return static_cast<MemoryFile*>(h)->size;
}
int MemMap(thandle_t, void**, toff_t*) {
  return 0;
}
void MemUnmap(thandle_t, void*, toff_t) {}

template <typename T> bool Get(TIFF* t, ttag_t tag, T& v) {
  return TIFFGetField(t, tag, &v) == 1;
}
template <typename T> T GetDefaulted(TIFF* t, ttag_t tag, T fallback) {
  T v = fallback;
  if (TIFFGetFieldDefaulted(t, tag, &v) != 1) return fallback;
  return v;
}

enum class Route { kCopy, kDecode, kRefuse };

struct Decision {
  Route route = Route::kDecode;
  Filter filter = Filter::kNone;
  bool invert = false;
  int predictor = 1;
  std::string fax;
};

constexpr int kNoPhotometric = 255;

bool IsPolarityFlipped(int photometric) {
  // Fax codes decode white runs to 0 bits; where 0 is black (or a palette index), the
  // reader must keep the bits as coded instead of its default of black as 0.
  return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_PALETTE;
}

Decision Decide(TIFF* t, int compression, int photometric, bool tiled, bool separate,
                bool extraSamples, int samples) {
  Decision d;
  uint16_t predictor = 1;
  bool hasPredictor = Get(t, TIFFTAG_PREDICTOR, predictor);
  bool badPredictor = hasPredictor && predictor != 1 && predictor != 2;
  switch (compression) {
  case COMPRESSION_NONE:
    d.route = Route::kDecode;
    break;
  case COMPRESSION_CCITTRLE:
  case COMPRESSION_CCITTFAX3:
  case COMPRESSION_CCITTFAX4:
    if (tiled) break;
    if (samples != 1) {
      d.route = Route::kRefuse;
      break;
    }
    d.route = Route::kCopy;
    d.filter = Filter::kFax;
    if (compression == COMPRESSION_CCITTRLE) {
      d.fax = names::kFaxModifiedHuffman;
    } else if (compression == COMPRESSION_CCITTFAX3) {
      uint32_t t4 = 0;
      Get(t, TIFFTAG_GROUP3OPTIONS, t4);
      if (t4 & GROUP3OPT_2DENCODING) d.fax = names::kFaxTwoDimensional;
    } else {
      d.fax = names::kFaxGroup4;
    }
    if (IsPolarityFlipped(photometric)) d.fax += names::kFaxBlackIs1;
    break;
  case COMPRESSION_CCITTRLEW:
    // Rows aligned to 16-bit words have no PDF decode parameter: decode them instead.
    d.route = Route::kDecode;
    break;
  case COMPRESSION_LZW:
  case COMPRESSION_ADOBE_DEFLATE:
  case COMPRESSION_DEFLATE:
    if (badPredictor || tiled || separate || extraSamples) {
      d.route = Route::kRefuse;
      break;
    }
    d.route = Route::kCopy;
    d.filter = compression == COMPRESSION_LZW ? Filter::kLzw : Filter::kFlate;
    d.predictor = predictor;
    d.invert = photometric == PHOTOMETRIC_MINISWHITE;
    break;
  case COMPRESSION_JPEG:
    d.route = Route::kRefuse;
    break;
  case COMPRESSION_PACKBITS:
    if (extraSamples || separate || tiled) break;
    d.route = Route::kCopy;
    d.filter = Filter::kRunLength;
    d.invert = photometric == PHOTOMETRIC_MINISWHITE;
    break;
  default:
    d.route = Route::kDecode;
    break;
  }
  return d;
}

// PackBits and the PDF run-length filter agree except for the header byte 128, a no-op in
// the one and the end of data in the other: drop such headers. Returns the new length.
size_t DropRunLengthNoOps(uint8_t* p, size_t n) {
  size_t in = 0, out = 0;
  while (in < n) {
    uint8_t h = p[in];
    size_t len;
    if (h < 128)
      len = 1 + static_cast<size_t>(h) + 1;
    else if (h > 128)
      len = 2;
    else
      len = 0;
    if (len == 0) {
      ++in;
      continue;
    }
    len = std::min(len, n - in);
    if (out != in) std::memmove(p + out, p + in, len);
    in += len;
    out += len;
  }
  return out;
}

bool ReadPalette(TIFF* t, int bits, std::vector<uint8_t>& palette) {
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b) != 1 || !r || !g || !b) return false;
  size_t entries = size_t{1} << bits;
  bool wide = false;
  for (size_t i = 0; i < entries; ++i)
    if (r[i] >= 256 || g[i] >= 256 || b[i] >= 256) wide = true;
  palette.resize(entries * 3);
  for (size_t i = 0; i < entries; ++i) {
    uint16_t c[3] = {r[i], g[i], b[i]};
    for (int k = 0; k < 3; ++k) {
      unsigned v = c[k];
      if (wide) v = v * 255u / 65535u;
      palette[i * 3 + static_cast<size_t>(k)] = static_cast<uint8_t>(v & 0xFF);
    }
  }
  return true;
}

// Copies the directory's strips, one XObject each.
bool WriteCopiedStrips(const ImageContext& ctx, TIFF* t, ImageRecord& image, uint64_t fileSize) {
  const uint32_t height = static_cast<uint32_t>(image.height);
  uint32_t strips = TIFFNumberOfStrips(t);
  uint32_t rows = height;
  uint32_t rps = 0;
  if (strips > 1 && Get(t, TIFFTAG_ROWSPERSTRIP, rps) && rps != 0xFFFFFFFFu) rows = rps;
  if (rows == 0) return false;
  if (rows > height) rows = height;
  uint32_t needed = height / rows + (height % rows ? 1 : 0);
  if (strips < needed) return false;

  // Every strip must lie inside the file before anything is written.
  uint64_t largest = 0;
  for (uint32_t s = 0; s < needed; ++s) {
    int err = 0;
    uint64_t offset = TIFFGetStrileOffsetWithErr(t, s, &err);
    if (err) return false;
    uint64_t count = TIFFGetStrileByteCountWithErr(t, s, &err);
    if (err || count == 0 || offset > fileSize || count > fileSize - offset) return false;
    largest = std::max(largest, count);
  }
  std::vector<uint8_t> buffer;
  buffer.resize(static_cast<size_t>(largest));

  image.stripCount = static_cast<int32_t>(needed);
  image.stripHeight = static_cast<int32_t>(rows);
  bool reverse =
      GetDefaulted<uint16_t>(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) == FILLORDER_LSB2MSB;

  int paletteObject = 0;
  for (uint32_t s = 0; s < needed; ++s) {
    uint64_t count = TIFFGetStrileByteCount(t, s);
    tmsize_t got = TIFFReadRawStrip(t, s, buffer.data(), static_cast<tmsize_t>(count));
    if (got <= 0) return false;
    size_t n = static_cast<size_t>(got);
    if (reverse) TIFFReverseBits(buffer.data(), static_cast<tmsize_t>(n));
    if (image.filter == Filter::kRunLength) n = DropRunLengthNoOps(buffer.data(), n);
    if (s == 0 && image.colourClass == kIndexed) paletteObject = WritePaletteStream(ctx, image);
    if (s == 0) WriteIccStream(ctx, image);
    int stripRows = static_cast<int>(std::min(rows, height - s * rows));
    ImageStream stream(ctx, image, stripRows, paletteObject, false);
    if (s == 0) image.xobjectIndex = stream.index();
    stream.WriteRaw(buffer.data(), n);
    stream.Finish();
  }
  return true;
}

uint8_t Scale(unsigned v, int bits) {
  unsigned max = (1u << bits) - 1;
  return static_cast<uint8_t>(v * 255u / max);
}

// Separated CMYK read scanline by scanline into 8-bit interleaved rows, top row first.
bool DecodeCmyk(TIFF* t, uint32_t width, uint32_t height, int bits, bool separate,
                std::vector<uint8_t>& out) {
  tmsize_t lineSize = TIFFScanlineSize(t);
  if (lineSize <= 0) return false;
  std::vector<uint8_t> line(static_cast<size_t>(lineSize));
  out.assign(static_cast<size_t>(width) * height * 4, 0);
  int planes = separate ? 4 : 1;
  int perPixel = separate ? 1 : 4;
  for (int plane = 0; plane < planes; ++plane) {
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(t, line.data(), y, static_cast<uint16_t>(plane)) < 0) return false;
      uint8_t* row = out.data() + static_cast<size_t>(y) * width * 4;
      for (uint32_t x = 0; x < width; ++x) {
        for (int k = 0; k < perPixel; ++k) {
          size_t sample = static_cast<size_t>(x) * perPixel + k;
          unsigned v;
          if (bits == 8) {
            v = line[sample];
          } else {
            size_t bit = sample * static_cast<size_t>(bits);
            v = (line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            v = Scale(v, bits);
          }
          row[static_cast<size_t>(x) * 4 + static_cast<size_t>(separate ? plane : k)] =
              static_cast<uint8_t>(v);
        }
      }
    }
  }
  return true;
}

bool WriteDecoded(const ImageContext& ctx, TIFF* t, ImageRecord& image, bool cmykScanlines,
                  bool separate, int bits) {
  const uint32_t width = static_cast<uint32_t>(image.width);
  const uint32_t height = static_cast<uint32_t>(image.height);
  std::vector<uint8_t> pixels;
  size_t bytes = 0;
  if (cmykScanlines) {
    if (!DecodeCmyk(t, width, height, bits, separate, pixels)) return false;
    bytes = pixels.size();
  } else {
    const size_t count = static_cast<size_t>(width) * height;
    pixels.resize(count * 4);
    auto* raster = reinterpret_cast<uint32_t*>(pixels.data());
    // Rows as stored, like copied strips: the image matrix turns the page upright.
    int stored = image.orientation >= 1 && image.orientation <= 8 ? image.orientation : 1;
    if (!TIFFReadRGBAImageOriented(t, width, height, raster, stored, 1)) return false;
    // Narrow the pixels in place: pixel i is read before bytes up to 4 i + 3 are written.
    const size_t n = static_cast<size_t>(image.componentCount);
    uint8_t* out = pixels.data();
    // The reader hands out colour multiplied by alpha, associated or not: adding what the
    // alpha leaves uncovered puts the picture on white paper.
    for (size_t i = 0; i < count; ++i) {
      uint32_t p;
      std::memcpy(&p, out + i * 4, 4);
      unsigned paper = 255 - TIFFGetA(p);
      auto onWhite = [paper](unsigned c) {
        return static_cast<uint8_t>(std::min(255u, c + paper));
      };
      out[i * n] = onWhite(TIFFGetR(p));
      if (n == 3) {
        out[i * n + 1] = onWhite(TIFFGetG(p));
        out[i * n + 2] = onWhite(TIFFGetB(p));
      }
    }
    bytes = count * n;
  }
  image.stripCount = 1;
  image.stripHeight = static_cast<int32_t>(height);
  WriteIccStream(ctx, image);
  ImageStream stream(ctx, image, static_cast<int>(height), 0, true);
  image.xobjectIndex = stream.index();
  stream.WriteDeflated(pixels.data(), bytes);
  stream.Finish();
  return true;
}

// offset: where the directory starts when known (0: walk the chain to it).
int ReadDirectory(const ImageContext& ctx, ImageTable& table, TIFF* t, uint64_t fileSize,
                  int directory, uint64_t offset, const TiffLimits& limits, const char* path) {
  if (directory < 1) return -1;
  bool reached = directory > 1 && offset != 0
                     ? TIFFSetSubDirectory(t, offset)
                     : TIFFSetDirectory(t, static_cast<tdir_t>(directory - 1));
  if (!reached) return -1;

  uint16_t photo = 0;
  int photometric = Get(t, TIFFTAG_PHOTOMETRIC, photo) ? photo : kNoPhotometric;
  switch (photometric) {
  case PHOTOMETRIC_MASK:
  case PHOTOMETRIC_YCBCR:
  case PHOTOMETRIC_CIELAB:
  case PHOTOMETRIC_ICCLAB:
  case PHOTOMETRIC_ITULAB:
    return -1;
  default:
    break;
  }
  uint32_t width = 0, height = 0;
  if (!Get(t, TIFFTAG_IMAGEWIDTH, width) || !Get(t, TIFFTAG_IMAGELENGTH, height)) return -1;
  if (width == 0 || height == 0 || width > 0xFFFFFF || height > 0xFFFFFF) return -1;
  uint16_t compression = 0;
  if (!Get(t, TIFFTAG_COMPRESSION, compression)) compression = 0;
  uint16_t bits = GetDefaulted<uint16_t>(t, TIFFTAG_BITSPERSAMPLE, 1);
  uint16_t samples = GetDefaulted<uint16_t>(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  uint16_t planar = GetDefaulted<uint16_t>(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  if (TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) != 1) extraCount = 0;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return -1;
  if (samples == 0) return -1;
  // Signed and floating-point samples mean nothing to a PDF reader as they are.
  if (GetDefaulted<uint16_t>(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT)
    return -1;

  ImageRecord image;
  image.path = path ? path : "";
  image.width = static_cast<float>(width);
  image.height = static_cast<float>(height);
  image.bitsPerComponent = bits;
  image.componentCount = samples;
  image.stripCount = 1;
  uint32_t iccSize = 0;
  void* icc = nullptr;
  if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) == 1 && icc && iccSize > 0 &&
      iccSize < (1u << 24)) {
    const auto* bytes = static_cast<const uint8_t*>(icc);
    image.iccProfile.assign(bytes, bytes + iccSize);
  }
  uint16_t orientation = ORIENTATION_TOPLEFT;
  if (Get(t, TIFFTAG_ORIENTATION, orientation) && orientation >= 1 && orientation <= 8)
    image.orientation = orientation;
  float xr = 0, yr = 0;
  if (Get(t, TIFFTAG_XRESOLUTION, xr) && Get(t, TIFFTAG_YRESOLUTION, yr) && xr > 0 && yr > 0) {
    uint16_t unit = GetDefaulted<uint16_t>(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (unit == RESUNIT_CENTIMETER) {
      xr *= 2.54f;
      yr *= 2.54f;
    } else if (unit == RESUNIT_NONE) {
      xr = -xr;
      yr = -yr;
    }
    image.xResolution = xr;
    image.yResolution = yr;
  }

  const bool tiled = TIFFIsTiled(t) != 0;
  const bool separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
  Decision d = Decide(t, compression, photometric, tiled, separate, extraCount > 0, samples);
  if (d.route == Route::kRefuse) return -1;
  // Strips of the LZW variant that came before the TIFF 6.0 one pack their codes from the
  // low bit (they begin 00 01, a clear code); PDF readers know only the later one.
  if (d.route == Route::kCopy && d.filter == Filter::kLzw) {
    uint8_t head[2] = {};
    if (TIFFReadRawStrip(t, 0, head, 2) == 2 && head[0] == 0x00 && (head[1] & 0x01)) d = Decision{};
  }
  bool copy = d.route == Route::kCopy;
  if (copy) {
    image.passThrough = true;
    image.filter = d.filter;
    image.invertDecode = d.invert;
    image.predictor = d.predictor;
    image.faxParameters = d.fax;
    if (d.filter == Filter::kFax) image.bitsPerComponent = 1;
  } else {
    image.bitsPerComponent = 8;
    image.filter = Filter::kFlate;
    if (samples == 1) {
      uint16_t *r, *g, *b;
      if (TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b) == 1) image.componentCount = 3;
    }
  }

  bool cmykScanlines = false;
  switch (image.componentCount) {
  case 1:
    image.colourClass = kGrey;
    break;
  case 3:
    image.colourClass = kRgb;
    break;
  case 4:
    if (photometric == PHOTOMETRIC_SEPARATED) {
      if (GetDefaulted<uint16_t>(t, TIFFTAG_INKSET, INKSET_CMYK) != INKSET_CMYK) return -1;
      image.colourClass = kCmyk;
      cmykScanlines = !copy && !tiled;
      if (!copy && tiled) {
        // The RGBA reader turns tiled CMYK into RGB.
        image.componentCount = 3;
        image.colourClass = kRgb;
      }
    } else {
      image.componentCount = 3;
      image.colourClass = kRgb;
      copy = false;
      image.passThrough = false;
      image.filter = Filter::kFlate;
      image.bitsPerComponent = 8;
      image.invertDecode = false;
    }
    break;
  default:
    return -1;
  }
  // Copying takes the strips as they are, so the samples must be laid out as one per
  // component of the image's colour space.
  if (copy && static_cast<int>(samples) != image.componentCount) return -1;

  if (copy) {
    if (photometric == PHOTOMETRIC_PALETTE) {
      if (!ReadPalette(t, image.bitsPerComponent, image.palette)) return -1;
      image.colourClass = kIndexed;
      image.componentCount = 1;
      image.invertDecode = false;
    }
  } else {
    uint64_t pixels = uint64_t{width} * height;
    if (pixels > limits.maxDecodedPixels) return -1;
  }

  int index = table.Acquire();
  ImageRecord& slot = *table.Get(index);
  slot = std::move(image);
  slot.loaded = true;
  bool ok = copy ? WriteCopiedStrips(ctx, t, slot, fileSize)
                 : WriteDecoded(ctx, t, slot, cmykScanlines, separate, bits);
  if (!ok) {
    table.Release(index);
    return -1;
  }
  return index;
}

} // namespace

namespace {

// The last TIFF file embedded stays open, so that its directories are reached one after the
// other: a fresh handle walks the whole chain to find directory n.
struct CachedTiff {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtime = 0;
  int64_t maxAlloc = 0;
  TiffPtr tif;
};

std::mutex gCacheMutex;
std::unique_ptr<CachedTiff> gCache;

long long MtimeOf(const struct stat& st) {
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

} // namespace

void ReleaseOpenTiffFiles() {
  std::lock_guard<std::mutex> lock(gCacheMutex);
  gCache.reset();
}

int OpenTiffImage(const ImageContext& ctx, ImageTable& table, const char* path, int directory,
                  const TiffLimits& limits) {
  if (!path || directory < 1) return -1;
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  imagelib::detail::DirectoryList chain = imagelib::detail::TiffDirectoriesOfFile(path);
  if (chain && static_cast<size_t>(directory) > chain->size()) return -1;
  uint64_t offset = chain ? (*chain)[static_cast<size_t>(directory - 1)] : 0;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  CachedTiff* c = gCache.get();
  if (!c || c->dev != st.st_dev || c->ino != st.st_ino || c->size != st.st_size ||
      c->mtime != MtimeOf(st) || c->maxAlloc != limits.maxLibraryAllocation) {
    gCache.reset();
    auto options = MakeOptions(limits);
    if (!options) return -1;
    TiffPtr t(TIFFOpenExt(path, "r", options.get()));
    if (!t) return -1;
    gCache = std::make_unique<CachedTiff>(CachedTiff{st.st_dev, st.st_ino, st.st_size, MtimeOf(st),
                                                     limits.maxLibraryAllocation, std::move(t)});
    c = gCache.get();
  }
  return ReadDirectory(ctx, table, c->tif.get(), static_cast<uint64_t>(st.st_size), directory,
                       offset, limits, path);
}

int OpenTiffImageFromMemory(const ImageContext& ctx, ImageTable& table, const uint8_t* data,
                            size_t size, int directory, const TiffLimits& limits) {
  if (!data || directory < 1) return -1;
  auto options = MakeOptions(limits);
  if (!options) return -1;
  MemoryFile file{data, size};
  TiffPtr t(TIFFClientOpenExt("memory", "rm", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                              MemMap, MemUnmap, options.get()));
  if (!t) return -1;
  return ReadDirectory(ctx, table, t.get(), size, directory, 0, limits, nullptr);
}

} // namespace images
