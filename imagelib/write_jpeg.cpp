// JPEG writer (libjpeg-turbo): baseline, quality from the image, JFIF resolution when known.
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "imagelib/imagelib.h"
#include "imagelib/rows.h"

namespace imagelib {

namespace {
struct ErrorMgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
};
void OnError(j_common_ptr c) {
  longjmp(reinterpret_cast<ErrorMgr*>(c->err)->jump, 1);
}
void OnMessage(j_common_ptr, int) {}
} // namespace

Result Image::WriteJpeg(const std::string& path) const {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  if (width_ > JPEG_MAX_DIMENSION || height_ > JPEG_MAX_DIMENSION)
    return Result::Fail(Status::kUnsupported, "image too large for JPEG");
  const bool grey = detail::AllGrey(*this);
  const detail::OutForm form = grey ? detail::OutForm::kGrey : detail::OutForm::kRgb;
  std::vector<uint8_t> line(static_cast<size_t>(width_) * (grey ? 1 : 3));
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return Result::Fail(Status::kWriteFailed, "cannot create output file");
  jpeg_compress_struct cinfo;
  ErrorMgr err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    return Result::Fail(Status::kWriteFailed, "JPEG encoding failed");
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(width_);
  cinfo.image_height = static_cast<JDIMENSION>(height_);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, jpegQuality_, TRUE);
  // Halved colour smears thin coloured lines and small images: keep it whole unless the
  // source itself was subsampled and is large enough for it not to show.
  bool small = width_ < 256 && height_ < 256;
  if (!grey && (small || !sourceSubsampled_)) {
    cinfo.comp_info[0].h_samp_factor = 1;
    cinfo.comp_info[0].v_samp_factor = 1;
  }
  if (xDpi_ >= 1 && yDpi_ >= 1 && xDpi_ < 65536 && yDpi_ < 65536) {
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(xDpi_ + 0.5);
    cinfo.Y_density = static_cast<UINT16>(yDpi_ + 0.5);
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (detail::IccComponents(iccProfile_) == (grey ? 1 : 3))
    jpeg_write_icc_profile(&cinfo, iccProfile_.data(), static_cast<unsigned>(iccProfile_.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    detail::MakeRow(*this, static_cast<int>(cinfo.next_scanline), form, line.data());
    JSAMPROW row = line.data();
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  bool bad = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || bad)
    return Result::Fail(Status::kWriteFailed, "cannot write output file");
  return Result::Ok();
}

} // namespace imagelib
