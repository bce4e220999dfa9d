#include "converter/psd_reader.h"

#include <cstring>
#include <vector>

namespace converter {
namespace {

enum ColourMode : uint16_t {
  kBitmap = 0,
  kGrey = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kDuotone = 8,
};

constexpr uint16_t kResolutionResource = 0x03ED;

// Big-endian reads that never run past the end; a failed read leaves the reader failed.
class Reader {
public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return ok_ ? size_ - pos_ : 0; }
  const uint8_t* here() const { return data_ + pos_; }

  uint64_t Read(int bytes) {
    if (!ok_ || left() < static_cast<size_t>(bytes)) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v = (v << 8) | data_[pos_++];
    return v;
  }
  bool Skip(uint64_t n) {
    if (!ok_ || n > left()) return ok_ = false;
    pos_ += static_cast<size_t>(n);
    return true;
  }
  // A length-prefixed section: returns a reader over its body and moves past it.
  Reader Section(int length_bytes) {
    uint64_t n = Read(length_bytes);
    if (!ok_ || n > left()) {
      ok_ = false;
      return Reader(data_, 0);
    }
    Reader body(data_ + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return body;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

struct Header {
  int version = 1;
  uint32_t channels = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 0;
  uint16_t mode = 0;
};

uint32_t ColourChannels(uint16_t mode) {
  switch (mode) {
  case kBitmap:
  case kGrey:
  case kIndexed:
  case kDuotone:
    return 1;
  case kRgb:
    return 3;
  case kCmyk:
    return 4;
  default:
    return 0;
  }
}

bool ReadHeader(Reader& in, Header& h) {
  if (in.Read(4) != 0x38425053) return false; // "8BPS"
  h.version = static_cast<int>(in.Read(2));
  in.Skip(6);
  h.channels = static_cast<uint32_t>(in.Read(2));
  h.height = static_cast<uint32_t>(in.Read(4));
  h.width = static_cast<uint32_t>(in.Read(4));
  h.depth = static_cast<uint32_t>(in.Read(2));
  h.mode = static_cast<uint16_t>(in.Read(2));
  if (!in.ok() || (h.version != 1 && h.version != 2)) return false;
  uint32_t max_side = h.version == 1 ? 30000 : 300000;
  if (h.width == 0 || h.height == 0 || h.width > max_side || h.height > max_side) return false;
  if (h.channels < 1 || h.channels > 56) return false;
  if (h.mode == kBitmap ? h.depth != 1 : h.depth != 8 && h.depth != 16) return false;
  if (h.mode == kIndexed && h.depth != 8) return false;
  uint32_t needed = ColourChannels(h.mode);
  return needed != 0 && h.channels >= needed;
}

// Resolution in pixels per inch, kept as 16.16 fixed point whatever unit is displayed.
void ReadResolution(Reader res, double& dpi_x, double& dpi_y) {
  while (res.left() >= 12) {
    if (res.Read(4) != 0x3842494D) return; // "8BIM"
    uint16_t id = static_cast<uint16_t>(res.Read(2));
    uint64_t name_len = res.Read(1);
    res.Skip(name_len + ((name_len + 1) % 2)); // name and count padded to an even size
    uint64_t len = res.Read(4);
    if (!res.ok() || len > res.left()) return;
    if (id == kResolutionResource && len >= 16) {
      Reader r(res.here(), static_cast<size_t>(len));
      double x = static_cast<double>(r.Read(4)) / 65536.0;
      r.Skip(4);
      double y = static_cast<double>(r.Read(4)) / 65536.0;
      if (r.ok() && x > 0 && y > 0) {
        dpi_x = x;
        dpi_y = y;
      }
    }
    res.Skip(len + (len % 2));
  }
}

// Bitmap rows hold one bit per pixel, eight to a byte; others one or two bytes per sample.
size_t RowBytes(const Header& h) {
  return h.depth == 1 ? (static_cast<size_t>(h.width) + 7) / 8
                      : static_cast<size_t>(h.width) * (h.depth / 8);
}

// One PackBits row into exactly `out_size` bytes; false when the data is short or overruns.
bool UnpackRow(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size) {
  size_t i = 0, o = 0;
  while (o < out_size) {
    if (i >= in_size) return false;
    int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      size_t count = static_cast<size_t>(n) + 1;
      if (count > in_size - i || count > out_size - o) return false;
      std::memcpy(out + o, in + i, count);
      i += count;
      o += count;
    } else if (n != -128) {
      size_t count = static_cast<size_t>(1 - n);
      if (i >= in_size || count > out_size - o) return false;
      std::memset(out + o, in[i++], count);
      o += count;
    }
  }
  return true;
}

// The composite, one plane after another, scattered into interleaved pixels as it is read.
class Composite {
public:
  Composite(const Header& h, uint32_t planes)
      : h_(h), planes_(planes), pixels_(static_cast<size_t>(h.width) * h.height * planes) {}

  void StoreRow(uint32_t plane, uint32_t y, const uint8_t* row) {
    uint8_t* out = &pixels_[static_cast<size_t>(y) * h_.width * planes_ + plane];
    if (h_.depth == 1) { // a set bit is black
      for (uint32_t x = 0; x < h_.width; ++x)
        out[static_cast<size_t>(x) * planes_] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
      return;
    }
    size_t step = h_.depth / 8; // 16-bit samples keep their high byte
    for (uint32_t x = 0; x < h_.width; ++x)
      out[static_cast<size_t>(x) * planes_] = row[x * step];
  }
  std::vector<uint8_t>& pixels() { return pixels_; }

private:
  const Header& h_;
  uint32_t planes_;
  std::vector<uint8_t> pixels_;
};

bool ReadRaw(Reader& in, const Header& h, uint32_t planes, std::vector<uint8_t>& pixels) {
  size_t row_bytes = RowBytes(h);
  uint64_t needed = uint64_t{row_bytes} * h.height * planes;
  if (needed > in.left()) return false;
  Composite c(h, planes);
  for (uint32_t p = 0; p < planes; ++p)
    for (uint32_t y = 0; y < h.height; ++y) {
      c.StoreRow(p, y, in.here());
      in.Skip(row_bytes);
    }
  pixels.swap(c.pixels());
  return true;
}

bool ReadPackBits(Reader& in, const Header& h, uint32_t planes, std::vector<uint8_t>& pixels) {
  int count_bytes = h.version == 1 ? 2 : 4;
  uint64_t rows = uint64_t{h.channels} * h.height;
  if (rows * count_bytes > in.left()) return false;
  size_t row_bytes = RowBytes(h);
  // The shortest PackBits form of a row: two bytes per run of up to 128 bytes. Checking that
  // each counted row is at least that long bounds the output by the bytes actually present.
  uint64_t shortest = 2 * ((uint64_t{row_bytes} + 127) / 128);
  uint64_t used_rows = uint64_t{planes} * h.height;
  std::vector<uint32_t> counts(static_cast<size_t>(used_rows));
  uint64_t total = 0;
  for (uint64_t r = 0; r < used_rows; ++r) {
    counts[r] = static_cast<uint32_t>(in.Read(count_bytes));
    if (counts[r] < shortest) return false;
    total += counts[r];
  }
  in.Skip((rows - used_rows) * count_bytes);
  if (!in.ok() || total > in.left()) return false;

  Composite c(h, planes);
  std::vector<uint8_t> row(row_bytes);
  size_t r = 0;
  for (uint32_t p = 0; p < planes; ++p)
    for (uint32_t y = 0; y < h.height; ++y, ++r) {
      if (!UnpackRow(in.here(), counts[r], row.data(), row_bytes)) return false;
      c.StoreRow(p, y, row.data());
      in.Skip(counts[r]);
    }
  pixels.swap(c.pixels());
  return true;
}

} // namespace

bool LooksLikePsd(const uint8_t* data, size_t size) {
  return size >= 4 && std::memcmp(data, "8BPS", 4) == 0;
}

bool ReadPsd(const uint8_t* data, size_t size, PageSink& sink, const Limits& limits) {
  Reader in(data, size);
  Header h;
  if (!ReadHeader(in, h)) return false;
  Budget budget(limits);
  if (!budget.TakePage(h.width, h.height)) return false;

  Reader colour_data = in.Section(4);
  uint8_t palette[768] = {};
  if (h.mode == kIndexed) {
    if (colour_data.left() < 768) return false;
    std::memcpy(palette, colour_data.here(), 768);
  }
  double dpi_x = 0, dpi_y = 0;
  ReadResolution(in.Section(4), dpi_x, dpi_y);
  in.Section(h.version == 1 ? 4 : 8); // layers and masks: the composite below suffices
  uint64_t compression = in.Read(2);
  if (!in.ok()) return false;

  uint32_t planes = ColourChannels(h.mode);
  std::vector<uint8_t> pixels;
  bool read = false;
  if (compression == 0)
    read = ReadRaw(in, h, planes, pixels);
  else if (compression == 1)
    read = ReadPackBits(in, h, planes, pixels);
  if (!read) return false; // ZIP-compressed composites are not supported

  size_t count = static_cast<size_t>(h.width) * h.height;
  int channels = planes == 1 && h.mode != kIndexed ? 1 : 3;
  if (h.mode == kIndexed) {
    std::vector<uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
      uint8_t v = pixels[i];
      rgb[i * 3] = palette[v];
      rgb[i * 3 + 1] = palette[256 + v];
      rgb[i * 3 + 2] = palette[512 + v];
    }
    pixels.swap(rgb);
  } else if (h.mode == kCmyk) {
    // Samples are stored inverted (255 is no ink), so each RGB value is the product of
    // the stored colour and the stored black.
    for (size_t i = 0; i < count; ++i) {
      unsigned c = pixels[i * 4], m = pixels[i * 4 + 1], y = pixels[i * 4 + 2];
      unsigned k = pixels[i * 4 + 3];
      pixels[i * 3] = static_cast<uint8_t>((c * k + 127) / 255);
      pixels[i * 3 + 1] = static_cast<uint8_t>((m * k + 127) / 255);
      pixels[i * 3 + 2] = static_cast<uint8_t>((y * k + 127) / 255);
    }
    pixels.resize(count * 3);
  }

  PageView page;
  page.width = h.width;
  page.height = h.height;
  page.channels = channels;
  page.stride = static_cast<size_t>(h.width) * channels;
  page.pixels = pixels.data();
  page.dpi_x = dpi_x;
  page.dpi_y = dpi_y;
  return sink.AddPage(page);
}

} // namespace converter
