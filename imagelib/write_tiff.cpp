// One-page TIFF writer (libtiff). Bitonal pages are WhiteIsZero with set bits black, so that
// the engine's reader shows them black on white for every compression.
#include <algorithm>
#include <vector>

#include "imagelib/imagelib.h"
#include "imagelib/rows.h"
#include "imagelib/tiff_io.h"

namespace imagelib {

Result Image::WriteTiff(const std::string& path) const {
  using detail::OutForm;
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  int comp = writeCompression_;
  if (comp == kCompressionJpeg || comp == kCompressionOldJpeg)
    return Result::Fail(Status::kBadArgument, "JPEG is written as a JPEG file, not as TIFF");
  if (comp == kCompressionAdobeDeflate) comp = kCompressionDeflate;
  bool ccitt = comp == kCompressionCcittG3 || comp == kCompressionCcittG4;
  if (comp != kCompressionNone && comp != kCompressionLzw && comp != kCompressionDeflate &&
      comp != kCompressionPackBits && !ccitt)
    comp = kCompressionLzw;
  if (!TIFFIsCODECConfigured(static_cast<uint16_t>(comp)))
    return Result::Fail(Status::kUnsupported,
                        "TIFF compression " + std::to_string(comp) + " unavailable");

  OutForm form;
  // Two colours that are not black and white keep their colours, as a 1-bit palette.
  if (bpp_ == 1 && (ccitt || IsBlackAndWhite()))
    form = OutForm::kBitonal;
  else if (bpp_ == 24)
    form = OutForm::kRgb;
  else if (detail::AllGrey(*this) && bpp_ == 8)
    form = OutForm::kGrey;
  else
    form = HasAlpha() ? OutForm::kRgb : OutForm::kPalette;
  if (ccitt && form != OutForm::kBitonal)
    return Result::Fail(Status::kBadArgument, "CCITT compression needs a 1-bit image");

  int bits = form == OutForm::kBitonal ? 1 : form == OutForm::kPalette ? bpp_ : 8;
  int spp = form == OutForm::kRgb ? 3 : 1;
  size_t rowBytes = (static_cast<size_t>(width_) * bits * spp + 7) / 8;
  std::vector<uint8_t> line(std::max(rowBytes, static_cast<size_t>(width_) * 3));

  std::string err;
  TIFF* t = detail::CreateTiff(path, err);
  if (!t) return Result::Fail(Status::kWriteFailed, "cannot create output file");
  uint16_t photometric = form == OutForm::kBitonal ? PHOTOMETRIC_MINISWHITE
                         : form == OutForm::kGrey  ? PHOTOMETRIC_MINISBLACK
                         : form == OutForm::kRgb   ? PHOTOMETRIC_RGB
                                                   : PHOTOMETRIC_PALETTE;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width_));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height_));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(bits));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(spp));
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_COMPRESSION, static_cast<uint16_t>(comp));
  if (comp == kCompressionCcittG3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0u);
  if (comp == kCompressionCcittG4) TIFFSetField(t, TIFFTAG_GROUP4OPTIONS, 0u);
  bool predictable = form == OutForm::kGrey || form == OutForm::kRgb;
  if (predictable && writePredictor_ == 2 &&
      (comp == kCompressionLzw || comp == kCompressionDeflate))
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  // One strip for pages up to 16 MB of raw rows, keeping the number of strips low.
  uint64_t raw = static_cast<uint64_t>(rowBytes) * height_;
  uint32_t rps = raw <= (16u << 20)
                     ? static_cast<uint32_t>(height_)
                     : static_cast<uint32_t>(std::max<uint64_t>(1, (16u << 20) / rowBytes));
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
  if (xDpi_ > 0 && yDpi_ > 0) {
    TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(xDpi_));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(yDpi_));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  int spaceComponents = form == OutForm::kRgb ? 3 : form == OutForm::kGrey ? 1 : 0;
  if (spaceComponents != 0 && detail::IccComponents(iccProfile_) == spaceComponents)
    TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(iccProfile_.size()),
                 iccProfile_.data());
  if (form == OutForm::kPalette) {
    size_t n = size_t{1} << bits;
    std::vector<uint16_t> r(n), g(n), b(n);
    for (size_t i = 0; i < n && i < palette_.size(); ++i) {
      r[i] = static_cast<uint16_t>(palette_[i].r * 257);
      g[i] = static_cast<uint16_t>(palette_[i].g * 257);
      b[i] = static_cast<uint16_t>(palette_[i].b * 257);
    }
    TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  bool ok = true;
  for (int y = 0; y < height_ && ok; ++y) {
    detail::MakeRow(*this, y, form, line.data());
    ok = TIFFWriteScanline(t, line.data(), static_cast<uint32_t>(y), 0) >= 0;
  }
  ok = ok && TIFFWriteDirectory(t);
  TIFFClose(t);
  if (!ok) return Result::Fail(Status::kWriteFailed, "cannot write output file");
  return Result::Ok();
}

} // namespace imagelib
