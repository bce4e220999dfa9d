#include "jpeg_xobject.h"

#include <cstring>
#include <memory>

#include "imagelib/exif.h"
#include "xobject.h"

namespace images {

int FileSource::Get() {
  if (next_ == filled_) {
    base_ += static_cast<int64_t>(filled_);
    next_ = 0;
    filled_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    if (filled_ == 0) return -1;
  }
  return buffer_[next_++];
}

namespace {

constexpr int kEndOfFile = 256;

// The next marker: skips to a 0xFF, over repeated 0xFF, and takes the byte after; 0xFF 00 is
// stuffed data, not a marker.
int NextMarker(ByteSource& in) {
  for (;;) {
    int c;
    do {
      c = in.Get();
      if (c < 0) return kEndOfFile;
    } while (c != 0xFF);
    do {
      c = in.Get();
      if (c < 0) return kEndOfFile;
    } while (c == 0xFF);
    if (c != 0x00) return c;
  }
}

bool ReadU16(ByteSource& in, int& v) {
  int hi = in.Get();
  int lo = in.Get();
  if (hi < 0 || lo < 0) return false;
  v = hi << 8 | lo;
  return true;
}

// Reads the body of a segment of length `length` (which counts its own two bytes), keeping
// at most `keep` bytes in `out`. False when the file ends inside it.
bool ReadSegment(ByteSource& in, int length, uint8_t* out, size_t keep, size_t& kept) {
  kept = 0;
  for (int i = 0; i < length - 2; ++i) {
    int c = in.Get();
    if (c < 0) return false;
    if (kept < keep) out[kept++] = static_cast<uint8_t>(c);
  }
  return true;
}

int U16At(const uint8_t* p) {
  return p[0] << 8 | p[1];
}
uint32_t U32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void ReadJfifDensity(const uint8_t* seg, size_t n, JpegHeader& out) {
  if (n < 12 || std::memcmp(seg, "JFIF", 4) != 0) return;
  int unit = seg[7];
  float x = static_cast<float>(U16At(seg + 8));
  float y = static_cast<float>(U16At(seg + 10));
  if (x == 0 || y == 0) {
    out.xResolution = out.yResolution = 0;
    return;
  }
  if (unit == 0) {
    x = -x;
    y = -y;
  } else if (unit == 2) {
    x *= 2.54f;
    y *= 2.54f;
  }
  out.xResolution = x;
  out.yResolution = y;
}

// Image resources of a Photoshop segment: the resolution resource gives pixels per inch as
// 16.16 fixed-point numbers.
void ReadPhotoshopResolution(const uint8_t* seg, size_t n, JpegHeader& out) {
  if (n < 9 || std::memcmp(seg, "Photoshop", 9) != 0) return;
  size_t p = 14;
  while (p + 4 <= n && std::memcmp(seg + p, "8BIM", 4) == 0) {
    p += 4;
    if (p + 2 > n) return;
    int id = U16At(seg + p);
    p += 2;
    if (p + 1 > n) return;
    size_t nameLength = seg[p];
    size_t nameField = 1 + nameLength;
    if (nameField & 1) ++nameField;
    p += nameField;
    if (p + 4 > n) return;
    uint32_t size = U32At(seg + p);
    p += 4;
    if (size > n - p) return;
    if (id == 0x03ED && size >= 16) {
      const uint8_t* d = seg + p;
      out.xResolution = static_cast<float>(U16At(d)) + static_cast<float>(U16At(d + 2)) / 65536.0f;
      out.yResolution =
          static_cast<float>(U16At(d + 8)) + static_cast<float>(U16At(d + 10)) / 65536.0f;
      return;
    }
    p += size + (size & 1);
  }
}

} // namespace

bool ReadJpegHeader(ByteSource& in, JpegHeader& out) {
  out = JpegHeader{};
  // Start of image.
  for (;;) {
    int c;
    do {
      c = in.Get();
      if (c < 0 || in.Position() > kMaxJpegLeadIn + 1) return false;
    } while (c != 0xFF);
    int64_t at = in.Position() - 1;
    do {
      at = in.Position() - 1;
      c = in.Get();
      if (c < 0) return false;
    } while (c == 0xFF);
    if (at > kMaxJpegLeadIn) return false;
    if (c == 0xD8) {
      out.dataStart = at;
      break;
    }
  }

  bool adobe = false, frame = false;
  for (;;) {
    int marker = NextMarker(in);
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    switch (marker) {
    case 0xC0:
    case 0xC1:
    case 0xC2: {
      int length;
      if (!ReadU16(in, length) || length < 8) return false;
      int precision = in.Get();
      int height, width;
      if (precision < 0 || !ReadU16(in, height) || !ReadU16(in, width)) return false;
      int components = in.Get();
      if (components < 0) return false;
      if (height <= 0 || width <= 0 || components <= 0 || precision != 8) return false;
      if (components != 1 && components != 3 && components != 4) return false;
      out.width = width;
      out.height = height;
      out.precision = precision;
      out.components = components;
      // The rest of the frame header; the walk goes on to the first scan.
      size_t kept;
      if (!ReadSegment(in, length - 6, nullptr, 0, kept)) return false;
      frame = true;
      break;
    }
    // Without a scan the image holds no pixels, and readers show it broken.
    case 0xDA:
      if (!frame) return false;
      out.adobe = adobe;
      return true;
    // Lossless, hierarchical and arithmetic-coded frames cannot be passed on unchanged;
    // neither can a file that ends, or an image that ends, before its frame header.
    case 0xC3:
    case 0xC5:
    case 0xC6:
    case 0xC7:
    case 0xC9:
    case 0xCA:
    case 0xCB:
    case 0xCD:
    case 0xCE:
    case 0xCF:
    case 0xD9:
    case kEndOfFile:
      return false;
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xED:
    case 0xEE: {
      int length;
      if (!ReadU16(in, length) || length < 2) return false;
      uint8_t seg[65536];
      size_t keep = marker == 0xED || marker == 0xE1 || marker == 0xE2 ? sizeof seg : 255;
      size_t kept;
      if (!ReadSegment(in, length, seg, keep, kept)) return false;
      if (marker == 0xE0 && length >= 14) ReadJfifDensity(seg, kept, out);
      if (marker == 0xED) ReadPhotoshopResolution(seg, kept, out);
      // Profile chunks: "ICC_PROFILE", NUL, sequence number, count, data; kept in file order.
      if (marker == 0xE2 && kept > 14 && std::memcmp(seg, "ICC_PROFILE\0", 12) == 0 &&
          out.icc.size() < (size_t{1} << 24))
        out.icc.insert(out.icc.end(), seg + 14, seg + kept);
      if (marker == 0xE1 && out.orientation == 1)
        out.orientation = imagelib::ExifOrientation(seg, kept);
      if (marker == 0xEE && length > 11 && kept >= 5 && std::memcmp(seg, "Adobe", 5) == 0)
        adobe = true;
      break;
    }
    default: {
      int length;
      if (!ReadU16(in, length) || length < 2) return false;
      size_t kept;
      if (!ReadSegment(in, length, nullptr, 0, kept)) return false;
      break;
    }
    }
  }
}

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

int LoadJpegImage(const ImageContext& ctx, ImageTable& table, const char* path) {
  if (!path) return -1;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) return -1;
  // Large reads: the data is copied through in small chunks.
  std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
  JpegHeader header;
  {
    FileSource source(file.get());
    if (!ReadJpegHeader(source, header)) return -1;
  }
  int index = table.Acquire();
  ImageRecord& image = *table.Get(index);
  image.path = path;
  image.width = static_cast<float>(header.width);
  image.height = static_cast<float>(header.height);
  image.bitsPerComponent = 8;
  image.componentCount = header.components;
  image.filter = Filter::kDct;
  image.colourClass = header.components == 1 ? kGrey : header.components == 3 ? kRgb : kCmyk;
  image.invertDecode = header.components == 4 && header.adobe;
  image.stripCount = 1;
  image.stripHeight = header.height;
  image.xResolution = header.xResolution;
  image.yResolution = header.yResolution;
  image.passThrough = true;
  image.dataStart = header.dataStart;
  if (ctx.autoRotate) image.orientation = header.orientation;
  image.iccProfile = std::move(header.icc);

  if (std::fseek(file.get(), static_cast<long>(header.dataStart), SEEK_SET) != 0) {
    table.Release(index);
    return -1;
  }
  WriteIccStream(ctx, image);
  ImageStream stream(ctx, image, header.height, 0, false);
  image.xobjectIndex = stream.index();
  uint8_t chunk[1024];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
    stream.WriteRaw(chunk, n);
  stream.Finish();
  return index;
}

} // namespace images
