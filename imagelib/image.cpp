// The in-memory image: storage, limits and the depth conversions.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "imagelib/imagelib.h"
#include "imagelib/pixels.h"
#include "imagelib/source.h"

namespace imagelib {

using detail::IndexAt;
using detail::Luma;
using detail::OverWhite;

ImageType ImageTypeFromCode(int code) {
  switch (code) {
  case 1:
  case 2:
  case 3:
  case 4:
  case 5:
  case 6:
  case 7:
  case 8:
  case 9:
  case 10:
  case 11:
  case 12:
  case 13:
  case 14:
  case 15:
  case 18:
  case 19:
  case 20:
    return static_cast<ImageType>(code);
  default:
    return ImageType::kUnknown;
  }
}

size_t RowStride(uint64_t width, int bitsPerPixel) {
  if (width == 0 || width > (uint64_t{1} << 32)) return 0;
  uint64_t bits = width * static_cast<uint64_t>(bitsPerPixel);
  return static_cast<size_t>((bits + 31) / 32 * 4);
}

namespace detail {
void GreyRamp(std::vector<Rgb>& pal, int bpp) {
  int n = 1 << bpp;
  pal.assign(n, Rgb{});
  for (int i = 0; i < n; ++i) {
    uint8_t v = Scale(static_cast<uint32_t>(i), bpp);
    pal[i] = Rgb{v, v, v};
  }
}
} // namespace detail

Image::Buffer& Image::Buffer::operator=(Buffer&& o) noexcept {
  if (this != &o) {
    std::free(p);
    p = o.p, n = o.n;
    o.p = nullptr, o.n = 0;
  }
  return *this;
}

Image::Buffer::~Buffer() {
  std::free(p);
}

bool Image::Buffer::Allocate(size_t bytes) {
  std::free(p);
  p = nullptr;
  n = 0;
  // calloc leaves large blocks untouched until written, so an image that fails to decode
  // early costs little.
  p = static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
  if (!p) return false;
  n = bytes;
  return true;
}

namespace detail {
Result CheckLimits(int width, int height, int bitsPerPixel, bool withAlpha, const Limits& limits) {
  uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  uint64_t bytes = static_cast<uint64_t>(RowStride(static_cast<uint64_t>(width), bitsPerPixel)) *
                   static_cast<uint64_t>(height);
  if (withAlpha) bytes += pixels;
  if (pixels > limits.maxPixels || bytes > limits.maxBytes)
    return Result::Fail(Status::kTooLarge, "image too large (" + std::to_string(width) + " x " +
                                               std::to_string(height) + ")");
  return Result::Ok();
}
} // namespace detail

Result Image::Allocate(int width, int height, int bitsPerPixel, bool withAlpha, bool headerOnly,
                       const Limits& limits) {
  if (width <= 0 || height <= 0) return detail::Corrupt("invalid image size");
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24)
    return detail::Unsupported("unsupported bit depth " + std::to_string(bitsPerPixel));
  size_t stride = RowStride(static_cast<uint64_t>(width), bitsPerPixel);
  uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  // A header-only load only reports the declared size; the limits bind the decoding.
  if (!headerOnly) {
    Result r = detail::CheckLimits(width, height, bitsPerPixel, withAlpha, limits);
    if (!r) return r;
  }
  Release();
  width_ = width, height_ = height, bpp_ = bitsPerPixel, stride_ = stride;
  headerOnly_ = headerOnly;
  if (bitsPerPixel <= 8) detail::GreyRamp(palette_, bitsPerPixel);
  if (bitsPerPixel == 1) palette_ = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};
  if (headerOnly) return Result::Ok();
  if (!pixels_.Allocate(static_cast<size_t>(stride) * height)) return detail::NoMemory();
  if (withAlpha) {
    if (!alpha_.Allocate(static_cast<size_t>(pixels))) return detail::NoMemory();
    std::memset(alpha_.data(), 255, alpha_.size());
  }
  return Result::Ok();
}

Result Image::Create(int width, int height, int bitsPerPixel, Image& out, const Limits& limits) {
  Result r = out.Allocate(width, height, bitsPerPixel, false, false, limits);
  if (!r) return r;
  out.frameCount_ = 1;
  return r;
}

