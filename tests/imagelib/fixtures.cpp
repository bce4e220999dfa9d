#include "fixtures.h"

#include <jpeglib.h>
#include <openjpeg.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fixtures {

Rgba RgbAt(int x, int y) {
  return Rgba{static_cast<uint8_t>(x * 19 + 7), static_cast<uint8_t>(y * 37 + 3),
              static_cast<uint8_t>((x + y) * 11 + 100), 255};
}
uint8_t GreyAt(int x, int y) {
  return static_cast<uint8_t>(x * 23 + y * 41);
}
uint8_t AlphaAt(int x, int y) {
  return static_cast<uint8_t>(x * 31 + y * 53 + 5);
}
bool InkAt(int x, int y) {
  return (x * 3 + y) % 5 == 0;
}
int IndexAt(int x, int y, int colours) {
  return (x + 3 * y) % colours;
}
Rgba PaletteColour(int i) {
  return Rgba{static_cast<uint8_t>(i * 47), static_cast<uint8_t>(i * 91),
              static_cast<uint8_t>(255 - i * 13), 255};
}

Pattern RgbPattern() {
  return RgbAt;
}
Pattern RgbaPattern() {
  return [](int x, int y) {
    Rgba c = RgbAt(x, y);
    c.a = AlphaAt(x, y);
    return c;
  };
}
Pattern GreyPattern() {
  return [](int x, int y) {
    uint8_t g = GreyAt(x, y);
    return Rgba{g, g, g, 255};
  };
}
Pattern GreyAlphaPattern() {
  return [](int x, int y) {
    uint8_t g = GreyAt(x, y);
    return Rgba{g, g, g, AlphaAt(x, y)};
  };
}
Pattern InkPattern() {
  return [](int x, int y) {
    uint8_t v = InkAt(x, y) ? 0 : 255;
    return Rgba{v, v, v, 255};
  };
}
Pattern PalettePattern(int colours) {
  return [colours](int x, int y) { return PaletteColour(IndexAt(x, y, colours)); };
}

namespace {

std::string TempPath() {
  char tmpl[] = "/tmp/imagelib-fixture-XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) throw std::runtime_error("mkstemp");
  close(fd);
  return tmpl;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  std::remove(path.c_str());
  return ss.str();
}

} // namespace

// ---------------------------------------------------------------------------------------- BMP

