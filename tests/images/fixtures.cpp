#include "fixtures.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "test_support.h"

namespace fixtures {

Raster Pattern(int width, int height, int components) {
  Raster r{width, height, components, {}};
  r.pixels.resize(static_cast<size_t>(width) * height * components);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = r.at(x, y);
      bool box = x > width / 8 && x < width / 2 && y > height / 6 && y < height / 2;
      bool stripe = (y / 8) % 2 == 0 && x > width * 5 / 8;
      for (int c = 0; c < components; ++c) {
        int v = (x * 255 / (width > 1 ? width - 1 : 1) + c * 85 + y) % 256;
        if (box) v = c == 0 ? 230 : 20 + 40 * c;
        if (stripe) v = c == 1 ? 0 : 255;
        p[c] = static_cast<uint8_t>(v);
      }
    }
  return r;
}

Raster BitonalPattern(int width, int height) {
  Raster r{width, height, 1, {}};
  r.pixels.assign(static_cast<size_t>(width) * height, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool frame = x < 3 || y < 3 || x >= width - 3 || y >= height - 3;
      bool bar = y > height / 4 && y < height / 3 && x > width / 5;
      bool diagonal = std::abs(x - y) < 2;
      bool dots = (x / 5 + y / 7) % 9 == 0 && y > height / 2;
      if (frame || bar || diagonal || dots) *r.at(x, y) = 0;
    }
  return r;
}

Raster ToRgb(const Raster& r) {
  Raster out{r.width, r.height, 3, {}};
  out.pixels.resize(static_cast<size_t>(r.width) * r.height * 3);
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      const uint8_t* s = r.at(x, y);
      uint8_t* d = out.at(x, y);
      if (r.components == 1) {
        d[0] = d[1] = d[2] = s[0];
      } else if (r.components == 3) {
        std::memcpy(d, s, 3);
      } else {
        for (int c = 0; c < 3; ++c) {
          int v = 255 - s[c] - s[3];
          d[c] = static_cast<uint8_t>(v < 0 ? 0 : v);
        }
      }
    }
  return out;
}