Result Image::Clone(Image& out) const {
  if (&out == this) return Result::Ok();
  out.Release();
  if (IsValid()) {
    if (!out.pixels_.Allocate(pixels_.size())) return detail::NoMemory();
    std::memcpy(out.pixels_.data(), pixels_.data(), pixels_.size());
  }
  if (HasAlpha()) {
    if (!out.alpha_.Allocate(alpha_.size())) return detail::NoMemory();
    std::memcpy(out.alpha_.data(), alpha_.data(), alpha_.size());
  }
  out.width_ = width_, out.height_ = height_, out.bpp_ = bpp_, out.stride_ = stride_;
  out.frameCount_ = frameCount_, out.frame_ = frame_, out.type_ = type_;
  out.xDpi_ = xDpi_, out.yDpi_ = yDpi_, out.headerOnly_ = headerOnly_;
  out.recordedCompression_ = recordedCompression_, out.writeCompression_ = writeCompression_;
  out.jpegQuality_ = jpegQuality_;
  out.writePredictor_ = writePredictor_, out.sourceSubsampled_ = sourceSubsampled_;
  out.orientation_ = orientation_;
  out.iccProfile_ = iccProfile_;
  out.palette_ = palette_;
  return Result::Ok();
}

void Image::Release() {
  *this = Image();
}

uint8_t* Image::AlphaRow(int y) {
  return alpha_.empty() ? nullptr : alpha_.data() + static_cast<size_t>(y) * width_;
}
const uint8_t* Image::AlphaRow(int y) const {
  return alpha_.empty() ? nullptr : alpha_.data() + static_cast<size_t>(y) * width_;
}

Result Image::AddAlpha() {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  if (HasAlpha()) return Result::Ok();
  if (!alpha_.Allocate(static_cast<size_t>(width_) * height_)) return detail::NoMemory();
  std::memset(alpha_.data(), 255, alpha_.size());
  return Result::Ok();
}

void Image::SetJpegQuality(int q) {
  jpegQuality_ = std::clamp(q, 1, 100);
}

Result Image::ApplyOrientation() {
  const int o = orientation_;
  orientation_ = 1;
  if (o <= 1 || o > 8) return Result::Ok();
  const bool swap = o >= 5;
  const int w = width_, h = height_;
  const int W = swap ? h : w, H = swap ? w : h;
  if (!IsValid()) {
    width_ = W, height_ = H;
    if (swap) std::swap(xDpi_, yDpi_);
    return Result::Ok();
  }
  const size_t stride = RowStride(static_cast<uint64_t>(W), bpp_);
  Buffer pixels, alpha;
  if (stride == 0 || !pixels.Allocate(stride * static_cast<size_t>(H))) return detail::NoMemory();
  if (HasAlpha() && !alpha.Allocate(static_cast<size_t>(W) * H)) return detail::NoMemory();
  const int bytes = bpp_ == 24 ? 3 : 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = Row(y);
    const uint8_t* a = AlphaRow(y);
    for (int x = 0; x < w; ++x) {
      // Where stored pixel (x, y) lands in the upright image.
      int X = x, Y = y;
      switch (o) {
      case 2:
        X = w - 1 - x;
        break;
      case 3:
        X = w - 1 - x, Y = h - 1 - y;
        break;
      case 4:
        Y = h - 1 - y;
        break;
      case 5:
        X = y, Y = x;
        break;
      case 6:
        X = h - 1 - y, Y = x;
        break;
      case 7:
        X = h - 1 - y, Y = w - 1 - x;
        break;
      case 8:
        X = y, Y = w - 1 - x;
        break;
      default:
        break;
      }
      uint8_t* dst = pixels.data() + static_cast<size_t>(Y) * stride;
      if (bytes)
        std::memcpy(dst + 3 * static_cast<size_t>(X), src + 3 * static_cast<size_t>(x), 3);
      else
        detail::SetIndex(dst, X, bpp_, detail::IndexAt(src, x, bpp_));
      if (a) alpha.data()[static_cast<size_t>(Y) * W + X] = a[x];
    }
  }
  pixels_ = std::move(pixels);
  if (HasAlpha()) alpha_ = std::move(alpha);
  width_ = W, height_ = H, stride_ = stride;
  if (swap) std::swap(xDpi_, yDpi_);
  return Result::Ok();
}

bool Image::IsBlackAndWhite() const {
  if (bpp_ != 1 || palette_.size() != 2) return false;
  const Rgb black{0, 0, 0}, white{255, 255, 255};
  return (palette_[0] == black && palette_[1] == white) ||
         (palette_[0] == white && palette_[1] == black);
}