std::string Bmp(const BmpOptions& o, int w, int h) {
  const int bits = o.bits;
  const bool core = o.headerSize == 12;
  int colours = bits <= 8 ? 1 << bits : 0;
  auto index = [&](int x, int y) {
    return bits == 1 ? (InkAt(x, y) ? 0 : 1) : IndexAt(x, y, colours);
  };
  Bytes pal;
  for (int i = 0; i < colours; ++i) {
    Rgba c =
        bits == 1 ? (i == 0 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255}) : PaletteColour(i);
    pal.u8(c.b), pal.u8(c.g), pal.u8(c.r);
    if (!core) pal.u8(0);
  }
  bool fields = bits == 16 || (bits == 32 && o.alpha);
  Bytes masks;
  if (fields && o.headerSize == 40) {
    masks.le32(0xF800), masks.le32(0x07E0), masks.le32(0x001F);
  }
  // Pixel data, rows in file order.
  Bytes data;
  const int stride = (w * bits + 31) / 32 * 4;
  if (o.rle) {
    for (int fy = 0; fy < h; ++fy) {
      int y = h - 1 - fy;
      if (fy == 0) { // one absolute run for the first row
        data.u8(0), data.u8(w);
        if (o.rle == 8) {
          for (int x = 0; x < w; ++x)
            data.u8(index(x, y));
          if (w & 1) data.u8(0);
        } else {
          for (int x = 0; x < w; x += 2)
            data.u8((index(x, y) << 4) | (x + 1 < w ? index(x + 1, y) : 0));
          if (((w + 1) / 2) & 1) data.u8(0);
        }
      } else if (o.rle == 8) {
        for (int x = 0; x < w; ++x)
          data.u8(1), data.u8(index(x, y));
      } else {
        for (int x = 0; x < w; x += 2) {
          int n = x + 1 < w ? 2 : 1;
          data.u8(n), data.u8((index(x, y) << 4) | (n == 2 ? index(x + 1, y) : 0));
        }
      }
      data.u8(0), data.u8(0);
    }
    data.u8(0), data.u8(1);
  } else {
    for (int fy = 0; fy < h; ++fy) {
      int y = o.topDown ? fy : h - 1 - fy;
      std::string row(static_cast<size_t>(stride), '\0');
      for (int x = 0; x < w; ++x) {
        Rgba c = RgbAt(x, y);
        switch (bits) {
        case 1:
        case 2:
        case 4:
        case 8: {
          int v = index(x, y), per = 8 / bits;
          row[x / per] = static_cast<char>(row[x / per] | (v << (8 - bits * (x % per + 1))));
          break;
        }
        case 16: {
          int v = ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3);
          row[2 * x] = static_cast<char>(v), row[2 * x + 1] = static_cast<char>(v >> 8);
          break;
        }
        case 24:
          row[3 * x] = static_cast<char>(c.b), row[3 * x + 1] = static_cast<char>(c.g);
          row[3 * x + 2] = static_cast<char>(c.r);
          break;
        case 32:
          row[4 * x] = static_cast<char>(c.b), row[4 * x + 1] = static_cast<char>(c.g);
          row[4 * x + 2] = static_cast<char>(c.r);
          row[4 * x + 3] = static_cast<char>(o.alpha ? AlphaAt(x, y) : 0);
          break;
        }
      }
      data.str(row);
    }
  }
  Bytes info;
  info.le32(o.headerSize);
  if (core) {
    info.le16(w), info.le16(h), info.le16(1), info.le16(bits);
  } else {
    info.le32(w), info.le32(o.topDown ? -h : h), info.le16(1), info.le16(bits);
    uint32_t comp = o.rle == 8 ? 1 : o.rle == 4 ? 2 : fields ? 3 : 0;
    info.le32(comp), info.le32(static_cast<uint32_t>(data.s.size()));
    info.le32(o.ppm), info.le32(o.ppm), info.le32(0), info.le32(0);
    if (o.headerSize >= 108) {
      if (!fields) // plain files: masks left zero, as many writers do
        info.le32(0), info.le32(0), info.le32(0), info.le32(0);
      else if (bits == 16)
        info.le32(0xF800), info.le32(0x07E0), info.le32(0x001F), info.le32(0);
      else
        info.le32(0x00FF0000), info.le32(0x0000FF00), info.le32(0x000000FF), info.le32(0xFF000000);
    }
    info.zeros(static_cast<size_t>(o.headerSize) - info.s.size());
  }
  std::string dib = info.s + masks.s + pal.s;
  if (!o.fileHeader) return dib + data.s;
  Bytes file;
  uint32_t off = static_cast<uint32_t>(14 + dib.size()) + (o.array ? 14 : 0);
  file.str("BM"), file.le32(static_cast<uint32_t>(off + data.s.size())), file.le32(0),
      file.le32(off);
  if (!o.array) return file.s + dib + data.s;
  Bytes arr;
  arr.str("BA"), arr.le32(40), arr.le32(0), arr.le16(0), arr.le16(0);
  return arr.s + file.s + dib + data.s;
}

std::string BmpHeaderOnly(int32_t w, int32_t h, int bits, size_t tail) {
  Bytes b;
  b.str("BM"), b.le32(0), b.le32(0), b.le32(54);
  b.le32(40), b.le32(static_cast<uint32_t>(w)), b.le32(static_cast<uint32_t>(h)), b.le16(1),
      b.le16(bits);
  b.le32(0), b.le32(0), b.le32(0), b.le32(0), b.le32(0), b.le32(0);
  b.zeros(tail);
  return b.s;
}

// ---------------------------------------------------------------------------------------- PNG