std::string EncodeJpeg(const Raster& r, const JpegOptions& o) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(r.width);
  cinfo.image_height = static_cast<JDIMENSION>(r.height);
  cinfo.input_components = r.components;
  cinfo.in_color_space = r.components == 1 ? JCS_GRAYSCALE : r.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, o.quality, TRUE);
  if (r.components == 4) cinfo.write_Adobe_marker = o.adobeMarker ? TRUE : FALSE;
  cinfo.write_JFIF_header = o.jfif ? TRUE : FALSE;
  if (o.densityUnit >= 0) {
    cinfo.density_unit = static_cast<UINT8>(o.densityUnit);
    cinfo.X_density = static_cast<UINT16>(o.xDensity);
    cinfo.Y_density = static_cast<UINT16>(o.yDensity);
  }
  if (o.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  if (!o.extraApp13.empty())
    jpeg_write_marker(&cinfo, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(o.extraApp13.data()),
                      static_cast<unsigned>(o.extraApp13.size()));
  std::vector<uint8_t> row(static_cast<size_t>(r.width) * r.components);
  bool invert = r.components == 4 && o.adobeMarker;
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* src = r.at(0, static_cast<int>(cinfo.next_scanline));
    for (size_t i = 0; i < row.size(); ++i)
      row[i] = invert ? 255 - src[i] : src[i];
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(mem), size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

Raster DecodeJpeg(const std::string& bytes) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  Raster r{static_cast<int>(cinfo.output_width),
           static_cast<int>(cinfo.output_height),
           cinfo.output_components,
           {}};
  r.pixels.resize(static_cast<size_t>(r.width) * r.height * r.components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {r.at(0, static_cast<int>(cinfo.output_scanline))};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  bool adobeInverted = cinfo.saw_Adobe_marker && r.components == 4;
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (adobeInverted)
    for (auto& v : r.pixels)
      v = static_cast<uint8_t>(255 - v);
  return r;
}

namespace {

int Silent(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

// Packs one row of 8-bit samples into `bits` bits each, as the photometric wants them.
void PackRow(const TiffPage& p, int y, std::vector<uint8_t>& out) {
  const Raster& r = p.raster;
  int spp = r.components + p.extraSamples;
  size_t bitsPerRow = static_cast<size_t>(r.width) * spp * p.bitsPerSample;
  out.assign((bitsPerRow + 7) / 8, 0);
  size_t bit = 0;
  for (int x = 0; x < r.width; ++x) {
    for (int c = 0; c < spp; ++c) {
      unsigned v = c < r.components ? r.at(x, y)[c] : 200;
      if (p.bitsPerSample == 16) {
        unsigned w = v * 257;
        out[bit / 8] = static_cast<uint8_t>(w & 0xFF); // native little-endian host order
        out[bit / 8 + 1] = static_cast<uint8_t>(w >> 8);
        bit += 16;
        continue;
      }
      if (p.colourMap.empty()) {
        if (p.bitsPerSample < 8) v >>= (8 - p.bitsPerSample);
        if (p.photometric == PHOTOMETRIC_MINISWHITE && c == 0)
          v = ((1u << p.bitsPerSample) - 1) - v;
      }
      if (p.bitsPerSample == 8) {
        out[bit / 8] = static_cast<uint8_t>(v);
      } else {
        out[bit / 8] |= static_cast<uint8_t>(v << (8 - p.bitsPerSample - bit % 8));
      }
      bit += static_cast<size_t>(p.bitsPerSample);
    }
  }
}

} // namespace

bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages) {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(opts, Silent, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, Silent, nullptr);
  TIFF* t = TIFFOpenExt(path.c_str(), "w", opts);
  TIFFOpenOptionsFree(opts);
  if (!t) return false;
  bool ok = true;
  for (const TiffPage& p : pages) {
    const Raster& r = p.raster;
    int spp = r.components + p.extraSamples;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(r.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(r.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(p.bitsPerSample));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(spp));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, static_cast<uint16_t>(p.photometric));
    TIFFSetField(t, TIFFTAG_COMPRESSION, static_cast<uint16_t>(p.compression));
    TIFFSetField(t, TIFFTAG_FILLORDER, static_cast<uint16_t>(p.fillOrder));
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (pages.size() > 1) TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    if (p.predictor) TIFFSetField(t, TIFFTAG_PREDICTOR, static_cast<uint16_t>(p.predictor));
    if (p.compression == COMPRESSION_CCITTFAX3)
      TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, p.group3Options);
    if (p.extraSamples) {
      std::vector<uint16_t> kinds(static_cast<size_t>(p.extraSamples), EXTRASAMPLE_UNASSALPHA);
      TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(p.extraSamples), kinds.data());
    }
    if (p.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
    if (p.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    if (!p.colourMap.empty()) {
      size_t n = p.colourMap.size() / 3;
      TIFFSetField(t, TIFFTAG_COLORMAP, p.colourMap.data(), p.colourMap.data() + n,
                   p.colourMap.data() + 2 * n);
    }
    std::vector<uint8_t> row;
    if (p.tiled) {
      const uint32_t tile = 16;
      TIFFSetField(t, TIFFTAG_TILEWIDTH, tile);
      TIFFSetField(t, TIFFTAG_TILELENGTH, tile);
      tmsize_t tileSize = TIFFTileSize(t);
      std::vector<uint8_t> buf(static_cast<size_t>(tileSize));
      tmsize_t rowBytes = tileSize / static_cast<tmsize_t>(tile);
      for (uint32_t ty = 0; ty < static_cast<uint32_t>(r.height); ty += tile)
        for (uint32_t tx = 0; tx < static_cast<uint32_t>(r.width); tx += tile) {
          std::fill(buf.begin(), buf.end(), 0);
          for (uint32_t y = 0; y < tile && ty + y < static_cast<uint32_t>(r.height); ++y) {
            PackRow(p, static_cast<int>(ty + y), row);
            size_t bitOffset = static_cast<size_t>(tx) * spp * p.bitsPerSample;
            for (size_t b = 0; b < static_cast<size_t>(rowBytes); ++b) {
              size_t src = bitOffset / 8 + b;
              buf[y * static_cast<size_t>(rowBytes) + b] = src < row.size() ? row[src] : 0;
            }
          }
          if (TIFFWriteTile(t, buf.data(), tx, ty, 0, 0) < 0) ok = false;
        }
    } else {
      uint32_t rps =
          p.rowsPerStrip > 0 ? static_cast<uint32_t>(p.rowsPerStrip) : TIFFDefaultStripSize(t, 0);
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
      for (int y = 0; y < r.height; ++y) {
        PackRow(p, y, row);
        if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) < 0) ok = false;
      }
    }
    if (!TIFFWriteDirectory(t)) ok = false;
  }
  TIFFClose(t);
  return ok;
}

