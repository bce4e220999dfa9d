// TIFF through libtiff: pages are directories. Plain strip images of 1 to 16 bits per unsigned
// sample are read scanline by scanline keeping their depth; grey, RGB, palette and CMYK pages
// of any other integer or floating-point layout (tiles, planes) are unpacked sample by sample;
// the rest (JPEG, YCbCr, Lab) goes through libtiff's RGBA reader in bands of rows. Pages are
// turned upright by their Orientation.
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"
#include "imagelib/tiff_io.h"

namespace imagelib::detail {

namespace {

struct TiffCloser {
  TIFF* t;
  ~TiffCloser() {
    if (t) TIFFClose(t);
  }
};

struct Page {
  uint32_t w = 0, h = 0;
  uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t inkSet = INKSET_CMYK;
  bool tiled = false;
  bool scanlinePath = false;
  bool generic = false; // decoded strips or tiles unpacked sample by sample
  bool alpha = false, associated = false;
  int bpp = 24;
};

void ReadPage(TIFF* t, Page& p) {
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p.w);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p.h);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &p.bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &p.planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &p.compression);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &p.photometric))
    p.photometric = p.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
  TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &p.extraCount, &p.extra);
  p.tiled = TIFFIsTiled(t) != 0;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &p.sampleFormat);
  TIFFGetFieldDefaulted(t, TIFFTAG_INKSET, &p.inkSet);
  if (!TIFFGetField(t, TIFFTAG_ORIENTATION, &p.orientation) || p.orientation < 1 ||
      p.orientation > 8)
    p.orientation = ORIENTATION_TOPLEFT;
  if (p.extraCount > 0 && p.extra &&
      (p.extra[0] == EXTRASAMPLE_ASSOCALPHA || p.extra[0] == EXTRASAMPLE_UNASSALPHA)) {
    p.alpha = true;
    p.associated = p.extra[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  bool greyish = p.photometric == PHOTOMETRIC_MINISWHITE || p.photometric == PHOTOMETRIC_MINISBLACK;
  bool pal = p.photometric == PHOTOMETRIC_PALETTE;
  bool okBps = p.bps == 1 || p.bps == 2 || p.bps == 4 || p.bps == 8 || p.bps == 16;
  bool simpleCodec = p.compression != COMPRESSION_OJPEG && p.compression != COMPRESSION_JPEG;
  bool unsignedInts = p.sampleFormat == SAMPLEFORMAT_UINT;
  if (!p.tiled && okBps && unsignedInts && simpleCodec &&
      (p.planar == PLANARCONFIG_CONTIG || p.spp == 1)) {
    if (greyish || pal) {
      if (p.spp == 1)
        p.scanlinePath = !(pal && p.bps == 16);
      else
        p.scanlinePath = greyish && p.bps >= 8;
    } else if (p.photometric == PHOTOMETRIC_RGB) {
      p.scanlinePath = p.spp >= 3 && p.bps >= 8;
    }
  }
  if (p.scanlinePath) {
    if (p.photometric == PHOTOMETRIC_RGB)
      p.bpp = 24;
    else if (p.bps == 1)
      p.bpp = 1;
    else if (p.bps <= 4)
      p.bpp = 4;
    else
      p.bpp = 8;
    int colourSamples = p.photometric == PHOTOMETRIC_RGB ? 3 : 1;
    p.alpha = p.alpha && p.spp > colourSamples;
  } else {
    // The RGBA reader's result, brought back to the page's own class where it has one.
    bool oneSample = p.spp - p.extraCount <= 1;
    if (oneSample && greyish)
      p.bpp = p.bps == 1 ? 1 : 8;
    else
      p.bpp = 24;
    if (p.bpp == 1) p.alpha = false;
  }
  if (p.photometric == PHOTOMETRIC_SEPARATED || p.photometric == PHOTOMETRIC_YCBCR) {
    p.bpp = 24;
  }
  if (!p.scanlinePath && simpleCodec) {
    int colour = p.photometric == PHOTOMETRIC_RGB         ? 3
                 : p.photometric == PHOTOMETRIC_SEPARATED ? 4
                                                          : 1;
    bool known = greyish || pal || p.photometric == PHOTOMETRIC_RGB ||
                 (p.photometric == PHOTOMETRIC_SEPARATED && p.inkSet == INKSET_CMYK);
    bool ints = (p.sampleFormat == SAMPLEFORMAT_UINT || p.sampleFormat == SAMPLEFORMAT_INT) &&
                p.bps >= 1 && p.bps <= 32;
    bool floats = p.sampleFormat == SAMPLEFORMAT_IEEEFP &&
                  (p.bps == 16 || p.bps == 24 || p.bps == 32 || p.bps == 64);
    if (known && (ints || floats) && p.spp >= colour && !(pal && (floats || p.bps > 16))) {
      p.generic = true;
      p.alpha = p.alpha && p.spp > colour;
      if (colour >= 3 || (pal && p.bps > 8))
        p.bpp = 24;
      else if (pal)
        p.bpp = 8;
      else
        p.bpp = p.bps == 1 ? 1 : 8;
      if (p.bpp == 1) p.alpha = false;
    }
  }
}

// One raw sample of a decoded strip or tile row: whole bytes of 16, 32 and 64 bits come in
// the machine's order, 24 bits in the file's, other depths packed from the high bit.
uint64_t RawSample(const uint8_t* row, size_t i, int bits, bool bigEndianFile) {
  switch (bits) {
  case 8:
    return row[i];
  case 16: {
    uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return v;
  }
  case 24: {
    const uint8_t* b = row + 3 * i;
    return bigEndianFile ? (uint64_t{b[0]} << 16 | uint64_t{b[1]} << 8 | b[2])
                         : (uint64_t{b[2]} << 16 | uint64_t{b[1]} << 8 | b[0]);
  }
  case 32: {
    uint32_t v;
    std::memcpy(&v, row + 4 * i, 4);
    return v;
  }
  case 64: {
    uint64_t v;
    std::memcpy(&v, row + 8 * i, 8);
    return v;
  }
  default: {
    uint64_t bit = static_cast<uint64_t>(i) * static_cast<uint64_t>(bits);
    const uint8_t* b = row + bit / 8;
    int shift = static_cast<int>(bit % 8);
    uint64_t acc = 0;
    int have = 0;
    while (have < shift + bits) {
      acc = acc << 8 | *b++;
      have += 8;
    }
    return (acc >> (have - shift - bits)) & ((uint64_t{1} << bits) - 1);
  }
  }
}

double HalfToDouble(uint32_t h) {
  int e = static_cast<int>((h >> 10) & 0x1F);
  double m = h & 0x3FF;
  double v = e == 0    ? m / 1024.0 * std::ldexp(1.0, -14)
             : e == 31 ? (m ? NAN : INFINITY)
                       : (1.0 + m / 1024.0) * std::ldexp(1.0, e - 15);
  return (h & 0x8000) ? -v : v;
}

double Float24ToDouble(uint32_t f) {
  int e = static_cast<int>((f >> 16) & 0x7F);
  double m = f & 0xFFFF;
  double v = e == 0     ? m / 65536.0 * std::ldexp(1.0, -62)
             : e == 127 ? (m ? NAN : INFINITY)
                        : (1.0 + m / 65536.0) * std::ldexp(1.0, e - 63);
  return (f & 0x800000) ? -v : v;
}

// A sample brought to 0..255: integers scaled from their full range (signed ones offset so
// that the most negative value is black), floating point clamped to 0..1.
uint8_t Normalize(uint64_t raw, const Page& p) {
  const int bits = p.bps;
  if (p.sampleFormat == SAMPLEFORMAT_IEEEFP) {
    double v;
    if (bits == 16) {
      v = HalfToDouble(static_cast<uint32_t>(raw));
    } else if (bits == 24) {
      v = Float24ToDouble(static_cast<uint32_t>(raw));
    } else if (bits == 32) {
      float f;
      uint32_t u = static_cast<uint32_t>(raw);
      std::memcpy(&f, &u, 4);
      v = f;
    } else {
      std::memcpy(&v, &raw, 8);
    }
    if (!(v > 0)) return 0; // NaN too
    if (v >= 1) return 255;
    return static_cast<uint8_t>(v * 255 + 0.5);
  }
  uint64_t max = (uint64_t{1} << bits) - 1;
  if (p.sampleFormat == SAMPLEFORMAT_INT) raw = (raw + (uint64_t{1} << (bits - 1))) & max;
  return static_cast<uint8_t>((raw * 255 + max / 2) / max);
}

uint8_t Sample(const uint8_t* s, size_t i, int bps) {
  if (bps == 16) return static_cast<uint8_t>(reinterpret_cast<const uint16_t*>(s)[i] >> 8);
  return s[i];
}

Result ReadScanlines(TIFF* t, const Page& p, Image& out) {
  tmsize_t lineSize = TIFFScanlineSize(t);
  if (lineSize <= 0) return Corrupt("corrupt TIFF file");
  std::vector<uint8_t> line(static_cast<size_t>(lineSize) + 8);
  const int w = static_cast<int>(p.w);
  // The scanline must hold what we index below.
  uint64_t need = (static_cast<uint64_t>(p.w) * p.spp * p.bps + 7) / 8;
  if (static_cast<uint64_t>(lineSize) < need) return Corrupt("corrupt TIFF file");
  bool invert1 = p.photometric == PHOTOMETRIC_MINISWHITE;
  for (uint32_t y = 0; y < p.h; ++y) {
    if (TIFFReadScanline(t, line.data(), y, 0) < 0) return Truncated();
    uint8_t* d = out.Row(static_cast<int>(y));
    uint8_t* a = out.AlphaRow(static_cast<int>(y));
    const uint8_t* s = line.data();
    if (p.bpp == 24) {
      for (int x = 0; x < w; ++x) {
        size_t i = static_cast<size_t>(x) * p.spp;
        uint8_t r = Sample(s, i, p.bps), g = Sample(s, i + 1, p.bps), b = Sample(s, i + 2, p.bps);
        if (a) {
          uint8_t al = Sample(s, i + 3, p.bps);
          a[x] = al;
          if (p.associated && al > 0 && al < 255) {
            r = static_cast<uint8_t>(std::min(255, r * 255 / al));
            g = static_cast<uint8_t>(std::min(255, g * 255 / al));
            b = static_cast<uint8_t>(std::min(255, b * 255 / al));
          }
        }
        d[3 * x] = r, d[3 * x + 1] = g, d[3 * x + 2] = b;
      }
    } else if (p.spp == 1 && p.bps <= 8) {
      if (p.bps == p.bpp) {
        std::memcpy(d, s, static_cast<size_t>(std::min<uint64_t>(need, out.Stride())));
      } else { // 2 bits into 4
        for (int x = 0; x < w; ++x)
          SetIndex(d, x, 4, (s[x >> 2] >> (6 - 2 * (x & 3))) & 3);
      }
    } else { // 8 or 16 bits, possibly with extra samples
      for (int x = 0; x < w; ++x) {
        size_t i = static_cast<size_t>(x) * p.spp;
        uint8_t v = Sample(s, i, p.bps);
        if (a) {
          uint8_t al = Sample(s, i + 1, p.bps);
          a[x] = al;
          if (p.associated && al > 0 && al < 255) {
            int g = v;
            if (invert1) g = 255 - g;
            g = std::min(255, g * 255 / al);
            v = static_cast<uint8_t>(invert1 ? 255 - g : g);
          }
        }
        d[x] = v;
      }
    }
  }
  (void)invert1;
  return Result::Ok();
}

// Decoded strips or tiles, either planar layout, unpacked sample by sample into 8-bit values
// (palette indices kept whole), then turned into the image's grey, palette or RGB pixels.
Result ReadGeneric(TIFF* t, const Page& p, const Limits& limits, Image& out) {
  const uint32_t w = p.w, h = p.h;
  const int spp = p.spp;
  const bool pal = p.photometric == PHOTOMETRIC_PALETTE;
  const uint64_t samples = uint64_t{w} * h * static_cast<uint64_t>(spp);
  if (samples * (pal ? 2 : 1) > limits.maxBytes)
    return Result::Fail(Status::kTooLarge, "image too large");
  std::vector<uint8_t> values;
  std::vector<uint16_t> indices;
  try {
    if (pal) indices.assign(static_cast<size_t>(w) * h, 0);
    values.assign(static_cast<size_t>(samples), 0);
  } catch (...) {
    return NoMemory();
  }
  const bool separate = p.planar == PLANARCONFIG_SEPARATE && spp > 1;
  const int planes = separate ? spp : 1;
  const int perPixel = separate ? 1 : spp;
  const bool bigEndian = TIFFIsBigEndian(t) != 0;
  uint32_t blockW = w, blockH = h;
  if (p.tiled) {
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &blockW);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &blockH);
  } else {
    uint32_t rps = h;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
    blockH = std::min(std::max<uint32_t>(rps, 1), h);
  }
  if (blockW == 0 || blockH == 0) return Corrupt("corrupt TIFF file");
  tmsize_t blockSize = p.tiled ? TIFFTileSize(t) : TIFFStripSize(t);
  if (blockSize <= 0) return Corrupt("corrupt TIFF file");
  // Bytes of one row of a block, the samples packed from the high bit and rows byte-aligned.
  uint64_t rowBytes =
      (uint64_t{blockW} * static_cast<uint64_t>(perPixel) * static_cast<uint64_t>(p.bps) + 7) / 8;
  if (rowBytes * blockH > static_cast<uint64_t>(blockSize)) return Corrupt("corrupt TIFF file");
  std::vector<uint8_t> block(static_cast<size_t>(blockSize));
  for (int plane = 0; plane < planes; ++plane) {
    for (uint32_t y0 = 0; y0 < h; y0 += blockH) {
      for (uint32_t x0 = 0; x0 < w; x0 += blockW) {
        uint32_t n = p.tiled ? TIFFComputeTile(t, x0, y0, 0, static_cast<uint16_t>(plane))
                             : TIFFComputeStrip(t, y0, static_cast<uint16_t>(plane));
        tmsize_t got = p.tiled ? TIFFReadEncodedTile(t, n, block.data(), blockSize)
                               : TIFFReadEncodedStrip(t, n, block.data(), blockSize);
        if (got < 0) return Truncated();
        uint32_t rows = std::min(blockH, h - y0), cols = std::min(blockW, w - x0);
        if (!p.tiled && static_cast<uint64_t>(got) < rowBytes * rows) return Truncated();
        for (uint32_t r = 0; r < rows; ++r) {
          const uint8_t* row = block.data() + rowBytes * r;
          size_t pixel = static_cast<size_t>(y0 + r) * w + x0;
          for (uint32_t c = 0; c < cols; ++c, ++pixel) {
            for (int k = 0; k < perPixel; ++k) {
              size_t i =
                  static_cast<size_t>(c) * static_cast<size_t>(perPixel) + static_cast<size_t>(k);
              uint64_t raw = RawSample(row, i, p.bps, bigEndian);
              int sample = separate ? plane : k;
              if (pal && sample == 0)
                indices[pixel] = static_cast<uint16_t>(raw);
              else
                values[pixel * static_cast<size_t>(spp) + static_cast<size_t>(sample)] =
                    Normalize(raw, p);
            }
          }
        }
      }
    }
  }

  std::vector<Rgb> colours;
  if (pal) {
    uint16_t *rm = nullptr, *gm = nullptr, *bm = nullptr;
    if (!TIFFGetField(t, TIFFTAG_COLORMAP, &rm, &gm, &bm)) return Corrupt("TIFF palette missing");
    size_t n = size_t{1} << p.bps;
    colours.resize(n);
    for (size_t i = 0; i < n; ++i)
      colours[i] = Rgb{static_cast<uint8_t>(rm[i] >> 8), static_cast<uint8_t>(gm[i] >> 8),
                       static_cast<uint8_t>(bm[i] >> 8)};
    if (out.BitsPerPixel() == 8) {
      std::vector<Rgb>& outPal = out.MutablePalette();
      std::fill(outPal.begin(), outPal.end(), Rgb{});
      std::copy(colours.begin(), colours.end(), outPal.begin());
    }
  }
  const int colour = p.photometric == PHOTOMETRIC_RGB         ? 3
                     : p.photometric == PHOTOMETRIC_SEPARATED ? 4
                                                              : 1;
  const bool invert = p.photometric == PHOTOMETRIC_MINISWHITE;
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* d = out.Row(static_cast<int>(y));
    uint8_t* a = out.AlphaRow(static_cast<int>(y));
    for (uint32_t x = 0; x < w; ++x) {
      size_t pixel = static_cast<size_t>(y) * w + x;
      const uint8_t* v = values.data() + pixel * static_cast<size_t>(spp);
      uint8_t al = a ? v[colour] : 255;
      auto unpremultiply = [&](uint8_t c) -> uint8_t {
        if (!a || !p.associated || al == 0 || al == 255) return c;
        return static_cast<uint8_t>(std::min(255, c * 255 / al));
      };
      if (a) a[x] = al;
      if (pal) {
        Rgb c = colours[indices[pixel] < colours.size() ? indices[pixel] : 0];
        if (out.BitsPerPixel() == 8)
          d[x] = static_cast<uint8_t>(indices[pixel]);
        else
          d[3 * x] = c.r, d[3 * x + 1] = c.g, d[3 * x + 2] = c.b;
      } else if (colour == 1) {
        uint8_t g = unpremultiply(invert ? static_cast<uint8_t>(255 - v[0]) : v[0]);
        if (out.BitsPerPixel() == 1)
          SetIndex(d, static_cast<int>(x), 1, g < 128 ? 1 : 0);
        else
          d[x] = g;
      } else if (colour == 3) {
        d[3 * x] = unpremultiply(v[0]);
        d[3 * x + 1] = unpremultiply(v[1]);
        d[3 * x + 2] = unpremultiply(v[2]);
      } else {
        int k = 255 - v[3];
        d[3 * x] = static_cast<uint8_t>((255 - v[0]) * k / 255);
        d[3 * x + 1] = static_cast<uint8_t>((255 - v[1]) * k / 255);
        d[3 * x + 2] = static_cast<uint8_t>((255 - v[2]) * k / 255);
      }
    }
  }
  return Result::Ok();
}