namespace {
void PngWrite(png_structp p, png_bytep data, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
}
void PngFlush(png_structp) {}
} // namespace

std::string Png(const PngOptions& o, int w, int h) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png write");
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, w, h, o.depth, o.colourType,
               o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  int colours = 1 << o.depth;
  std::vector<png_color> pal;
  std::vector<png_byte> trans;
  if (o.colourType == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < colours; ++i) {
      Rgba c = PaletteColour(i);
      pal.push_back(png_color{c.r, c.g, c.b});
      trans.push_back(static_cast<png_byte>(i * 37 + 11));
    }
    png_set_PLTE(png, info, pal.data(), colours);
    if (o.trns) png_set_tRNS(png, info, trans.data(), colours, nullptr);
  }
  if (o.ppm) png_set_pHYs(png, info, o.ppm, o.ppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  int channels = o.colourType == 0 || o.colourType == 3 ? 1
                 : o.colourType == 4                    ? 2
                 : o.colourType == 2                    ? 3
                                                        : 4;
  int bytesPerSample = o.depth == 16 ? 2 : 1;
  std::vector<std::vector<png_byte>> rows(h);
  std::vector<png_bytep> ptrs(h);
  for (int y = 0; y < h; ++y) {
    auto& r = rows[y];
    r.assign(static_cast<size_t>(w) * channels * bytesPerSample + 8, 0);
    for (int x = 0; x < w; ++x) {
      Rgba c = RgbAt(x, y);
      int vals[4] = {};
      if (o.colourType == 3) {
        vals[0] = IndexAt(x, y, colours);
      } else if (o.colourType == 0 || o.colourType == 4) {
        vals[0] = o.depth == 1  ? (InkAt(x, y) ? 0 : 1)
                  : o.depth < 8 ? GreyAt(x, y) >> (8 - o.depth)
                                : GreyAt(x, y);
        vals[1] = AlphaAt(x, y);
      } else {
        vals[0] = c.r, vals[1] = c.g, vals[2] = c.b, vals[3] = AlphaAt(x, y);
      }
      for (int k = 0; k < channels; ++k) {
        if (o.depth == 16) {
          int v = vals[k] * 257;
          size_t at = (static_cast<size_t>(x) * channels + k) * 2;
          r[at] = static_cast<png_byte>(v >> 8), r[at + 1] = static_cast<png_byte>(v);
        } else if (o.depth == 8) {
          r[static_cast<size_t>(x) * channels + k] = static_cast<png_byte>(vals[k]);
        } else {
          int per = 8 / o.depth;
          r[x / per] =
              static_cast<png_byte>(r[x / per] | (vals[0] << (8 - o.depth * (x % per + 1))));
        }
      }
    }
    ptrs[y] = r.data();
  }
  png_write_image(png, ptrs.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// --------------------------------------------------------------------------------------- JPEG

std::string Jpeg(bool grey, int quality, int dpi, int w, int h, bool cmyk) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = w, c.image_height = h;
  c.input_components = grey ? 1 : cmyk ? 4 : 3;
  c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (dpi)
    c.density_unit = 1, c.X_density = static_cast<UINT16>(dpi),
    c.Y_density = static_cast<UINT16>(dpi);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(w) * 4);
  while (c.next_scanline < c.image_height) {
    int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < w; ++x) {
      Rgba p = RgbAt(x, y);
      if (grey)
        row[x] = GreyAt(x, y);
      else if (cmyk)
        row[4 * x] = p.r, row[4 * x + 1] = p.g, row[4 * x + 2] = p.b, row[4 * x + 3] = 255;
      else
        row[3 * x] = p.r, row[3 * x + 1] = p.g, row[3 * x + 2] = p.b;
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

std::string JpegWithExif(uint32_t resolution, int unit, bool bigEndian) {
  Bytes t; // the Exif TIFF structure: header, one directory of three entries, two rationals
  auto u16 = [&](int v) { bigEndian ? t.be16(v) : t.le16(v); };
  auto u32 = [&](uint32_t v) { bigEndian ? t.be32(v) : t.le32(v); };
  t.str(bigEndian ? "MM" : "II"), u16(42), u32(8);
  u16(3);
  u16(0x011A), u16(5), u32(1), u32(8 + 2 + 36 + 4);
  u16(0x011B), u16(5), u32(1), u32(8 + 2 + 36 + 4 + 8);
  u16(0x0128), u16(3), u32(1), u16(unit), u16(0);
  u32(0);
  u32(resolution), u32(1), u32(resolution * 2), u32(2);
  std::string exif = std::string("Exif\0\0", 6) + t.s;

  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = kW, c.image_height = kH;
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  c.write_JFIF_header = FALSE;
  jpeg_start_compress(&c, TRUE);
  jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.data()),
                    static_cast<unsigned>(exif.size()));
  std::vector<JSAMPLE> row(kW);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < kW; ++x)
      row[x] = GreyAt(x, static_cast<int>(c.next_scanline));
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