Raster DecodeTiff(const std::string& path, int index) {
  Raster r;
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(opts, Silent, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, Silent, nullptr);
  TIFF* t = TIFFOpenExt(path.c_str(), "r", opts);
  TIFFOpenOptionsFree(opts);
  if (!t) return r;
  uint32_t w = 0, h = 0;
  if (TIFFSetDirectory(t, static_cast<tdir_t>(index)) && TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) &&
      TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h)) {
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    if (TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 1)) {
      r = Raster{static_cast<int>(w), static_cast<int>(h), 3, {}};
      r.pixels.resize(raster.size() * 3);
      // libtiff multiplies colour by alpha; what alpha leaves uncovered is white paper.
      for (size_t i = 0; i < raster.size(); ++i) {
        unsigned paper = 255 - TIFFGetA(raster[i]);
        auto onWhite = [paper](unsigned c) {
          return static_cast<uint8_t>(std::min(255u, c + paper));
        };
        r.pixels[i * 3] = onWhite(TIFFGetR(raster[i]));
        r.pixels[i * 3 + 1] = onWhite(TIFFGetG(raster[i]));
        r.pixels[i * 3 + 2] = onWhite(TIFFGetB(raster[i]));
      }
    }
  }
  TIFFClose(t);
  return r;
}

namespace {

// Binary PPM (P6) or PGM (P5), converted to RGB.
Raster ReadPnm(const std::string& path) {
  Raster r;
  std::string data = testsupport::ReadFile(path);
  std::istringstream in(data);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  if ((magic != "P6" && magic != "P5") || w <= 0 || h <= 0 || max != 255) return r;
  in.get();
  size_t start = static_cast<size_t>(in.tellg());
  int comps = magic == "P6" ? 3 : 1;
  size_t need = static_cast<size_t>(w) * h * comps;
  if (data.size() < start + need) return r;
  r = Raster{w, h, 3, {}};
  r.pixels.resize(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
    for (int c = 0; c < 3; ++c)
      r.pixels[i * 3 + c] = static_cast<uint8_t>(data[start + i * comps + (comps == 3 ? c : 0)]);
  return r;
}

} // namespace

Raster RenderMupdf(const std::string& pdf, int page, const std::string& scratch) {
  std::string out = scratch + "/mupdf-" + std::to_string(page) + ".pnm";
  std::remove(out.c_str());
  testsupport::Run("mutool draw -q -r 72 -c rgb -F pnm -o " + testsupport::Quote(out) + " " +
                   testsupport::Quote(pdf) + " " + std::to_string(page));
  return ReadPnm(out);
}

Raster RenderPoppler(const std::string& pdf, int page, const std::string& scratch) {
  std::string base = scratch + "/poppler-" + std::to_string(page);
  std::remove((base + ".ppm").c_str());
  testsupport::Run("pdftoppm -r 72 -singlefile -f " + std::to_string(page) + " -l " +
                   std::to_string(page) + " " + testsupport::Quote(pdf) + " " +
                   testsupport::Quote(base));
  return ReadPnm(base + ".ppm");
}

int MaxDifference(const Raster& a, const Raster& b) {
  if (a.width != b.width || a.height != b.height || a.components != b.components ||
      a.pixels.size() != b.pixels.size() || a.pixels.empty())
    return 256;
  int m = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    m = std::max(m, std::abs(a.pixels[i] - b.pixels[i]));
  return m;
}

double MeanDifference(const Raster& a, const Raster& b) {
  if (MaxDifference(a, b) == 256) return 256;
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    sum += std::abs(a.pixels[i] - b.pixels[i]);
  return sum / static_cast<double>(a.pixels.size());
}

::testing::AssertionResult PopplerAgrees(const Raster& poppler, const Raster& expected,
                                         bool inkColours) {
  if (MaxDifference(poppler, expected) == 256)
    return ::testing::AssertionFailure()
           << "poppler page is " << poppler.width << "x" << poppler.height << ", expected "
           << expected.width << "x" << expected.height;
  if (!inkColours) {
    double mean = MeanDifference(poppler, expected);
    if (mean <= 24) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "poppler differs by " << mean << " on average";
  }
  size_t mismatched = 0, n = static_cast<size_t>(poppler.width) * poppler.height;
  for (size_t i = 0; i < n; ++i) {
    auto dark = [&](const Raster& r) {
      const uint8_t* p = r.pixels.data() + i * 3;
      return (p[0] * 3 + p[1] * 6 + p[2]) / 10 < 64;
    };
    if (dark(poppler) != dark(expected)) ++mismatched;
  }
  if (mismatched * 100 <= n * 3) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << mismatched << " of " << n << " pixels differ in darkness";
}

} // namespace fixtures
