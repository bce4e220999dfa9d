// The image library: loads raster files of many formats into one in-memory form, changes
// bit depths, and writes JPEG and one-page TIFF files for the engine's re-encoding routes.
//
// Typical use by the routing code:
//
//   imagelib::Image img;
//   imagelib::LoadOptions opt;
//   opt.headerOnly = true;                       // size, frames, resolution, depth only
//   imagelib::Result r = imagelib::Load(path, imagelib::ImageType::kBmp, opt, img);
//   if (!r) { /* r.reason is e.g. "truncated file" */ }
//   opt.headerOnly = false;
//   opt.frame = 0;                               // first frame or page, counted from 0
//   r = imagelib::Load(path, type, opt, img);
//   if (img.IsValid() && img.BitsPerPixel() == 1) {
//     img.SetWriteCompression(imagelib::kCompressionCcittG4);
//     r = img.WriteTiff(tempPath);
//   }
//
// In-memory form: rows top to bottom, each row padded to a multiple of 32 bits (for a 1-bit
// image a row holds w32 = (width + 31) / 32 * 32 pixels). Pixels are 1, 4 or 8 bits per pixel
// (indices into the palette; bits and nibbles from the most significant end) or 24 bits
// (bytes R, G, B). Greyscale images are 8-bit images whose palette entries are all grey
// (as loaded: the ramp 0..255). Transparency is never mixed into the pixels: it is a separate
// 8-bit plane (255 opaque) present only when the file carried it.
//
// 1-bit images as loaded always have palette entry 0 as the lighter colour (paper) and entry 1
// as the darker (ink), so set bits are ink and zero-filled areas are paper.
//
// Frames: FrameCount() is the number of frames in the file, 1 for every single-image file; a
// file has several frames only when it is above 1 (TIFF directories, ICO images).
//
// Depth classes for the re-encoding routes: BitsPerPixel() == 1 is bitonal; IsGreyscale() is
// 8-bit grey; other 4- and 8-bit images are palette images (ExpandTo24 or ConvertToGrey8 before
// WriteJpeg, or WriteTiff as a palette TIFF); 24 is colour. The default JPEG quality is 75.
//
// Skew correction and other pixel work on bitonal pages: Pixels() holds Height() rows of
// Stride() bytes, so w32 = Stride() * 8; bits are MSB first, a set bit is ink.
//
// No function throws; every failure is a Result with a short reason fit for a user message.
// Nothing is allocated for pixels before the declared size has been checked against Limits.
// There is no global state: separate Image objects may be used from separate threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imagelib {

// Format identifiers. The numbers are fixed: the engine's type table uses them.
enum class ImageType : int {
  kUnknown = -1,
  kBmp = 1, // also headerless device-independent bitmaps and OS/2 bitmap arrays
  kGif = 2, // not read by this library
  kJpeg = 3,
  kPng = 4,
  kIco = 5,
  kTiff = 6,
  kTga = 7,
  kPcx = 8,
  kWbmp = 9,
  kMetafile = 10, // WMF and EMF: not read, Load fails
  kJp2 = 11,      // JPEG 2000 file format
  kJpc = 12,      // JPEG 2000 code stream
  kPgx = 13,
  kPnm = 14, // P1..P6
  kSunRaster = 15,
  kSka = 18,       // not read, Load fails
  kCameraRaw = 19, // not read, Load fails
  kPsd = 20,       // not read by this library
};

// Maps an integer type code to the enumeration; codes without a format give kUnknown.
ImageType ImageTypeFromCode(int code);

// TIFF compression tag values, as recorded for a loaded page and as accepted by WriteTiff.
inline constexpr int kCompressionNone = 1;
inline constexpr int kCompressionCcittRle = 2;
inline constexpr int kCompressionCcittG3 = 3;
inline constexpr int kCompressionCcittG4 = 4;
inline constexpr int kCompressionLzw = 5;
inline constexpr int kCompressionOldJpeg = 6;
inline constexpr int kCompressionJpeg = 7;
inline constexpr int kCompressionAdobeDeflate = 8;
inline constexpr int kCompressionPackBits = 32773;
inline constexpr int kCompressionDeflate = 32946;