// --------------------------------------------------------------------------------------- TIFF

std::string Tiff(const std::vector<TiffPage>& pages) {
  std::string path = TempPath();
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) throw std::runtime_error("tiff open");
  for (const TiffPage& p : pages) {
    int spp = p.samples + (p.alpha ? 1 : 0);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, p.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, p.compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, p.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (p.alpha) {
      uint16_t ex = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &ex);
    }
    if (p.compression == COMPRESSION_JPEG) {
      TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
      if (p.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (p.dpi > 0) {
      TIFFSetField(t, TIFFTAG_XRESOLUTION, p.dpi);
      TIFFSetField(t, TIFFTAG_YRESOLUTION, p.dpi);
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, p.unit);
    }
    int colours = 1 << p.bits;
    std::vector<uint16_t> cm[3];
    if (p.photometric == PHOTOMETRIC_PALETTE) {
      for (int i = 0; i < colours; ++i) {
        Rgba c = PaletteColour(i);
        cm[0].push_back(c.r * 257), cm[1].push_back(c.g * 257), cm[2].push_back(c.b * 257);
      }
      TIFFSetField(t, TIFFTAG_COLORMAP, cm[0].data(), cm[1].data(), cm[2].data());
    }
    auto sample = [&](int x, int y, int s) -> int {
      if (p.bits == 1) {
        bool ink = InkAt(x, y);
        return p.photometric == PHOTOMETRIC_MINISWHITE ? ink : !ink;
      }
      if (p.photometric == PHOTOMETRIC_PALETTE) return IndexAt(x, y, colours);
      int v;
      if (s == p.samples)
        v = AlphaAt(x, y);
      else if (p.samples == 1)
        v = GreyAt(x, y);
      else {
        Rgba c = RgbAt(x, y);
        v = s == 0 ? c.r : s == 1 ? c.g : c.b;
      }
      if (p.bits == 16) return v * 257;
      if (p.bits < 8) return v >> (8 - p.bits);
      return v;
    };
    auto pack = [&](std::vector<uint8_t>& buf, int x, int y, int first, int count, int w) {
      for (int s = first; s < first + count; ++s) {
        size_t i = static_cast<size_t>(x) * count + (s - first);
        int v = sample(x, y, s);
        if (p.bits == 16) {
          reinterpret_cast<uint16_t*>(buf.data())[i] = static_cast<uint16_t>(v);
        } else if (p.bits == 8) {
          buf[i] = static_cast<uint8_t>(v);
        } else {
          size_t bit = i * p.bits;
          buf[bit / 8] = static_cast<uint8_t>(buf[bit / 8] | (v << (8 - p.bits - bit % 8)));
        }
      }
      (void)w;
    };
    if (p.tiled) {
      const int tw = 16, th = 16;
      TIFFSetField(t, TIFFTAG_TILEWIDTH, tw);
      TIFFSetField(t, TIFFTAG_TILELENGTH, th);
      std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(t)));
      for (int ty = 0; ty < p.h; ty += th)
        for (int tx = 0; tx < p.w; tx += tw) {
          std::fill(tile.begin(), tile.end(), 0);
          size_t rowBytes = (static_cast<size_t>(tw) * spp * p.bits + 7) / 8;
          for (int y = 0; y < th; ++y) {
            std::vector<uint8_t> row(rowBytes + 8, 0);
            for (int x = 0; x < tw && tx + x < p.w; ++x) {
              if (ty + y >= p.h) break;
              for (int s = 0; s < spp; ++s) {
                int v = sample(tx + x, ty + y, s);
                size_t i = static_cast<size_t>(x) * spp + s;
                if (p.bits == 8)
                  row[i] = static_cast<uint8_t>(v);
                else if (p.bits == 16)
                  reinterpret_cast<uint16_t*>(row.data())[i] = static_cast<uint16_t>(v);
              }
            }
            std::memcpy(tile.data() + y * rowBytes, row.data(), rowBytes);
          }
          TIFFWriteTile(t, tile.data(), tx, ty, 0, 0);
        }
    } else {
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.compression == COMPRESSION_JPEG ? 16 : 3);
      std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize(t)) + 16);
      for (int s = 0; p.separate && s < spp; ++s) // plane by plane
        for (int y = 0; y < p.h; ++y) {
          std::fill(line.begin(), line.end(), 0);
          for (int x = 0; x < p.w; ++x)
            pack(line, x, y, s, 1, p.w);
          TIFFWriteScanline(t, line.data(), y, static_cast<uint16_t>(s));
        }
      for (int y = 0; y < p.h && !p.separate; ++y) {
        {
          std::fill(line.begin(), line.end(), 0);
          for (int x = 0; x < p.w; ++x)
            pack(line, x, y, 0, spp, p.w);
          TIFFWriteScanline(t, line.data(), y, 0);
        }
      }
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
  return Slurp(path);
}

