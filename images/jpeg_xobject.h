// JPEG image XObjects: the marker walk that learns a JPEG's size, components and resolution
// without decoding it, and the XObject that carries the file's own bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image_record.h"

namespace images {

// A forward byte reader over a file or a memory buffer.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  // The next byte, or -1 at the end.
  virtual int Get() = 0;
  // Offset of the next byte.
  virtual int64_t Position() const = 0;
};

class MemorySource : public ByteSource {
public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int Get() override { return pos_ < size_ ? data_[pos_++] : -1; }
  int64_t Position() const override { return static_cast<int64_t>(pos_); }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class FileSource : public ByteSource {
public:
  explicit FileSource(FILE* f) : file_(f) {}
  int Get() override;
  int64_t Position() const override { return base_ + static_cast<int64_t>(next_); }

private:
  FILE* file_;
  uint8_t buffer_[4096];
  size_t next_ = 0, filled_ = 0;
  int64_t base_ = 0;
};

struct JpegHeader {
  int64_t dataStart = 0; // offset of the start-of-image marker
  int width = 0, height = 0;
  int precision = 0;
  int components = 0;
  bool adobe = false;
  int orientation = 1;                    // Exif orientation, 1..8
  std::vector<uint8_t> icc;               // colour profile from the APP2 chunks, in order
  float xResolution = 0, yResolution = 0; // negative: aspect ratio only; 0: none stated
};

// The start-of-image marker must begin within this many bytes of the file's start.
inline constexpr int64_t kMaxJpegLeadIn = 768;

// Walks the markers up to the first scan. False for anything that cannot be embedded
// unchanged: no start of image early enough, a lossless, hierarchical or arithmetic-coded
// frame, a precision other than 8, a component count other than 1, 3 or 4, a zero size, a
// truncated segment, or no scan after the frame header.
bool ReadJpegHeader(ByteSource& in, JpegHeader& out);

// Reads the JPEG file's header and writes its XObject; returns the image index in the
// table, or -1 with nothing written.
int LoadJpegImage(const ImageContext& ctx, ImageTable& table, const char* path);

} // namespace images