enum class Status {
  kOk,
  kCannotOpen,  // the file cannot be opened or read
  kEmpty,       // the file has no bytes
  kTruncated,   // the data ends before the image does
  kCorrupt,     // the bytes are not a valid file of the asked format
  kUnsupported, // a valid file using a feature this library does not read or write
  kTooLarge,    // the declared size exceeds Limits
  kOutOfMemory, // allocation failed
  kNoSuchFrame, // the asked frame is beyond the file's frames
  kNoImage,     // the operation needs decoded pixels and the image holds none
  kBadArgument, // a parameter outside its range
  kWriteFailed, // the output file cannot be created or written
};

struct Result {
  Status status = Status::kOk;
  std::string reason; // empty on success; otherwise short lower-case text, e.g. "truncated file"

  bool ok() const { return status == Status::kOk; }
  explicit operator bool() const { return ok(); }
  static Result Ok() { return {}; }
  static Result Fail(Status s, std::string why) { return {s, std::move(why)}; }
};

// Sanity bounds checked against a file's declared size before any pixel memory is taken. A
// header-only load reports any declared size (it allocates nothing); a full load of an image
// beyond the limits fails with kTooLarge.
struct Limits {
  uint64_t maxPixels = uint64_t{1} << 28; // width × height
  uint64_t maxBytes = uint64_t{1} << 30;  // decoded pixels plus alpha plane
};

struct LoadOptions {
  int frame = 0;           // frame (ICO image, TIFF directory) to load, counted from 0
  bool headerOnly = false; // read size, frames, resolution and depth but decode no pixels
  Limits limits;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

class Image {
public:
  Image() = default;
  Image(Image&&) noexcept = default;
  Image& operator=(Image&&) noexcept = default;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // A blank image (all pixels index 0 or black, no alpha). bitsPerPixel is 1, 4, 8 or 24;
  // palette images get a grey ramp palette (1 bit: white, black).
  static Result Create(int width, int height, int bitsPerPixel, Image& out, const Limits& = {});
  Result Clone(Image& out) const;

  // True when pixels are held (a full load succeeded). A header-only load leaves it false but
  // fills the size, depth, frame count and resolution.
  bool IsValid() const { return !pixels_.empty(); }
  bool HeaderOnly() const { return headerOnly_; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bpp_; } // 1, 4, 8 or 24 (0 before any load)
  size_t Stride() const { return stride_; } // bytes per row, a multiple of 4

  // Frames in the file: TIFF directories, ICO images, 1 for every single-image format.
  int FrameCount() const { return frameCount_; }
  int Frame() const { return frame_; } // the frame this image holds, from 0
  ImageType Type() const { return type_; }

  // Resolution in pixels per inch as the file records it (JPEG: JFIF, else Exif); 0 when the
  // file gives none.
  double XResolution() const { return xDpi_; }
  double YResolution() const { return yDpi_; }
  void SetResolution(double x, double y) { xDpi_ = x, yDpi_ = y; }

  // 8 bits per pixel with an all-grey palette. 1-bit images are not greyscale (they are
  // bitonal), nor are 4-bit ones.
  bool IsGreyscale() const;

  // Palette: 2^bpp entries for 1-, 4- and 8-bit images, empty for 24-bit ones.
  const std::vector<Rgb>& Palette() const { return palette_; }
  std::vector<Rgb>& MutablePalette() { return palette_; }

  uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
  const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride_; }
  uint8_t* Pixels() { return pixels_.data(); }
  const uint8_t* Pixels() const { return pixels_.data(); }
  size_t PixelBytes() const { return pixels_.size(); }

  // Alpha plane: width bytes per row, 255 opaque. Null rows when the image has none.
  bool HasAlpha() const { return !alpha_.empty(); }
  uint8_t* AlphaRow(int y);
  const uint8_t* AlphaRow(int y) const;
  Result AddAlpha(); // an opaque plane, for building images by hand
  void DropAlpha() { alpha_ = {}; }

  // Compression the loaded page was stored with (TIFF tag value; kCompressionJpeg for JPEG
  // files, kCompressionNone for every other format).
  int RecordedCompression() const { return recordedCompression_; }
  // Compression WriteTiff uses (and Write chooses the format by). Starts as the recorded one.
  int WriteCompression() const { return writeCompression_; }
  void SetWriteCompression(int code) { writeCompression_ = code; }
  // JPEG quality for WriteJpeg, 1..100; 75 unless set. Values outside are clamped.
  int JpegQuality() const { return jpegQuality_; }
  void SetJpegQuality(int q);

