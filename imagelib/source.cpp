#include "imagelib/source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstring>

namespace imagelib::detail {

size_t MemorySource::ReadAt(uint64_t offset, void* dst, size_t n) {
  if (offset >= data_.size()) return 0;
  size_t k = static_cast<size_t>(std::min<uint64_t>(n, data_.size() - offset));
  std::memcpy(dst, data_.data() + offset, k);
  return k;
}

FileSource::~FileSource() {
  if (map_) munmap(map_, static_cast<size_t>(size_));
  if (f_) std::fclose(f_);
}

const uint8_t* FileSource::Map() {
  if (!map_ && f_ && size_ > 0) {
    void* m = mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fileno(f_), 0);
    if (m != MAP_FAILED) map_ = m;
  }
  return static_cast<const uint8_t*>(map_);
}

static const char* NotAFile(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISFIFO(mode)) return "is a named pipe, not a file";
  if (S_ISSOCK(mode)) return "is a socket, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
  return "is not a regular file";
}

Result FileSource::Open(const std::string& path) {
  // Without O_NONBLOCK, opening a pipe would wait for a writer for ever.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Result::Fail(Status::kCannotOpen, std::strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Result::Fail(Status::kCannotOpen, NotAFile(st.st_mode));
  }
  // Regular files ignore O_NONBLOCK for reading.
  f_ = ::fdopen(fd, "rb");
  if (!f_) {
    ::close(fd);
    return Result::Fail(Status::kCannotOpen, std::strerror(errno));
  }
  size_ = static_cast<uint64_t>(st.st_size);
  stat_ = st;
  return Result::Ok();
}

size_t FileSource::ReadAt(uint64_t offset, void* dst, size_t n) {
  if (!f_ || offset >= size_) return 0;
  if (pos_ != offset) {
    if (fseeko(f_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      pos_ = UINT64_MAX;
      return 0;
    }
  }
  size_t k = std::fread(dst, 1, n, f_);
  pos_ = offset + k;
  return k;
}

SubSource::SubSource(Source& base, uint64_t offset, uint64_t size) : base_(base), offset_(offset) {
  uint64_t total = base.Size();
  if (offset > total) offset_ = total;
  size_ = std::min(size, total - offset_);
}

size_t SubSource::ReadAt(uint64_t offset, void* dst, size_t n) {
  if (offset >= size_) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  return base_.ReadAt(offset_ + offset, dst, n);
}

bool Cursor::Fill() {
  constexpr size_t kBuf = 64 * 1024;
  if (buf_.empty()) buf_.resize(kBuf);
  bufStart_ = pos_;
  bufLen_ = pos_ < src_.Size() ? src_.ReadAt(pos_, buf_.data(), kBuf) : 0;
  return bufLen_ > 0;
}

bool Cursor::Read(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  while (n > 0) {
    if (pos_ < bufStart_ || pos_ >= bufStart_ + bufLen_) {
      if (!Fill()) {
        std::memset(out, 0, n);
        short_ = true;
        return false;
      }
    }
    size_t at = static_cast<size_t>(pos_ - bufStart_);
    size_t k = std::min(n, bufLen_ - at);
    std::memcpy(out, buf_.data() + at, k);
    out += k;
    n -= k;
    pos_ += k;
  }
  return true;
}

uint8_t Cursor::U8() {
  if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_)
    return buf_[static_cast<size_t>(pos_++ - bufStart_)];
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

uint16_t Cursor::U16LE() {
  uint8_t b[2];
  Read(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t Cursor::U32LE() {
  uint8_t b[4];
  Read(b, 4);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t Cursor::U16BE() {
  uint8_t b[2];
  Read(b, 2);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t Cursor::U32BE() {
  uint8_t b[4];
  Read(b, 4);
  return (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
}

Result Truncated() {
  return Result::Fail(Status::kTruncated, "truncated file");
}
Result Corrupt(const std::string& what) {
  return Result::Fail(Status::kCorrupt, what);
}
Result Unsupported(const std::string& what) {
  return Result::Fail(Status::kUnsupported, what);
}
Result NoMemory() {
  return Result::Fail(Status::kOutOfMemory, "out of memory");
}

} // namespace imagelib::detail