Result ReadViaRgba(TIFF* t, const Page& p, const Limits& limits, Image& out) {
  char emsg[1024] = {};
  if (!TIFFRGBAImageOK(t, emsg)) return Unsupported(std::string("unsupported TIFF: ") + emsg);
  TIFFRGBAImage img;
  if (!TIFFRGBAImageBegin(&img, t, 0, emsg))
    return Unsupported(std::string("unsupported TIFF: ") + emsg);
  // Rows as stored: the page is turned upright afterwards, transposing ones included.
  img.req_orientation = p.orientation;
  const uint32_t w = p.w, h = p.h;
  // Bands of about 16 MB, whole multiples of 16 rows so that they never split a subsampled
  // YCbCr block.
  uint64_t band = (16u << 20) / (static_cast<uint64_t>(w) * 4) / 16 * 16;
  band = std::min<uint64_t>(std::max<uint64_t>(band, 16), h);
  if (static_cast<uint64_t>(w) * 4 * band > limits.maxBytes) {
    TIFFRGBAImageEnd(&img);
    return Result::Fail(Status::kTooLarge, "image too large");
  }
  std::vector<uint32_t> raster;
  try {
    raster.resize(static_cast<size_t>(w) * band);
  } catch (...) {
    TIFFRGBAImageEnd(&img);
    return NoMemory();
  }
  Result r = Result::Ok();
  for (uint32_t y0 = 0; y0 < h; y0 += static_cast<uint32_t>(band)) {
    uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(band, h - y0));
    img.row_offset = static_cast<int>(y0);
    img.col_offset = 0;
    std::fill(raster.begin(), raster.end(), 0xFFFFFFFFu);
    if (!TIFFRGBAImageGet(&img, raster.data(), w, rows)) {
      r = Truncated();
      break;
    }
    for (uint32_t k = 0; k < rows; ++k) {
      int y = static_cast<int>(y0 + k);
      uint8_t* d = out.Row(y);
      uint8_t* a = out.AlphaRow(y);
      const uint32_t* s = raster.data() + static_cast<size_t>(k) * w;
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t px = s[x];
        uint8_t R = TIFFGetR(px), G = TIFFGetG(px), B = TIFFGetB(px), A = TIFFGetA(px);
        if (a) {
          a[x] = A;
          if (A > 0 && A < 255) { // the RGBA reader premultiplies
            R = static_cast<uint8_t>(std::min(255, R * 255 / A));
            G = static_cast<uint8_t>(std::min(255, G * 255 / A));
            B = static_cast<uint8_t>(std::min(255, B * 255 / A));
          }
        }
        if (out.BitsPerPixel() == 24) {
          d[3 * x] = R, d[3 * x + 1] = G, d[3 * x + 2] = B;
        } else if (out.BitsPerPixel() == 8) {
          d[x] = Luma(R, G, B);
        } else {
          SetIndex(d, static_cast<int>(x), 1, Luma(R, G, B) < 128 ? 1 : 0);
        }
      }
    }
  }
  TIFFRGBAImageEnd(&img);
  return r;
}

} // namespace

