// JPEG through libjpeg-turbo: greyscale, YCbCr/RGB and CMYK/YCCK files; resolution from JFIF.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "imagelib/exif.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {

struct ErrorMgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorMgr*>(c->err);
  (*c->err->format_message)(c, e->message);
  longjmp(e->jump, 1);
}
void OnMessage(j_common_ptr, int) {}

struct SourceMgr {
  jpeg_source_mgr pub;
  Cursor* cur;
  bool truncated;
  JOCTET buf[16384];
};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr c) {
  auto* s = reinterpret_cast<SourceMgr*>(c->src);
  size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof s->buf, s->cur->Remaining()));
  if (n == 0) {
    s->truncated = true;
    // A fake end-of-image marker lets the library finish; the flag reports the truncation.
    s->buf[0] = 0xFF;
    s->buf[1] = JPEG_EOI;
    n = 2;
  } else {
    s->cur->Read(s->buf, n);
  }
  s->pub.next_input_byte = s->buf;
  s->pub.bytes_in_buffer = n;
  return TRUE;
}

void SkipInput(j_decompress_ptr c, long n) {
  auto* s = reinterpret_cast<SourceMgr*>(c->src);
  if (n <= 0) return;
  while (n > static_cast<long>(s->pub.bytes_in_buffer)) {
    n -= static_cast<long>(s->pub.bytes_in_buffer);
    FillInput(c);
    if (s->truncated) return;
  }
  s->pub.next_input_byte += n;
  s->pub.bytes_in_buffer -= static_cast<size_t>(n);
}

void TermSource(j_decompress_ptr) {}

void OnProgress(j_common_ptr c) {
  auto* d = reinterpret_cast<j_decompress_ptr>(c);
  if (d->input_scan_number > 500) {
    std::snprintf(reinterpret_cast<ErrorMgr*>(c->err)->message, JMSG_LENGTH_MAX, "too many scans");
    longjmp(reinterpret_cast<ErrorMgr*>(c->err)->jump, 1);
  }
}

// Resolution from an Exif block (APP1): XResolution, YResolution and ResolutionUnit of the
// first image directory. False when the block holds none.
bool ExifResolution(const uint8_t* p, size_t n, double& x, double& y) {
  if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return false;
  p += 6, n -= 6;
  bool le = p[0] == 'I' && p[1] == 'I';
  if (!le && !(p[0] == 'M' && p[1] == 'M')) return false;
  auto u16 = [&](size_t at) -> uint32_t {
    return le ? p[at] | (p[at + 1] << 8) : (p[at] << 8) | p[at + 1];
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return le ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
  };
  if (u16(2) != 42) return false;
  uint64_t ifd = u32(4);
  if (ifd + 2 > n) return false;
  uint32_t count = u16(static_cast<size_t>(ifd));
  double xr = 0, yr = 0;
  uint32_t unit = 2;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t e = ifd + 2 + 12ull * i;
    if (e + 12 > n) break;
    uint32_t tag = u16(static_cast<size_t>(e)), type = u16(static_cast<size_t>(e + 2));
    if (tag == 0x0128 && type == 3) unit = u16(static_cast<size_t>(e + 8));
    if ((tag == 0x011A || tag == 0x011B) && type == 5) {
      uint64_t at = u32(static_cast<size_t>(e + 8));
      if (at + 8 > n) continue;
      uint32_t num = u32(static_cast<size_t>(at)), den = u32(static_cast<size_t>(at + 4));
      double v = den ? static_cast<double>(num) / den : 0;
      (tag == 0x011A ? xr : yr) = v;
    }
  }
  if (!(xr > 1) || unit == 1) return false;
  double k = unit == 3 ? 2.54 : 1.0;
  x = xr * k;
  y = (yr > 1 ? yr : xr) * k;
  return true;
}

} // namespace

