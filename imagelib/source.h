// Byte sources the readers pull from: a file or a memory block, with a buffered cursor.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "imagelib/imagelib.h"

namespace imagelib::detail {

class Source {
public:
  virtual ~Source() = default;
  virtual uint64_t Size() const = 0;
  // Copies up to n bytes from offset; returns how many were copied (fewer only at the end).
  virtual size_t ReadAt(uint64_t offset, void* dst, size_t n) = 0;
  // The whole content as one block when the source can provide it (memory, mapped file).
  virtual const uint8_t* Map() { return nullptr; }
  // The file's identity when the source is a file, else null.
  virtual const struct stat* FileStat() const { return nullptr; }
  // The file's descriptor when the source is a file, else -1.
  virtual int Descriptor() const { return -1; }
};

class MemorySource final : public Source {
public:
  explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
  uint64_t Size() const override { return data_.size(); }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) override;
  const uint8_t* Map() override { return data_.data(); }

private:
  std::span<const uint8_t> data_;
};

class FileSource final : public Source {
public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  Result Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) override;
  const uint8_t* Map() override;
  const struct stat* FileStat() const override { return &stat_; }
  int Descriptor() const override { return f_ ? fileno(f_) : -1; }
  const struct stat& Stat() const { return stat_; }

private:
  struct stat stat_ {};
  std::FILE* f_ = nullptr;
  void* map_ = nullptr;
  uint64_t size_ = 0;
  uint64_t pos_ = UINT64_MAX;
};

// A window [offset, offset + size) of another source.
class SubSource final : public Source {
public:
  SubSource(Source& base, uint64_t offset, uint64_t size);
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* dst, size_t n) override;
  const uint8_t* Map() override {
    const uint8_t* m = base_.Map();
    return m ? m + offset_ : nullptr;
  }

private:
  Source& base_;
  uint64_t offset_, size_;
};

// Sequential cursor with a read buffer. Reads past the end set Short() and yield zeros, so a
// reader can decode a whole header and test once.
class Cursor {
public:
  explicit Cursor(Source& s, uint64_t start = 0) : src_(s), pos_(start) {}
  uint64_t Pos() const { return pos_; }
  uint64_t Size() const { return src_.Size(); }
  uint64_t Remaining() const { return pos_ < src_.Size() ? src_.Size() - pos_ : 0; }
  bool Short() const { return short_; }
  void Seek(uint64_t pos) { pos_ = pos; }
  void Skip(uint64_t n) { pos_ += n; }
  bool AtEnd() const { return pos_ >= src_.Size(); }

  uint8_t U8();
  uint16_t U16LE();
  uint32_t U32LE();
  uint16_t U16BE();
  uint32_t U32BE();
  // Copies n bytes; false (and Short()) when the source ends first; the rest is zeroed.
  bool Read(void* dst, size_t n);

private:
  bool Fill();
  Source& src_;
  uint64_t pos_;
  bool short_ = false;
  std::vector<uint8_t> buf_;
  uint64_t bufStart_ = 0;
  size_t bufLen_ = 0;
};

Result Truncated();
Result Corrupt(const std::string& what);
Result Unsupported(const std::string& what);
Result NoMemory();

} // namespace imagelib::detail