  // Depth changes. Palette and grey images become 24-bit RGB; 24-bit stays as it is.
  Result ExpandTo24();
  // Any depth to 8-bit grey (luminance 0.299 R + 0.587 G + 0.114 B) with a grey ramp palette.
  Result ConvertToGrey8();
  // The negative: palette images invert their palette (indices stay), 24-bit images their bytes.
  Result Invert();
  // Blends the pixels over white by the alpha plane and drops the plane. 24-bit and grey
  // images keep their depth; 1-bit images turn transparent pixels (alpha < 128) to paper;
  // other palette images become 24-bit. Nothing happens without alpha.
  Result CompositeOnWhite();

  // Writers. Alpha, if any, is composited onto white on the way out; the image is unchanged.
  // JPEG: 8-bit greyscale and palette images whose colours are all grey give a one-component
  // file, everything else RGB; quality JpegQuality(); resolution written when known.
  Result WriteJpeg(const std::string& path) const;
  // One-page TIFF with WriteCompression(): kCompressionNone, kCompressionLzw,
  // kCompressionDeflate (8 is written as 32946), kCompressionPackBits, and for 1-bit images
  // kCompressionCcittG3 and kCompressionCcittG4. 1-bit pages are written WhiteIsZero with set
  // bits black (each palette entry black or white by its luminance); grey pages BlackIsZero; 4- and
  // 8-bit colour palettes as palette TIFF; 24-bit as RGB. A compression this writer cannot produce
  // (another TIFF code) falls back to LZW; JPEG codes 6 and 7 are refused (use WriteJpeg).
  Result WriteTiff(const std::string& path) const;
  // WriteJpeg when WriteCompression() is 6 or 7, otherwise WriteTiff.
  Result Write(const std::string& path) const;

  // Frees pixels and alpha and forgets everything (back to a default-constructed image).
  void Release();

  // For readers: sets the geometry; unless headerOnly, checks it against the limits and
  // allocates zeroed pixels (and an opaque alpha plane when withAlpha).
  Result Allocate(int width, int height, int bitsPerPixel, bool withAlpha, bool headerOnly,
                  const Limits& limits);
  void SetFrameInfo(ImageType type, int frame, int frameCount) {
    type_ = type, frame_ = frame, frameCount_ = frameCount;
  }
  void SetRecordedCompression(int code) { recordedCompression_ = writeCompression_ = code; }
  // Makes a 1-bit image's palette entry 0 the lighter one, flipping bits as needed.
  void NormalizeBitonal();

private:
  struct Buffer {
    uint8_t* p = nullptr;
    size_t n = 0;
    Buffer() = default;
    Buffer(Buffer&& o) noexcept : p(o.p), n(o.n) { o.p = nullptr, o.n = 0; }
    Buffer& operator=(Buffer&& o) noexcept;
    ~Buffer();
    bool empty() const { return p == nullptr; }
    size_t size() const { return n; }
    uint8_t* data() { return p; }
    const uint8_t* data() const { return p; }
    bool Allocate(size_t bytes); // zeroed
  };

  int width_ = 0, height_ = 0, bpp_ = 0;
  size_t stride_ = 0;
  int frameCount_ = 0, frame_ = 0;
  ImageType type_ = ImageType::kUnknown;
  double xDpi_ = 0, yDpi_ = 0;
  bool headerOnly_ = false;
  int recordedCompression_ = kCompressionNone;
  int writeCompression_ = kCompressionNone;
  int jpegQuality_ = 75;
  std::vector<Rgb> palette_;
  Buffer pixels_;
  Buffer alpha_;
};

// Loads frame options.frame of a file read as the given type. The type decides the reader; a
// file whose bytes are not of that type fails with kCorrupt. On failure `out` is released.
Result Load(const std::string& path, ImageType type, const LoadOptions& options, Image& out);
Result LoadFromMemory(std::span<const uint8_t> data, ImageType type, const LoadOptions& options,
                      Image& out);
// Closes what Load keeps open between calls: the last TIFF file, kept so that its pages are
// reached one after the other.
void ReleaseOpenFiles();

// Bytes per row for a width and depth, rounded up to 32 bits; 0 when it would overflow.
size_t RowStride(uint64_t width, int bitsPerPixel);

} // namespace imagelib
