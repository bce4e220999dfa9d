#include "writer.h"

#include <cstdlib>
#include <cstring>

#include "names.h"

namespace pdf {
namespace {

void* DefaultAllocate(void*, size_t n) {
  return std::malloc(n);
}
void* DefaultReallocate(void*, void* p, size_t n) {
  return std::realloc(p, n);
}
void DefaultRelease(void*, void* p) {
  std::free(p);
}
void DefaultError(void*, const char*) {}

voidpf ZAlloc(voidpf opaque, uInt items, uInt size) {
  auto* a = static_cast<const Allocator*>(opaque);
  return a->allocate(a->opaque, static_cast<size_t>(items) * size);
}
void ZFree(voidpf opaque, voidpf p) {
  auto* a = static_cast<const Allocator*>(opaque);
  a->release(a->opaque, p);
}

constexpr int kFlateLevel = 6;

} // namespace

Allocator Allocator::Default() {
  return Allocator{DefaultAllocate, DefaultReallocate, DefaultRelease, DefaultError, nullptr};
}

Writer::Writer(Allocator alloc, std::unique_ptr<Sink> sink)
    : alloc_(alloc), sink_(std::move(sink)) {
  buffer_ = static_cast<uint8_t*>(alloc_.allocate(alloc_.opaque, kInitialBuffer));
  if (buffer_) {
    capacity_ = kInitialBuffer;
  } else {
    alloc_.error(alloc_.opaque, "output buffer");
    failed_ = true;
  }
  offsets_.reserve(2048);
  offsets_.push_back(0);
}

Writer::~Writer() {
  if (deflating_) deflateEnd(&zs_);
  if (buffer_) alloc_.release(alloc_.opaque, buffer_);
}

void Writer::Reserve(size_t n) {
  if (failed_ || cursor_ + n <= capacity_) return;
  size_t cap = capacity_;
  while (cursor_ + n > cap)
    cap *= 2;
  auto* grown = static_cast<uint8_t*>(alloc_.reallocate(alloc_.opaque, buffer_, cap));
  if (!grown) {
    alloc_.error(alloc_.opaque, "output buffer");
    alloc_.release(alloc_.opaque, buffer_);
    buffer_ = nullptr;
    capacity_ = cursor_ = 0;
    failed_ = true;
    return;
  }
  buffer_ = grown;
  capacity_ = cap;
}

void Writer::Advance(size_t produced) {
  if (encryptor && produced) encryptor->EncryptBytes(buffer_ + cursor_, produced);
  cursor_ += produced;
}

void Writer::WriteBytes(const void* bytes, size_t n) {
  if (failed_ || n == 0) return;
  if (contentOpen_) pageContentBytes_ += static_cast<int64_t>(n);
  if (!deflating_) {
    Reserve(n);
    if (failed_) return;
    std::memcpy(buffer_ + cursor_, bytes, n);
    cursor_ += n;
    return;
  }
  zs_.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
  zs_.avail_in = static_cast<uInt>(n);
  while (zs_.avail_in > 0) {
    Reserve(zs_.avail_in / 4 + 16);
    if (failed_) return;
    size_t room = capacity_ - cursor_;
    zs_.next_out = buffer_ + cursor_;
    zs_.avail_out = static_cast<uInt>(room);
    deflate(&zs_, Z_NO_FLUSH);
    Advance(room - zs_.avail_out);
  }
}

void Writer::WriteText(const char* s) {
  if (s) WriteBytes(s, std::strlen(s));
}

void Writer::WriteFormatted(const char* format, std::initializer_list<FmtArg> args) {
  char scratch[1024];
  size_t n = Format(scratch, sizeof scratch, format, args);
  WriteBytes(scratch, n);
}

void Writer::Flush() {
  if (deflating_ || failed_ || cursor_ == 0) return;
  size_t done = sink_ ? sink_->Write(buffer_, cursor_) : 0;
  if (done != cursor_) {
    // A short write means the file is lost; stop producing anything more.
    alloc_.release(alloc_.opaque, buffer_);
    buffer_ = nullptr;
    capacity_ = cursor_ = 0;
    failed_ = true;
    return;
  }
  flushedBytes_ += static_cast<int64_t>(cursor_);
  cursor_ = 0;
}

int Writer::NewObjectNumber() {
  ++count_;
  offsets_.push_back(-1);
  return count_;
}

bool Writer::ReturnObjectNumber(int n) {
  if (n <= 0 || n != count_ || offsets_[static_cast<size_t>(n)] >= 0) return false;
  --count_;
  offsets_.pop_back();
  return true;
}

int Writer::BeginObject(int n) {
  if (n == 0) n = NewObjectNumber();
  if (n > 0 && n <= count_) offsets_[static_cast<size_t>(n)] = CurrentOffset();
  WriteFormatted(names::kObjectHeader, {Ref(n)});
  return n;
}

void Writer::WriteRef(int n) {
  WriteFormatted(names::kRef, {Ref(n)});
}

void Writer::BeginDeflate(int objectNumber, int generation) {
  if (deflating_) return;
  zs_ = z_stream{};
  zs_.zalloc = ZAlloc;
  zs_.zfree = ZFree;
  zs_.opaque = &alloc_;
  if (deflateInit(&zs_, kFlateLevel) != Z_OK) {
    alloc_.error(alloc_.opaque, "deflate");
    failed_ = true;
    return;
  }
  deflating_ = true;
  if (encryptor) encryptor->SelectObjectKey(objectNumber + baseNumber_, generation);
}

void Writer::EndDeflate() {
  if (!deflating_) return;
  zs_.next_in = nullptr;
  zs_.avail_in = 0;
  int rc = Z_OK;
  while (!failed_ && rc != Z_STREAM_END) {
    Reserve(128);
    if (failed_) break;
    size_t room = capacity_ - cursor_;
    zs_.next_out = buffer_ + cursor_;
    zs_.avail_out = static_cast<uInt>(room);
    rc = deflate(&zs_, Z_FINISH);
    Advance(room - zs_.avail_out);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
  }
  deflateEnd(&zs_);
  deflating_ = false;
}

void Writer::BeginContentStream() {
  if (contentOpen_) return;
  contentMarkCursor_ = cursor_;
  contentMarkFlushed_ = flushedBytes_;
  contentMarkCount_ = count_;
  int n = BeginObject(0);
  contentStreams_.push_back(n);
  contentLength_ = NewObjectNumber();
  WriteText(names::kDictOpen);
  WriteFormatted(names::kLengthEntry, {Ref(contentLength_)});
  WriteText(names::kFlateFilter);
  WriteText(names::kDictClose);
  WriteText(names::kStreamOpen);
  contentStart_ = CurrentOffset();
  BeginDeflate(n, 0);
  contentOpen_ = true;
  contentState = ContentState::kNone;
}

bool Writer::DiscardContentStream() {
  if (!contentOpen_ || !deflating_ || failed_ || zs_.total_in != 0 ||
      flushedBytes_ != contentMarkFlushed_ || count_ != contentMarkCount_ + 2 ||
      cursor_ < contentMarkCursor_ || contentStreams_.empty())
    return false;
  deflateEnd(&zs_);
  deflating_ = false;
  contentOpen_ = false;
  contentState = ContentState::kNone;
  cursor_ = contentMarkCursor_;
  count_ = contentMarkCount_;
  offsets_.resize(static_cast<size_t>(count_) + 1);
  contentStreams_.pop_back();
  return true;
}

void Writer::EndContentStream() {
  if (!contentOpen_) return;
  if (contentState == ContentState::kText) WriteText("ET ");
  contentState = ContentState::kNone;
  contentOpen_ = false;
  EndDeflate();
  int64_t length = CurrentOffset() - contentStart_;
  WriteText(names::kStreamClose);
  WriteText(names::kEndObj);
  BeginObject(contentLength_);
  WriteFormatted(names::kContentLengthLine, {length});
  WriteText(names::kEndObj);
}

void Writer::WriteLiteralString(const char* s, size_t n) {
  // Escape into a local chunk so long strings cost few buffer calls.
  char chunk[512];
  size_t k = 0;
  WriteChar('(');
  for (size_t i = 0; i < n; ++i) {
    if (k + 2 > sizeof chunk) {
      WriteBytes(chunk, k);
      k = 0;
    }
    char c = s[i];
    switch (c) {
    case '\n':
      chunk[k++] = '\\';
      chunk[k++] = 'n';
      break;
    case '\r':
      chunk[k++] = '\\';
      chunk[k++] = 'r';
      break;
    case '(':
    case ')':
    case '\\':
      chunk[k++] = '\\';
      chunk[k++] = c;
      break;
    default:
      chunk[k++] = c;
    }
  }
  WriteBytes(chunk, k);
  WriteChar(')');
}

void Writer::WriteName(const char* s) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    unsigned char c = *p;
    bool escape = c < 33 || c > 126 || std::strchr("()<>[]{}/%#", c) != nullptr;
    if (escape) {
      char e[3] = {'#', kHex[c >> 4], kHex[c & 15]};
      WriteBytes(e, 3);
    } else {
      WriteChar(static_cast<char>(c));
    }
  }
}

void Writer::WriteHex(const uint8_t* bytes, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  char chunk[512];
  size_t k = 0;
  for (size_t i = 0; i < n; ++i) {
    if (k + 2 > sizeof chunk) {
      WriteBytes(chunk, k);
      k = 0;
    }
    chunk[k++] = kHex[bytes[i] >> 4];
    chunk[k++] = kHex[bytes[i] & 15];
  }
  WriteBytes(chunk, k);
}

size_t TextStringLength(const char* s) {
  if (!s) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  if (p[0] == 0xFE && p[1] == 0xFF) {
    size_t n = 2;
    while (p[n] != 0 || p[n + 1] != 0)
      n += 2;
    return n;
  }
  return std::strlen(s);
}

} // namespace pdf