bool Image::IsGreyscale() const {
  if (bpp_ != 8 || palette_.size() != 256) return false;
  return std::all_of(palette_.begin(), palette_.end(),
                     [](const Rgb& c) { return c.r == c.g && c.g == c.b; });
}

void Image::NormalizeBitonal() {
  if (bpp_ != 1 || palette_.size() != 2) return;
  if (Luma(palette_[0]) >= Luma(palette_[1])) return;
  std::swap(palette_[0], palette_[1]);
  if (!IsValid()) return;
  uint8_t* p = pixels_.data();
  for (size_t i = 0; i < pixels_.size(); ++i)
    p[i] = static_cast<uint8_t>(~p[i]);
}

Result Image::ExpandTo24() {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  if (bpp_ == 24) return Result::Ok();
  size_t stride = RowStride(static_cast<uint64_t>(width_), 24);
  Buffer nb;
  if (!nb.Allocate(stride * height_)) return detail::NoMemory();
  for (int y = 0; y < height_; ++y) {
    const uint8_t* s = Row(y);
    uint8_t* d = nb.data() + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width_; ++x) {
      const Rgb& c = palette_[IndexAt(s, x, bpp_)];
      d[3 * x] = c.r, d[3 * x + 1] = c.g, d[3 * x + 2] = c.b;
    }
  }
  pixels_ = std::move(nb);
  stride_ = stride;
  bpp_ = 24;
  palette_.clear();
  return Result::Ok();
}

Result Image::ConvertToGrey8() {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  size_t stride = RowStride(static_cast<uint64_t>(width_), 8);
  bool inPlace = bpp_ == 8;
  Buffer nb;
  if (!inPlace && !nb.Allocate(stride * height_)) return detail::NoMemory();
  uint8_t map[256] = {};
  for (size_t i = 0; i < palette_.size() && i < 256; ++i)
    map[i] = Luma(palette_[i]);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* s = Row(y);
    uint8_t* d = inPlace ? Row(y) : nb.data() + static_cast<size_t>(y) * stride;
    if (bpp_ == 24) {
      for (int x = 0; x < width_; ++x)
        d[x] = Luma(s[3 * x], s[3 * x + 1], s[3 * x + 2]);
    } else {
      for (int x = 0; x < width_; ++x)
        d[x] = map[IndexAt(s, x, bpp_)];
    }
  }
  if (!inPlace) pixels_ = std::move(nb);
  stride_ = stride;
  bpp_ = 8;
  detail::GreyRamp(palette_, 8);
  return Result::Ok();
}

Result Image::Invert() {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  if (bpp_ <= 8) {
    for (Rgb& c : palette_)
      c = Rgb{static_cast<uint8_t>(255 - c.r), static_cast<uint8_t>(255 - c.g),
              static_cast<uint8_t>(255 - c.b)};
    return Result::Ok();
  }
  uint8_t* p = pixels_.data();
  for (size_t i = 0; i < pixels_.size(); ++i)
    p[i] = static_cast<uint8_t>(~p[i]);
  return Result::Ok();
}

Result Image::CompositeOnWhite() {
  if (!IsValid()) return Result::Fail(Status::kNoImage, "no image loaded");
  if (!HasAlpha()) return Result::Ok();
  if (bpp_ == 1) {
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = Row(y);
      const uint8_t* a = AlphaRow(y);
      int paper = Luma(palette_[0]) >= Luma(palette_[1]) ? 0 : 1;
      for (int x = 0; x < width_; ++x)
        if (a[x] < 128) detail::SetIndex(row, x, 1, paper);
    }
  } else if (IsGreyscale()) {
    Result r = ConvertToGrey8(); // makes the palette the identity ramp
    if (!r) return r;
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = Row(y);
      const uint8_t* a = AlphaRow(y);
      for (int x = 0; x < width_; ++x)
        row[x] = OverWhite(row[x], a[x]);
    }
  } else {
    Result r = ExpandTo24();
    if (!r) return r;
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = Row(y);
      const uint8_t* a = AlphaRow(y);
      for (int x = 0; x < width_; ++x)
        for (int c = 0; c < 3; ++c)
          row[3 * x + c] = OverWhite(row[3 * x + c], a[x]);
    }
  }
  alpha_ = Buffer();
  return Result::Ok();
}

Result Image::Write(const std::string& path) const {
  if (writeCompression_ == kCompressionJpeg || writeCompression_ == kCompressionOldJpeg)
    return WriteJpeg(path);
  return WriteTiff(path);
}

} // namespace imagelib
