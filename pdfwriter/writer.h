// The per-document PDF writer: output buffer, object table and the byte-exact primitives that
// every other writer goes through. The writer never seeks; it only appends.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "format.h"
#include "sink.h"

namespace pdf {

// Memory callbacks of a document; the default is the C run-time allocator.
struct Allocator {
  void* (*allocate)(void* opaque, size_t n);
  void* (*reallocate)(void* opaque, void* p, size_t n);
  void (*release)(void* opaque, void* p);
  void (*error)(void* opaque, const char* what);
  void* opaque;

  static Allocator Default();
};

// Encrypts stream and string data; installed by the security handler, null when off.
class Encryptor {
public:
  virtual ~Encryptor() = default;
  // Prepares the key of one object; EncryptBytes then continues one key stream.
  virtual void SelectObjectKey(int objectNumber, int generation) = 0;
  virtual void EncryptBytes(uint8_t* data, size_t n) = 0;
};

// What the open page's content stream is in the middle of.
enum class ContentState { kNone, kPath, kText };

class Writer {
public:
  static constexpr size_t kInitialBuffer = 65536;

  Writer(Allocator alloc, std::unique_ptr<Sink> sink);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Output.
  void WriteBytes(const void* bytes, size_t n);
  void WriteText(const char* s);
  void WriteText(std::string_view s) { WriteBytes(s.data(), s.size()); }
  void WriteChar(char c) { WriteBytes(&c, 1); }
  void WriteFormatted(const char* format, std::initializer_list<FmtArg> args = {});
  int64_t CurrentOffset() const { return flushedBytes_ + static_cast<int64_t>(cursor_); }
  // Hands buffered bytes to the sink; does nothing while a deflate stream is open.
  void Flush();
  // True once a short write stopped all output of this document.
  bool failed() const { return failed_; }
  size_t bufferCapacity() const { return capacity_; }
  // Append mode: offsets continue after an existing file's bytes.
  void SetStartOffset(int64_t n) { flushedBytes_ = n; }
  Sink* sink() { return sink_.get(); }

  // Objects.
  int NewObjectNumber();
  // Gives back the latest number when nothing was written under it; false otherwise.
  bool ReturnObjectNumber(int n);
  // n = 0 allocates a number first. Records the offset and writes the object header.
  int BeginObject(int n = 0);
  int objectCount() const { return count_; }
  int64_t offsetOf(int n) const { return offsets_[static_cast<size_t>(n)]; }
  int baseNumber() const { return baseNumber_; }
  void SetBaseNumber(int b) { baseNumber_ = b; }
  int Ref(int n) const { return n + baseNumber_; }
  // Writes "N 0 R " for object n (base number added).
  void WriteRef(int n);

  // Stream bodies. With an encryptor installed the deflated bytes are encrypted in place.
  void BeginDeflate(int objectNumber, int generation);
  void EndDeflate();
  bool deflating() const { return deflating_; }

  // Content streams of the open page.
  void BeginContentStream();
  void EndContentStream();
  bool contentOpen() const { return contentOpen_; }
  const std::vector<int>& contentStreams() const { return contentStreams_; }
  void ClearContentStreams() {
    contentStreams_.clear();
    pageContentBytes_ = 0;
  }
  // Bytes of content written into the open page's streams since ClearContentStreams.
  int64_t pageContentBytes() const { return pageContentBytes_; }
  // Takes back the open content stream when nothing was written into it and its bytes are
  // still in the buffer, as if it had never been begun. False leaves it as it was.
  bool DiscardContentStream();
  ContentState contentState = ContentState::kNone;

  // String forms.
  void WriteLiteralString(const char* s, size_t n);
  void WriteName(const char* s);
  void WriteHex(const uint8_t* bytes, size_t n);

  Encryptor* encryptor = nullptr;
  const Allocator& allocator() const { return alloc_; }

private:
  void Reserve(size_t n);
  void Advance(size_t produced);

  Allocator alloc_;
  std::unique_ptr<Sink> sink_;
  uint8_t* buffer_ = nullptr;
  size_t cursor_ = 0;
  size_t capacity_ = 0;
  int64_t flushedBytes_ = 0;
  bool failed_ = false;

  bool deflating_ = false;
  z_stream zs_{};

  int count_ = 0;
  std::vector<int64_t> offsets_; // index 0 unused
  int baseNumber_ = 0;

  std::vector<int> contentStreams_;
  int contentLength_ = 0;
  int64_t contentStart_ = 0;
  int64_t pageContentBytes_ = 0;
  // Where the open content stream began: buffer position, bytes flushed, objects numbered.
  size_t contentMarkCursor_ = 0;
  int64_t contentMarkFlushed_ = -1;
  int contentMarkCount_ = 0;
  bool contentOpen_ = false;
};

// Length in bytes of a text string: single-byte text ends at the first NUL, UTF-16BE text
// (starting with FE FF) at the first pair of NUL bytes.
size_t TextStringLength(const char* s);

} // namespace pdf
