// Load: picks the reader for the asked type and keeps failures from leaving half an image.
#include <cstring>

#include "imagelib/imagelib.h"
#include "imagelib/readers.h"

namespace imagelib {

namespace detail {
void DropTrivialAlpha(Image& img, bool zeroToo) {
  if (!img.HasAlpha()) return;
  const uint8_t* a = img.AlphaRow(0);
  size_t n = static_cast<size_t>(img.Width()) * img.Height();
  bool all255 = true, all0 = true;
  for (size_t i = 0; i < n && (all255 || all0); ++i) {
    all255 = all255 && a[i] == 255;
    all0 = all0 && a[i] == 0;
  }
  if (all255 || (zeroToo && all0)) img.DropAlpha();
}
} // namespace detail

namespace {

bool MultiFrame(ImageType t) {
  return t == ImageType::kTiff || t == ImageType::kIco;
}

Result Dispatch(detail::Source& src, ImageType type, const LoadOptions& opt, Image& out) {
  using namespace detail;
  if (opt.frame < 0) return Result::Fail(Status::kBadArgument, "negative frame number");
  if (src.Size() == 0) return Result::Fail(Status::kEmpty, "empty file");
  if (!MultiFrame(type) && opt.frame > 0)
    return Result::Fail(Status::kNoSuchFrame, "the file has only one frame");
  switch (type) {
  case ImageType::kBmp:
    return ReadBmp(src, opt, out);
  case ImageType::kJpeg:
    return ReadJpeg(src, opt, out);
  case ImageType::kPng:
    return ReadPng(src, opt, out);
  case ImageType::kIco:
    return ReadIco(src, opt, out);
  case ImageType::kTiff:
    return ReadTiff(src, opt, out);
  case ImageType::kTga:
    return ReadTga(src, opt, out);
  case ImageType::kPcx:
    return ReadPcx(src, opt, out);
  case ImageType::kWbmp:
    return ReadWbmp(src, opt, out);
  case ImageType::kJp2:
    return ReadJpeg2000(src, false, opt, out);
  case ImageType::kJpc:
    return ReadJpeg2000(src, true, opt, out);
  case ImageType::kPgx:
    return ReadPgx(src, opt, out);
  case ImageType::kPnm:
    return ReadPnm(src, opt, out);
  case ImageType::kSunRaster:
    return ReadSun(src, opt, out);
  case ImageType::kMetafile:
    return Unsupported("metafiles are not supported");
  case ImageType::kSka:
    return Unsupported("SKA images are not supported");
  case ImageType::kCameraRaw:
    return Unsupported("camera raw images are not supported");
  case ImageType::kGif:
    return Unsupported("GIF images are not supported");
  case ImageType::kPsd:
    return Unsupported("PSD images are not supported");
  default:
    return Unsupported("unknown image type");
  }
}

Result Finish(Result r, detail::Source& src, ImageType type, const LoadOptions& opt, Image& out) {
  if (!r) {
    out.Release();
    return r;
  }
  if (!MultiFrame(type)) out.SetFrameInfo(type, 0, 1);
  if (type != ImageType::kTiff && type != ImageType::kJpeg)
    out.SetRecordedCompression(kCompressionNone);
  out.NormalizeBitonal();
  detail::DropTrivialAlpha(out);
  return r;
}

} // namespace

Result Load(const std::string& path, ImageType type, const LoadOptions& options, Image& out) {
  out.Release();
  detail::FileSource src;
  Result r = src.Open(path);
  if (!r) return r;
  return Finish(Dispatch(src, type, options, out), src, type, options, out);
}

Result LoadFromMemory(std::span<const uint8_t> data, ImageType type, const LoadOptions& options,
                      Image& out) {
  out.Release();
  detail::MemorySource src(data);
  return Finish(Dispatch(src, type, options, out), src, type, options, out);
}

} // namespace imagelib