// --------------------------------------------------------------------------------- JPEG 2000

std::string Jpeg2000(int components, bool codestream, int w, int h) {
  std::vector<opj_image_cmptparm_t> parms(components);
  for (auto& cp : parms) {
    std::memset(&cp, 0, sizeof cp);
    cp.dx = cp.dy = 1;
    cp.w = w, cp.h = h;
    cp.prec = 8;
    cp.sgnd = 0;
  }
  opj_image_t* img = opj_image_create(components, parms.data(),
                                      components >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
  img->x0 = img->y0 = 0;
  img->x1 = w, img->y1 = h;
  if (components == 4 || components == 2) img->comps[components - 1].alpha = 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgba c = RgbAt(x, y);
      int vals[4] = {c.r, c.g, c.b, AlphaAt(x, y)};
      if (components <= 2) vals[0] = GreyAt(x, y), vals[1] = AlphaAt(x, y);
      for (int k = 0; k < components; ++k)
        img->comps[k].data[y * w + x] = vals[k];
    }
  opj_cparameters_t params;
  opj_set_default_encoder_parameters(&params);
  params.numresolution = 2;
  params.tcp_numlayers = 1;
  params.tcp_rates[0] = 0;
  params.cp_disto_alloc = 1;
  opj_codec_t* codec = opj_create_compress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
  opj_setup_encoder(codec, &params, img);
  std::string path = TempPath();
  opj_stream_t* st = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
  bool ok =
      opj_start_compress(codec, img, st) && opj_encode(codec, st) && opj_end_compress(codec, st);
  opj_stream_destroy(st);
  opj_destroy_codec(codec);
  opj_image_destroy(img);
  if (!ok) throw std::runtime_error("jpeg 2000 encode");
  return Slurp(path);
}

// ------------------------------------------------------------------------------ simple formats