namespace {

// The last TIFF file read stays open, so that the pages of a many-page file are reached one
// after the other: a fresh handle walks the whole directory chain to find a page.
struct CachedTiff {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtime = 0;
  uint64_t maxAlloc = 0;
  void* map = nullptr;
  size_t length = 0;
  std::unique_ptr<MemorySource> source;
  TiffStream stream;
  TIFF* tif = nullptr;
  ~CachedTiff() {
    if (tif) TIFFClose(tif);
    if (map) munmap(map, length);
  }
};

std::mutex gCacheMutex;
std::unique_ptr<CachedTiff> gCache;

long long MtimeOf(const struct stat& st) {
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// The open handle for the file behind src (the caller holds gCacheMutex); null when src is
// no file or the file cannot be mapped.
CachedTiff* CachedHandle(Source& src, uint64_t maxAlloc) {
  const struct stat* id = src.FileStat();
  if (!id || src.Descriptor() < 0 || id->st_size <= 0) return nullptr;
  CachedTiff* c = gCache.get();
  if (c && c->dev == id->st_dev && c->ino == id->st_ino && c->size == id->st_size &&
      c->mtime == MtimeOf(*id) && c->maxAlloc == maxAlloc)
    return c;
  gCache.reset();
  auto fresh = std::make_unique<CachedTiff>();
  fresh->length = static_cast<size_t>(id->st_size);
  void* m = mmap(nullptr, fresh->length, PROT_READ, MAP_PRIVATE, src.Descriptor(), 0);
  if (m == MAP_FAILED) return nullptr;
  fresh->map = m;
  fresh->source = std::make_unique<MemorySource>(
      std::span<const uint8_t>(static_cast<const uint8_t*>(m), fresh->length));
  fresh->stream.src = fresh->source.get();
  fresh->tif = OpenTiff(fresh->stream, maxAlloc);
  if (!fresh->tif) return nullptr;
  fresh->dev = id->st_dev;
  fresh->ino = id->st_ino;
  fresh->size = id->st_size;
  fresh->mtime = MtimeOf(*id);
  fresh->maxAlloc = maxAlloc;
  gCache = std::move(fresh);
  return gCache.get();
}

} // namespace

Result ReadTiff(Source& src, const LoadOptions& opt, Image& out) {
  TiffStream ownStream;
  ownStream.src = &src;
  uint8_t sig[4] = {};
  if (src.ReadAt(0, sig, 4) < 4) return Truncated();
  bool le = sig[0] == 'I' && sig[1] == 'I', be = sig[0] == 'M' && sig[1] == 'M';
  if (!le && !be) return Corrupt("not a TIFF file");
  std::unique_lock<std::mutex> lock(gCacheMutex);
  CachedTiff* cached = CachedHandle(src, opt.limits.maxBytes);
  if (!cached) lock.unlock();
  TiffStream& stream = cached ? cached->stream : ownStream;
  stream.lastError.clear();
  stream.dataMissing = false;
  TiffCloser tc{cached ? nullptr : OpenTiff(stream, opt.limits.maxBytes)};
  TIFF* t = cached ? cached->tif : tc.t;
  if (!t) {
    if (src.Size() < 16) return Truncated();
    return Corrupt("corrupt TIFF file" + (stream.lastError.empty() ? "" : ": " + stream.lastError));
  }
  // A file's directory chain is walked once, not once per page.
  DirectoryList chain = TiffDirectories(src, src.FileStat());
  int count = chain ? static_cast<int>(chain->size())
                    : static_cast<int>(std::min<tdir_t>(TIFFNumberOfDirectories(t), 65535));
  if (count <= 0) return Corrupt("TIFF file without pages");
  if (opt.frame >= count)
    return Result::Fail(Status::kNoSuchFrame,
                        "the file has only " + std::to_string(count) + " pages");
  stream.dataMissing = false;
  // An open handle that has seen the chain jumps straight to a page by its offset.
  bool reached = opt.frame == 0 || !chain || !cached
                     ? TIFFSetDirectory(t, static_cast<tdir_t>(opt.frame))
                     : TIFFSetSubDirectory(t, (*chain)[static_cast<size_t>(opt.frame)]);
  if (!reached) return Corrupt("corrupt TIFF page");
  if (stream.dataMissing) return Truncated();
  Page p;
  ReadPage(t, p);
  if (p.w == 0 || p.h == 0) return Corrupt("TIFF page without size");
  if (p.w > 0x7fffffff || p.h > 0x7fffffff)
    return Result::Fail(Status::kTooLarge, "image too large");
  if (p.bps != 1 && p.bps != 2 && p.bps != 4 && p.bps != 8 && p.bps != 16 && !p.scanlinePath &&
      !p.generic && p.compression != COMPRESSION_SGILOG && p.compression != COMPRESSION_SGILOG24)
    return Unsupported("unsupported bit depth " + std::to_string(p.bps));
  Result r = out.Allocate(static_cast<int>(p.w), static_cast<int>(p.h), p.bpp, p.alpha,
                          opt.headerOnly, opt.limits);
  if (!r) return r;
  out.SetFrameInfo(ImageType::kTiff, opt.frame, count);
  out.SetRecordedCompression(p.compression);
  float xr = 0, yr = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &xr) && xr > 0 && unit != RESUNIT_NONE) {
    if (!TIFFGetField(t, TIFFTAG_YRESOLUTION, &yr) || !(yr > 0)) yr = xr;
    double k = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    out.SetResolution(xr * k, yr * k);
  }
  std::vector<Rgb>& pal = out.MutablePalette();
  if (p.bpp <= 8) {
    if (p.generic) {
      // Filled by the unpacker: palettes from the colour map, grey as a ramp.
      std::fill(pal.begin(), pal.end(), Rgb{});
      if (p.bpp == 1) {
        pal = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
      } else if (p.photometric != PHOTOMETRIC_PALETTE) {
        for (size_t i = 0; i < pal.size(); ++i)
          pal[i] = Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
      }
    } else if (p.photometric == PHOTOMETRIC_PALETTE && p.scanlinePath) {
      uint16_t *rm = nullptr, *gm = nullptr, *bm = nullptr;
      if (!TIFFGetField(t, TIFFTAG_COLORMAP, &rm, &gm, &bm)) return Corrupt("TIFF palette missing");
      size_t n = size_t{1} << p.bps;
      bool wide = false;
      for (size_t i = 0; i < n; ++i)
        wide = wide || rm[i] > 255 || gm[i] > 255 || bm[i] > 255;
      std::fill(pal.begin(), pal.end(), Rgb{});
      for (size_t i = 0; i < n && i < pal.size(); ++i) {
        if (wide)
          pal[i] = Rgb{static_cast<uint8_t>(rm[i] >> 8), static_cast<uint8_t>(gm[i] >> 8),
                       static_cast<uint8_t>(bm[i] >> 8)};
        else
          pal[i] = Rgb{static_cast<uint8_t>(rm[i]), static_cast<uint8_t>(gm[i]),
                       static_cast<uint8_t>(bm[i])};
      }
    } else {
      bool white0 = p.scanlinePath && p.photometric == PHOTOMETRIC_MINISWHITE;
      int levels = p.scanlinePath ? (1 << std::min<int>(p.bps, 8)) : (1 << p.bpp);
      std::fill(pal.begin(), pal.end(), Rgb{});
      for (int i = 0; i < levels && i < static_cast<int>(pal.size()); ++i) {
        uint8_t v =
            Scale(static_cast<uint32_t>(i), std::min<int>(p.scanlinePath ? p.bps : p.bpp, 8));
        if (white0) v = static_cast<uint8_t>(255 - v);
        pal[i] = Rgb{v, v, v};
      }
      if (!p.scanlinePath && p.bpp == 1) pal = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    }
  }
  out.SetOrientation(p.orientation);
  uint32_t iccSize = 0;
  void* icc = nullptr;
  if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) == 1 && icc && iccSize > 0) {
    const auto* bytes = static_cast<const uint8_t*>(icc);
    out.SetIccProfile(std::vector<uint8_t>(bytes, bytes + iccSize));
  }
  if (opt.headerOnly) return out.ApplyOrientation();
  r = p.scanlinePath ? ReadScanlines(t, p, out)
      : p.generic    ? ReadGeneric(t, p, opt.limits, out)
                     : ReadViaRgba(t, p, opt.limits, out);
  if (!r) return r;
  return out.ApplyOrientation();
}

} // namespace imagelib::detail

namespace imagelib {

void ReleaseOpenFiles() {
  std::lock_guard<std::mutex> lock(detail::gCacheMutex);
  detail::gCache.reset();
}

} // namespace imagelib
