// PNG through libpng: every colour type and depth, palettes, transparency, interlacing;
// 16-bit samples scaled to 8.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {

struct PngState {
  Cursor* cur = nullptr;
  bool truncated = false;
  char message[128] = {};
};

void OnError(png_structp png, png_const_charp msg) {
  auto* st = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(st->message, sizeof st->message, "%s", msg ? msg : "PNG error");
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep data, png_size_t n) {
  auto* st = static_cast<PngState*>(png_get_io_ptr(png));
  if (!st->cur->Read(data, n)) {
    st->truncated = true;
    png_error(png, "truncated file");
  }
}

} // namespace

Result ReadPng(Source& src, const LoadOptions& opt, Image& out) {
  Cursor cur(src);
  PngState st;
  st.cur = &cur;
  uint8_t sig[8];
  if (!cur.Read(sig, 8)) return Truncated();
  if (png_sig_cmp(sig, 0, 8)) return Corrupt("not a PNG file");

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
  if (!png) return NoMemory();
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return NoMemory();
  }
  std::vector<uint8_t> rowBuf, whole;
  std::vector<png_bytep> rowPtrs;
  Result result = Result::Ok();

  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (!result.ok()) return result;
    if (st.truncated) return Truncated();
    return Corrupt(std::string("corrupt PNG file: ") + st.message);
  }
  png_set_read_fn(png, &st, OnRead);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  png_set_chunk_malloc_max(png, 64u << 20);
  png_read_info(png, info);

  png_uint_32 w = 0, h = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
  bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  int bpp;
  bool alpha = false;
  bool indexed = colour == PNG_COLOR_TYPE_PALETTE || (colour == PNG_COLOR_TYPE_GRAY && depth == 1);
  if (indexed) {
    bpp = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    alpha = hasTrns;
  } else if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
    bpp = 8;
    alpha = hasTrns || colour == PNG_COLOR_TYPE_GRAY_ALPHA;
  } else {
    bpp = 24;
    alpha = hasTrns || colour == PNG_COLOR_TYPE_RGB_ALPHA;
  }
  if (w > 0x7fffffff || h > 0x7fffffff) {
    result = Result::Fail(Status::kTooLarge, "image too large");
    png_longjmp(png, 1);
  }
  result = out.Allocate(static_cast<int>(w), static_cast<int>(h), bpp, alpha, opt.headerOnly,
                        opt.limits);
  if (!result) png_longjmp(png, 1);
  png_charp iccName = nullptr;
  png_bytep iccData = nullptr;
  png_uint_32 iccLength = 0;
  int iccCompression = 0;
  if (png_get_iCCP(png, info, &iccName, &iccCompression, &iccData, &iccLength) && iccData &&
      iccLength > 0)
    out.SetIccProfile(std::vector<uint8_t>(iccData, iccData + iccLength));
  png_uint_32 rx = 0, ry = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER && rx > 0)
    out.SetResolution(rx * 0.0254, (ry ? ry : rx) * 0.0254);

  std::vector<Rgb>& pal = out.MutablePalette();
  if (colour == PNG_COLOR_TYPE_PALETTE) {
    png_colorp p = nullptr;
    int n = 0;
    std::fill(pal.begin(), pal.end(), Rgb{});
    if (png_get_PLTE(png, info, &p, &n))
      for (int i = 0; i < n && i < static_cast<int>(pal.size()); ++i)
        pal[i] = Rgb{p[i].red, p[i].green, p[i].blue};
  } else if (indexed) {
    pal = {Rgb{0, 0, 0}, Rgb{255, 255, 255}};
  }
  if (opt.headerOnly) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Result::Ok();
  }
  uint8_t transTable[256];
  std::memset(transTable, 255, sizeof transTable);
  if (indexed && hasTrns) {
    png_bytep ta = nullptr;
    int nt = 0;
    png_color_16p tc = nullptr;
    png_get_tRNS(png, info, &ta, &nt, &tc);
    if (colour == PNG_COLOR_TYPE_PALETTE && ta) {
      for (int i = 0; i < nt && i < 256; ++i)
        transTable[i] = ta[i];
    } else if (tc) {
      transTable[tc->gray & 1] = 0;
    }
  }

  if (indexed) {
    if (depth < 8) png_set_packing(png);
  } else {
    png_set_expand(png);
    png_set_scale_16(png);
  }
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  int channels = png_get_channels(png, info);

  auto convert = [&](const uint8_t* s, int y) {
    uint8_t* d = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    int ww = static_cast<int>(w);
    if (indexed) {
      for (int x = 0; x < ww; ++x) {
        SetIndex(d, x, bpp, s[x]);
        if (a) a[x] = transTable[s[x]];
      }
      return;
    }
    for (int x = 0; x < ww; ++x) {
      const uint8_t* p = s + static_cast<size_t>(x) * channels;
      if (bpp == 8) {
        d[x] = p[0];
        if (a) a[x] = channels == 2 ? p[1] : 255;
      } else {
        d[3 * x] = p[0], d[3 * x + 1] = p[1], d[3 * x + 2] = p[2];
        if (a) a[x] = channels == 4 ? p[3] : 255;
      }
    }
  };

  if (passes > 1) {
    // Interlaced rows arrive in passes, so the whole decoded image is held once.
    if (static_cast<uint64_t>(rowBytes) * h > opt.limits.maxBytes) {
      result = Result::Fail(Status::kTooLarge, "image too large");
      png_longjmp(png, 1);
    }
    whole.resize(rowBytes * h);
    rowPtrs.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
      rowPtrs[y] = whole.data() + rowBytes * y;
    png_read_image(png, rowPtrs.data());
    for (png_uint_32 y = 0; y < h; ++y)
      convert(rowPtrs[y], static_cast<int>(y));
  } else {
    rowBuf.resize(rowBytes);
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, rowBuf.data(), nullptr);
      convert(rowBuf.data(), static_cast<int>(y));
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return Result::Ok();
}

} // namespace imagelib::detail