std::string Pnm(int kind, int maxval, bool comments) {
  Bytes b;
  b.str("P" + std::to_string(kind) + "\n");
  if (comments) b.str("# made by the tests\n");
  b.str(std::to_string(kW) + " " + std::to_string(kH) + "\n");
  if (kind != 1 && kind != 4) b.str(std::to_string(maxval) + "\n");
  auto scaled = [&](int v) { return (v * maxval + 127) / 255; };
  for (int y = 0; y < kH; ++y) {
    if (kind == 4) {
      for (int x = 0; x < kW; x += 8) {
        int v = 0;
        for (int k = 0; k < 8 && x + k < kW; ++k)
          v |= InkAt(x + k, y) << (7 - k);
        b.u8(v);
      }
      continue;
    }
    for (int x = 0; x < kW; ++x) {
      Rgba c = RgbAt(x, y);
      int vals[3] = {c.r, c.g, c.b};
      switch (kind) {
      case 1:
        b.str(InkAt(x, y) ? "1" : "0");
        break; // no separators: allowed for P1
      case 2:
        b.str(std::to_string(scaled(GreyAt(x, y))) + (x % 5 == 4 ? "\n" : " "));
        break;
      case 3:
        for (int v : vals)
          b.str(std::to_string(scaled(v)) + " ");
        break;
      case 5:
        maxval > 255 ? b.be16(scaled(GreyAt(x, y))) : b.u8(scaled(GreyAt(x, y)));
        break;
      case 6:
        for (int v : vals)
          maxval > 255 ? b.be16(scaled(v)) : b.u8(scaled(v));
        break;
      }
    }
    if (kind <= 3) b.str("\n");
  }
  return b.s;
}

std::string Pam(int depth, bool bitonal, int maxval) {
  Bytes b;
  b.str("P7\n# made by the tests\nWIDTH " + std::to_string(kW) + "\nHEIGHT " + std::to_string(kH) +
        "\nDEPTH " + std::to_string(depth) + "\nMAXVAL " + std::to_string(bitonal ? 1 : maxval) +
        "\nTUPLTYPE " +
        (bitonal      ? "BLACKANDWHITE"
         : depth <= 2 ? "GRAYSCALE"
                      : "RGB_ALPHA") +
        "\nENDHDR\n");
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Rgba c = RgbAt(x, y);
      int vals[4] = {c.r, c.g, c.b, AlphaAt(x, y)};
      if (depth <= 2) vals[0] = GreyAt(x, y), vals[1] = AlphaAt(x, y);
      for (int k = 0; k < depth; ++k) {
        if (bitonal)
          b.u8(InkAt(x, y) ? 0 : 1);
        else if (maxval > 255)
          b.be16(vals[k] * 257);
        else
          b.u8(vals[k]);
      }
    }
  return b.s;
}

