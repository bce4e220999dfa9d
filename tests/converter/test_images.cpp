#include "test_images.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <stdexcept>

namespace convtest {
namespace {

constexpr char kLetters[] = "RGBKYCMO";
constexpr Rgb kColours[] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {0, 0, 0},
                            {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {255, 128, 0}};

int WriteToString(GifFileType* gif, const GifByteType* data, int len) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), len);
  return len;
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v);
}
void Put32(std::string& s, uint64_t v) {
  for (int i = 3; i >= 0; --i)
    s += static_cast<char>(v >> (8 * i));
}
void PutLength(std::string& s, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    s += static_cast<char>(v >> (8 * i));
}

// PackBits: runs of two or more equal bytes as repeats, everything else as literals.
std::string PackBits(const uint8_t* p, size_t n) {
  std::string out;
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && p[i + run] == p[i])
      ++run;
    if (run >= 2) {
      out += static_cast<char>(static_cast<int8_t>(1 - static_cast<int>(run)));
      out += static_cast<char>(p[i]);
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < n && lit < 128 && !(i + lit + 1 < n && p[i + lit] == p[i + lit + 1]))
      ++lit;
    out += static_cast<char>(lit - 1);
    out.append(reinterpret_cast<const char*>(p + i), lit);
    i += lit;
  }
  return out;
}

} // namespace

Rgb ColourOf(char letter) {
  if (letter == '.') return {255, 255, 255};
  for (int i = 0; i < 8; ++i)
    if (kLetters[i] == letter) return kColours[i];
  throw std::runtime_error("unknown colour letter");
}

std::string MakeGif(const GifSpec& spec) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToString, &error);
  Check(gif != nullptr, "EGifOpen");
  EGifSetGifVersion(gif, true);
  GifColorType global[8];
  for (int i = 0; i < 8; ++i)
    global[i] = {kColours[i].r, kColours[i].g, kColours[i].b};
  ColorMapObject* map = GifMakeMapObject(8, global);
  Check(EGifPutScreenDesc(gif, spec.width, spec.height, 8, 0, map) == GIF_OK, "screen");
  GifFreeMapObject(map);
  for (const GifFrame& f : spec.frames) {
    // The local table lists the colours in reverse, so an index means something else there.
    auto index_of = [&](char c) -> int {
      if (c == '_') return 5;
      for (int i = 0; i < 8; ++i)
        if (kLetters[i] == c) return f.local_map ? 7 - i : i;
      throw std::runtime_error("letter not in the GIF palette");
    };
    if (f.disposal >= 0) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = f.disposal;
      gcb.DelayTime = 10;
      gcb.TransparentColor = f.transparent ? 5 : NO_TRANSPARENT_COLOR;
      GifByteType ext[4];
      size_t n = EGifGCBToExtension(&gcb, ext);
      Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext) == GIF_OK,
            "gce");
    }
    ColorMapObject* local = nullptr;
    if (f.local_map) {
      GifColorType reversed[8];
      for (int i = 0; i < 8; ++i)
        reversed[i] = global[7 - i];
      local = GifMakeMapObject(8, reversed);
    }
    int w = static_cast<int>(f.rows[0].size()), h = static_cast<int>(f.rows.size());
    Check(EGifPutImageDesc(gif, f.left, f.top, w, h, f.interlaced, local) == GIF_OK, "image");
    if (local) GifFreeMapObject(local);
    std::vector<int> order;
    if (f.interlaced) {
      const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < h; y += step[p])
          order.push_back(y);
    } else {
      for (int y = 0; y < h; ++y)
        order.push_back(y);
    }
    for (int y : order) {
      std::vector<GifPixelType> line;
      for (char c : f.rows[y])
        line.push_back(static_cast<GifPixelType>(index_of(c)));
      Check(EGifPutLine(gif, line.data(), w) == GIF_OK, "line");
    }
  }
  Check(EGifCloseFile(gif, &error) == GIF_OK, "close");
  if (!spec.trailer && !out.empty() && out.back() == ';') out.pop_back();
  if (!spec.global_map) { // the writer insists on a table: take it out afterwards
    out[10] = static_cast<char>(out[10] & 0x7F);
    out.erase(13, 8 * 3);
  }
  return out;
}

