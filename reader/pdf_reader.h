// Reads what an incremental update needs from an existing PDF file: the cross-reference
// data, trailers, identifier, encryption parameters, Info texts, catalog and page tree.
// Only classic cross-reference tables are understood. Every size and count is bounded by
// the data, so damaged or hostile files fail cleanly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdfwriter/assembly.h"
#include "pdfwriter/security.h"

namespace reader {

// Random access to the bytes of an existing file.
class Source {
public:
  virtual ~Source() = default;
  virtual int64_t Size() const = 0;
  // Reads up to n bytes at offset; fewer only at the end of the data or on an error.
  virtual size_t ReadAt(int64_t offset, void* out, size_t n) = 0;
};

class MemorySource : public Source {
public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  size_t ReadAt(int64_t offset, void* out, size_t n) override;

private:
  const uint8_t* data_;
  size_t size_;
};

// Reads an open file descriptor with pread; the descriptor stays the caller's.
class FdSource : public Source {
public:
  explicit FdSource(int fd);
  int64_t Size() const override { return size_; }
  size_t ReadAt(int64_t offset, void* out, size_t n) override;

private:
  int fd_;
  int64_t size_ = 0;
};

// The header test for files we may extend: PDF 1.2 to 1.4, or PDF 1.5 followed by our own
// header marker. The header starts at the first "%" among the first 16 bytes.
bool AcceptableHeader(Source& source);

struct IdString {
  bool present = false;
  bool hex = false;
  std::string raw;   // as written, without delimiters
  std::string bytes; // decoded
};

struct ExistingDocument {
  pdf::AppendTarget target;
  IdString firstId, secondId;
  // Info texts as found (decrypted), ready to be written again by the update.
  pdf::InfoTexts info;
  // The file's key when it is encrypted; null otherwise.
  std::unique_ptr<pdf::StandardSecurity> security;
  // Next numbers for our resource-name forms /F, /CS, /P and /I on the existing pages.
  int nextFont = 0, nextColourSpace = 0, nextPattern = 0, nextImage = 0;
  // Why the read failed.
  std::string error;
};

// Reads the file; false (with out.error set) when it cannot be extended.
bool ReadExistingDocument(Source& source, ExistingDocument& out);

} // namespace reader