std::string Tga(const TgaOptions& o) {
  int base = o.type & 7;
  bool rle = o.type >= 9;
  Bytes b;
  b.u8(3); // id length
  b.u8(base == 1 ? 1 : 0), b.u8(o.type);
  b.le16(0), b.le16(base == 1 ? 256 : 0), b.u8(base == 1 ? 24 : 0);
  b.le16(0), b.le16(0), b.le16(kW), b.le16(kH), b.u8(o.depth);
  b.u8((o.depth == 32 ? 8 : 0) | (o.topDown ? 0x20 : 0));
  b.str("abc");
  if (base == 1)
    for (int i = 0; i < 256; ++i) {
      Rgba c = PaletteColour(i);
      b.u8(c.b), b.u8(c.g), b.u8(c.r);
    }
  auto pixel = [&](int x, int y) {
    x = x / 3 * 3; // runs of three for the run-length packets
    Bytes p;
    Rgba c = RgbAt(x, y);
    if (base == 1)
      p.u8(IndexAt(x, y, 256));
    else if (base == 3)
      p.u8(GreyAt(x, y));
    else if (o.depth == 16)
      p.le16(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
    else {
      p.u8(c.b), p.u8(c.g), p.u8(c.r);
      if (o.depth == 32) p.u8(AlphaAt(x, y));
    }
    return p.s;
  };
  for (int fy = 0; fy < kH; ++fy) {
    int y = o.topDown ? fy : kH - 1 - fy;
    int x = 0;
    while (x < kW) {
      if (!rle) {
        b.str(pixel(x, y));
        ++x;
        continue;
      }
      int n = 1;
      while (x + n < kW && pixel(x + n, y) == pixel(x, y))
        ++n;
      if (n > 1) {
        b.u8(0x80 | (n - 1)), b.str(pixel(x, y));
      } else {
        b.u8(0), b.str(pixel(x, y));
      }
      x += n;
    }
  }
  return b.s;
}

std::string Pcx(int bits, int planes) {
  const int bpl = ((kW * bits + 7) / 8 + 1) & ~1;
  Bytes b;
  b.u8(0x0A), b.u8(5), b.u8(1), b.u8(bits);
  b.le16(0), b.le16(0), b.le16(kW - 1), b.le16(kH - 1), b.le16(150), b.le16(150);
  for (int i = 0; i < 16; ++i) {
    Rgba c = PaletteColour(i);
    b.u8(c.r), b.u8(c.g), b.u8(c.b);
  }
  b.u8(0), b.u8(planes), b.le16(bpl), b.le16(1);
  b.zeros(128 - b.s.size());
  auto idx = [&](int x, int y) {
    x = x / 3 * 3;
    return IndexAt(x, y, bits == 8 ? 256 : 16);
  };
  for (int y = 0; y < kH; ++y) {
    std::vector<uint8_t> line(static_cast<size_t>(bpl) * planes, 0);
    for (int x = 0; x < kW; ++x) {
      int bx = x / 3 * 3;
      if (bits == 1 && planes == 1) {
        if (!InkAt(bx, y)) line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); // 1 white
      } else if (bits == 1) {
        for (int p = 0; p < planes; ++p)
          if ((idx(x, y) >> p) & 1) line[p * bpl + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      } else if (planes == 1) {
        line[x] = static_cast<uint8_t>(idx(x, y));
      } else {
        Rgba c = RgbAt(bx, y);
        line[x] = c.r, line[bpl + x] = c.g, line[2 * bpl + x] = c.b;
      }
    }
    for (size_t i = 0; i < line.size();) {
      size_t n = 1;
      while (i + n < line.size() && n < 63 && line[i + n] == line[i])
        ++n;
      if (n > 1 || line[i] >= 0xC0) b.u8(0xC0 | static_cast<int>(n));
      b.u8(line[i]);
      i += n;
    }
  }
  if (bits == 8 && planes == 1) {
    b.u8(0x0C);
    for (int i = 0; i < 256; ++i) {
      Rgba c = PaletteColour(i);
      b.u8(c.r), b.u8(c.g), b.u8(c.b);
    }
  }
  return b.s;
}

std::string Ico(const std::string& entries) {
  std::vector<std::string> images;
  for (char e : entries) {
    if (e == 'p') {
      images.push_back(Png(PngOptions{6, 8, false, false, 0}));
      continue;
    }
    int bits = e == '3' ? 32 : e == '8' ? 8 : 1;
    Bytes d;
    d.le32(40), d.le32(kW), d.le32(2 * kH), d.le16(1), d.le16(bits), d.le32(0), d.le32(0);
    d.le32(0), d.le32(0), d.le32(0), d.le32(0);
    int colours = bits <= 8 ? 1 << bits : 0;
    for (int i = 0; i < colours; ++i) {
      Rgba c = bits == 1 ? (i ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255}) : PaletteColour(i);
      d.u8(c.b), d.u8(c.g), d.u8(c.r), d.u8(0);
    }
    int stride = (kW * bits + 31) / 32 * 4;
    for (int y = kH - 1; y >= 0; --y) {
      std::string row(static_cast<size_t>(stride), '\0');
      for (int x = 0; x < kW; ++x) {
        if (bits == 32) {
          Rgba c = RgbAt(x, y);
          row[4 * x] = static_cast<char>(c.b), row[4 * x + 1] = static_cast<char>(c.g);
          row[4 * x + 2] = static_cast<char>(c.r),
                      row[4 * x + 3] = static_cast<char>(AlphaAt(x, y));
        } else if (bits == 8) {
          row[x] = static_cast<char>(IndexAt(x, y, 256));
        } else if (!InkAt(x, y)) {
          row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
      }
      d.str(row);
    }
    int mstride = (kW + 31) / 32 * 4;
    for (int y = kH - 1; y >= 0; --y) {
      std::string row(static_cast<size_t>(mstride), '\0');
      for (int x = 0; x < kW; ++x)
        if (bits != 32 && AlphaAt(x, y) < 128)
          row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      d.str(row);
    }
    images.push_back(d.s);
  }
  Bytes b;
  b.le16(0), b.le16(1), b.le16(static_cast<int>(images.size()));
  uint32_t off = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    b.u8(kW), b.u8(kH), b.u8(0), b.u8(0), b.le16(1), b.le16(32);
    b.le32(static_cast<uint32_t>(images[i].size())), b.le32(off);
    off += static_cast<uint32_t>(images[i].size());
  }
  for (auto& im : images)
    b.str(im);
  return b.s;
}