Result ReadJpeg(Source& src, const LoadOptions& opt, Image& out) {
  Cursor cur(src);
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  SourceMgr sm;
  jpeg_progress_mgr progress;
  std::vector<uint8_t> line;
  Result result = Result::Ok();
  std::memset(&sm, 0, sizeof sm);
  sm.cur = &cur;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  err.message[0] = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    if (!result.ok()) return result;
    if (sm.truncated) return Truncated();
    return Corrupt(std::string("corrupt JPEG file: ") + err.message);
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = static_cast<long>(opt.limits.maxBytes);
  progress.progress_monitor = OnProgress;
  cinfo.progress = &progress;
  sm.pub.init_source = InitSource;
  sm.pub.fill_input_buffer = FillInput;
  sm.pub.skip_input_data = SkipInput;
  sm.pub.resync_to_restart = jpeg_resync_to_restart;
  sm.pub.term_source = TermSource;
  cinfo.src = &sm.pub;

  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || sm.truncated) {
    jpeg_destroy_decompress(&cinfo);
    return Truncated();
  }
  bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  result = out.Allocate(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height),
                        grey ? 8 : 24, false, opt.headerOnly, opt.limits);
  if (!result) {
    jpeg_destroy_decompress(&cinfo);
    return result;
  }
  out.SetRecordedCompression(kCompressionJpeg);
  JOCTET* icc = nullptr;
  unsigned int iccLength = 0;
  if (jpeg_read_icc_profile(&cinfo, &icc, &iccLength) && icc) {
    out.SetIccProfile(std::vector<uint8_t>(icc, icc + iccLength));
    std::free(icc);
  }
  if (cinfo.num_components >= 3) {
    const jpeg_component_info* c = cinfo.comp_info;
    for (int i = 1; i < cinfo.num_components; ++i)
      if (c[i].h_samp_factor != c[0].h_samp_factor || c[i].v_samp_factor != c[0].v_samp_factor)
        out.SetSourceSubsampled(true);
  }
  // A density of 1 x 1 is what many writers put when they know none; it is no resolution.
  bool placeholder = cinfo.X_density == 1 && cinfo.Y_density == 1;
  if (cinfo.saw_JFIF_marker && cinfo.X_density > 0 && !placeholder) {
    double k = cinfo.density_unit == 1 ? 1.0 : cinfo.density_unit == 2 ? 2.54 : 0.0;
    if (k > 0)
      out.SetResolution(cinfo.X_density * k,
                        (cinfo.Y_density ? cinfo.Y_density : cinfo.X_density) * k);
  }
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1) continue;
    int o = ExifOrientation(m->data, m->data_length);
    if (o != 1) {
      out.SetOrientation(o);
      break;
    }
  }
  if (out.XResolution() <= 0) { // camera files often carry it in Exif only
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
      double x = 0, y = 0;
      if (m->marker == JPEG_APP0 + 1 && ExifResolution(m->data, m->data_length, x, y)) {
        out.SetResolution(x, y);
        break;
      }
    }
  }
  if (opt.headerOnly) {
    jpeg_destroy_decompress(&cinfo);
    return Result::Ok();
  }
  cinfo.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cmyk) line.resize(static_cast<size_t>(cinfo.output_width) * 4);
  bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW row = cmyk ? line.data() : out.Row(y);
    jpeg_read_scanlines(&cinfo, &row, 1);
    if (cmyk) {
      uint8_t* d = out.Row(y);
      for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
        int c = line[4 * x], m = line[4 * x + 1], yy = line[4 * x + 2], k = line[4 * x + 3];
        if (!inverted) c = 255 - c, m = 255 - m, yy = 255 - yy, k = 255 - k;
        d[3 * x] = static_cast<uint8_t>(c * k / 255);
        d[3 * x + 1] = static_cast<uint8_t>(m * k / 255);
        d[3 * x + 2] = static_cast<uint8_t>(yy * k / 255);
      }
    }
    if (sm.truncated) break;
  }
  bool truncated = sm.truncated;
  if (!truncated) jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (truncated) return Truncated();
  return Result::Ok();
}

} // namespace imagelib::detail