std::string MakePsd(const PsdSpec& spec) {
  std::string s = "8BPS";
  Put16(s, spec.version);
  s.append(6, '\0');
  Put16(s, static_cast<uint32_t>(spec.planes.size()));
  Put32(s, spec.height);
  Put32(s, spec.width);
  Put16(s, spec.depth);
  Put16(s, spec.mode);
  Put32(s, spec.palette.size());
  s.append(spec.palette.begin(), spec.palette.end());
  std::string resources;
  if (spec.dpi > 0) {
    resources += "8BIM";
    Put16(resources, 0x03ED);
    resources.append(2, '\0'); // empty name, padded
    Put32(resources, 16);
    uint32_t fixed = static_cast<uint32_t>(spec.dpi * 65536);
    Put32(resources, fixed);
    Put16(resources, 1);
    Put16(resources, 1);
    Put32(resources, fixed);
    Put16(resources, 1);
    Put16(resources, 1);
  }
  Put32(s, resources.size());
  s += resources;
  PutLength(s, 0, spec.version == 1 ? 4 : 8); // no layers
  Put16(s, spec.compression);
  size_t row_bytes =
      spec.depth == 1 ? (spec.width + 7) / 8 : static_cast<size_t>(spec.width) * (spec.depth / 8);
  if (spec.compression == 0) {
    for (const auto& plane : spec.planes)
      s.append(plane.begin(), plane.end());
  } else {
    std::string counts, data;
    for (const auto& plane : spec.planes)
      for (uint32_t y = 0; y < spec.height; ++y) {
        std::string row = PackBits(plane.data() + y * row_bytes, row_bytes);
        PutLength(counts, row.size(), spec.version == 1 ? 2 : 4);
        data += row;
      }
    s += counts + data;
  }
  return s;
}

std::string MakeWebp(int width, int height, const std::vector<uint8_t>& rgba) {
  uint8_t* out = nullptr;
  size_t n = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out);
  Check(n > 0, "WebPEncodeLosslessRGBA");
  std::string s(reinterpret_cast<char*>(out), n);
  WebPFree(out);
  return s;
}

std::string MakeAnimatedWebp(int width, int height,
                             const std::vector<std::vector<uint8_t>>& frames) {
  WebPAnimEncoderOptions options;
  Check(WebPAnimEncoderOptionsInit(&options), "options");
  WebPAnimEncoder* enc = WebPAnimEncoderNew(width, height, &options);
  Check(enc != nullptr, "WebPAnimEncoderNew");
  WebPConfig config;
  Check(WebPConfigInit(&config), "config");
  config.lossless = 1;
  int timestamp = 0;
  for (const auto& rgb : frames) {
    WebPPicture pic;
    Check(WebPPictureInit(&pic), "picture");
    pic.use_argb = 1;
    pic.width = width;
    pic.height = height;
    Check(WebPPictureImportRGB(&pic, rgb.data(), width * 3), "import");
    Check(WebPAnimEncoderAdd(enc, &pic, timestamp, &config), "add");
    WebPPictureFree(&pic);
    timestamp += 100;
  }
  Check(WebPAnimEncoderAdd(enc, nullptr, timestamp, nullptr), "end");
  WebPData data;
  WebPDataInit(&data);
  Check(WebPAnimEncoderAssemble(enc, &data), "assemble");
  std::string s(reinterpret_cast<const char*>(data.bytes), data.size);
  WebPDataClear(&data);
  WebPAnimEncoderDelete(enc);
  return s;
}

std::vector<TiffPage> ReadTiff(const std::string& path) {
  std::vector<TiffPage> pages;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return pages;
  do {
    TiffPage p;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &p.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &p.yres);
    tmsize_t line = TIFFScanlineSize(tif);
    p.pixels.resize(static_cast<size_t>(line) * p.height);
    for (uint32_t y = 0; y < p.height; ++y)
      if (TIFFReadScanline(tif, p.pixels.data() + y * line, y, 0) < 0) {
        TIFFClose(tif);
        return {};
      }
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return pages;
}

std::vector<std::string> Letters(const TiffPage& page) {
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < page.height; ++y) {
    std::string row;
    for (uint32_t x = 0; x < page.width; ++x) {
      const uint8_t* px = &page.pixels[(static_cast<size_t>(y) * page.width + x) * page.samples];
      Rgb c = page.samples >= 3 ? Rgb{px[0], px[1], px[2]} : Rgb{px[0], px[0], px[0]};
      char letter = '?';
      if (c == Rgb{255, 255, 255}) letter = '.';
      for (int i = 0; i < 8; ++i)
        if (c == kColours[i]) letter = kLetters[i];
      row += letter;
    }
    rows.push_back(row);
  }
  return rows;
}

} // namespace convtest