std::string Wbmp() {
  Bytes b;
  b.u8(0), b.u8(0), b.u8(kW), b.u8(kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; x += 8) {
      int v = 0;
      for (int k = 0; k < 8 && x + k < kW; ++k)
        v |= (!InkAt(x + k, y)) << (7 - k);
      b.u8(v);
    }
  return b.s;
}

std::string Sun(int depth, bool rle, bool colourMap) {
  Bytes data;
  int rowBytes = (kW * depth + 15) / 16 * 2;
  for (int y = 0; y < kH; ++y) {
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (int x = 0; x < kW; ++x) {
      int bx = rle ? x / 3 * 3 : x;
      Rgba c = RgbAt(bx, y);
      switch (depth) {
      case 1:
        if (InkAt(bx, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        break;
      case 8:
        row[x] = static_cast<uint8_t>(colourMap ? IndexAt(bx, y, 256) : GreyAt(bx, y));
        break;
      case 24:
        row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
        break;
      case 32:
        row[4 * x] = 0, row[4 * x + 1] = c.b, row[4 * x + 2] = c.g, row[4 * x + 3] = c.r;
        break;
      }
    }
    if (!rle) {
      for (uint8_t v : row)
        data.u8(v);
      continue;
    }
    for (size_t i = 0; i < row.size();) {
      size_t n = 1;
      while (i + n < row.size() && n < 256 && row[i + n] == row[i])
        ++n;
      if (n > 2 || row[i] == 0x80) {
        data.u8(0x80), data.u8(static_cast<int>(n - 1)), data.u8(row[i]);
        if (row[i] == 0x80 && n == 1) data.s.resize(data.s.size() - 2), data.u8(0);
      } else {
        for (size_t k = 0; k < n; ++k)
          data.u8(row[i]);
      }
      i += n;
    }
  }
  Bytes b;
  b.be32(0x59a66a95), b.be32(kW), b.be32(kH), b.be32(depth),
      b.be32(static_cast<uint32_t>(data.s.size()));
  b.be32(rle ? 2 : 1), b.be32(colourMap ? 1 : 0), b.be32(colourMap ? 768 : 0);
  if (colourMap) {
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 256; ++i) {
        Rgba c = PaletteColour(i);
        b.u8(k == 0 ? c.r : k == 1 ? c.g : c.b);
      }
  }
  return b.s + data.s;
}

std::string Pgx(int depth, bool bigEndian, bool isSigned) {
  Bytes b;
  b.str(std::string("PG ") + (bigEndian ? "ML" : "LM") + (isSigned ? " -" : " +") +
        std::to_string(depth) + " " + std::to_string(kW) + " " + std::to_string(kH) + "\n");
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      int g = GreyAt(x, y);
      if (depth <= 8) {
        int v = isSigned ? g - 128 : g;
        b.u8(v);
      } else {
        int v = g * 257;
        if (isSigned) v -= 32768;
        bigEndian ? b.be16(v) : b.le16(v);
      }
    }
  return b.s;
}

} // namespace fixtures
