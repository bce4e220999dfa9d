#include "engine.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "document.h"
#include "imagelib/imagelib.h"
#include "images/tiff_reader.h"
#include "images/xobject.h"
#include "pdfwriter/sink.h"
#include "reader/pdf_reader.h"

namespace engine {
namespace {

EngineDocument* gTable[kMaxDocuments + 1] = {};

bool PathInUse(const char* path) {
  for (int i = 1; i <= kMaxDocuments; ++i)
    if (gTable[i] && strcasecmp(gTable[i]->path.c_str(), path) == 0) return true;
  return false;
}

int Register(EngineDocument* doc) {
  for (int i = 1; i <= kMaxDocuments; ++i) {
    if (!gTable[i]) {
      gTable[i] = doc;
      return i;
    }
  }
  return 0;
}

void CopyName(char (&dst)[64], const char* src) {
  std::strncpy(dst, src, sizeof dst - 1);
  dst[sizeof dst - 1] = '\0';
}

long long gAppendWriteLimit = -1;

// The x of an existing file's "%PDF-1.x" header (CID fonts depend on it).
int HeaderMinorVersion(reader::Source& source) {
  char head[16] = {};
  size_t n = source.ReadAt(0, head, sizeof head);
  std::string_view h(head, n);
  size_t at = h.find("%PDF-1.");
  if (at == std::string_view::npos || at + 7 >= n) return 4;
  char c = h[at + 7];
  return c >= '0' && c <= '9' ? c - '0' : 4;
}

// Writes an appended file at its end through its descriptor, without a second buffer, so
// that a failed update can be cut off exactly.
class AppendSink : public pdf::Sink {
public:
  explicit AppendSink(int fd) : fd_(fd) {}
  ~AppendSink() override { ::close(fd_); }
  size_t Write(const void* bytes, size_t n) override {
    size_t allowed = n;
    if (gAppendWriteLimit >= 0) {
      long long room = gAppendWriteLimit - written_;
      long long cap = std::min<long long>(room, static_cast<long long>(n));
      allowed = room <= 0 ? 0 : static_cast<size_t>(cap);
    }
    size_t done = 0;
    while (done < allowed) {
      ssize_t r = ::write(fd_, static_cast<const char*>(bytes) + done, allowed - done);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    written_ += static_cast<long long>(done);
    return done;
  }

private:
  int fd_;
  long long written_ = 0;
};

// The incremental update; when any of it failed to reach the file, the file is cut back
// to its old length so that it reads exactly as before.
bool FinishAppend(EngineDocument& doc, const pdf::CloseHooks& hooks) {
  pdf::FinishAppendUpdate(*doc.writer, doc.data, hooks, doc.existing->target);
  doc.writer->Flush();
  if (doc.writer->failed() || ::fsync(doc.appendFd) != 0) {
    if (::ftruncate(doc.appendFd, static_cast<off_t>(doc.existing->target.fileLength)) != 0)
      doc.writer->allocator().error(doc.writer->allocator().opaque, "truncate");
    return false;
  }
  return true;
}

// Returns false when the file could not be written completely.
bool FinishFile(EngineDocument& doc) {
  if (doc.page.pageOpen) EndPage(doc);
  doc.page.ResetFully();
  pdf::CloseHooks hooks;
  hooks.outputPath = doc.path;
  hooks.fontObjects = [&doc] { doc.fonts.WriteFonts(*doc.writer); };
  if (doc.security) {
    hooks.encryptionDictionary = [&doc] { return doc.security->WriteDictionary(*doc.writer); };
    hooks.securityFileId = doc.security->params().fileId.data();
  }
  if (doc.openMode == OpenMode::kAppend) {
    return FinishAppend(doc, hooks);
  }
  pdf::FinishNewFile(*doc.writer, doc.data, hooks);
  doc.writer->Flush();
  bool closed = doc.writer->sink() && doc.writer->sink()->Close();
  return closed && !doc.writer->failed();
}

} // namespace

void SetAppendWriteLimitForTesting(long long bytes) {
  gAppendWriteLimit = bytes;
}

void PageState::ResetForNewPage() {
  textSize = 16;
  CopyName(fontName, kDefaultFont);
  CopyName(fontEncoding, kDefaultEncoding);
  fontEmbed = 0;
  textLeft = 64;
  textTop = 64;
  textOptionA = textOptionB = textOptionC = 0;
  frameFirst = 1;
  frameCount = 0;
  boxX = boxY = boxW = boxH = 0;
}

void PageState::ResetFully() {
  ResetForNewPage();
  pageWidth = 594;
  pageHeight = 792;
  pageOpen = false;
  pageKind = 0;
  pendingBookmark.clear();
}

EngineDocument* Lookup(int handle) {
  if (handle < 1 || handle > kMaxDocuments) return nullptr;
  EngineDocument* doc = gTable[handle];
  return doc && doc->magic == kMagic ? doc : nullptr;
}

namespace {

void AttachBookmark(EngineDocument& doc) {
  if (doc.page.pendingBookmark.empty()) return;
  pdf::AddOutlineEntry(*doc.writer, doc.data, doc.page.pendingBookmark);
  doc.page.pendingBookmark.clear();
}

} // namespace

void BeginPage(EngineDocument& doc, int width, int height, bool moveTextCursor) {
  if (doc.page.pageOpen) EndPage(doc);
  doc.page.pageWidth = width;
  doc.page.pageHeight = height;
  doc.page.pageOpen = true;
  doc.page.pageKind = 2;
  pdf::BeginPage(*doc.writer, doc.data, width, height);
  doc.graphics.BeginPage();
  doc.page.ResetForNewPage();
  if (moveTextCursor) {
    pdf::TextState& ts = doc.graphics.textState();
    ts.textMatrix.e = ts.lineMatrix.e = static_cast<float>(doc.page.textLeft);
    ts.textMatrix.f = ts.lineMatrix.f = static_cast<float>(height - doc.page.textTop);
  }
}

void EndPage(EngineDocument& doc) {
  if (!doc.page.pageOpen) return;
  AttachBookmark(doc);
  pdf::PageResourceWriters resources;
  resources.fonts = [&doc] { doc.fonts.WritePageResources(*doc.writer); };
  resources.xobjects = [&doc] { images::WritePageXObjects(*doc.writer, doc.xobjects); };
  pdf::EndPage(*doc.writer, doc.data, resources);
  doc.graphics.EndPage();
  doc.page.ResetForNewPage();
  doc.page.pageOpen = false;
  doc.page.pageKind = 0;
}

bool DropPage(EngineDocument& doc) {
  if (!doc.page.pageOpen || doc.writer->pageContentBytes() != 0) return false;
  pdf::DropPage(*doc.writer, doc.data);
  doc.graphics.EndPage();
  doc.page.ResetForNewPage();
  // Its bookmark would point at a page that does not exist.
  doc.page.pendingBookmark.clear();
  doc.page.pageOpen = false;
  doc.page.pageKind = 0;
  return true;
}

} // namespace engine

using engine::EngineDocument;

extern "C" int EngineCreate(const char* path) {
  if (!path || !*path) return 0;
  if (engine::PathInUse(path)) return 0;
  auto sink = pdf::FileSink::Open(path);
  if (!sink) return 0;
  auto* doc = new EngineDocument;
  doc->path = path;
  doc->writer = std::make_unique<pdf::Writer>(pdf::Allocator::Default(), std::move(sink));
  pdf::WriteHeader(*doc->writer);
  int handle = engine::Register(doc);
  if (handle == 0) {
    // No slot: the file still gets a complete, empty document.
    engine::FinishFile(*doc);
    delete doc;
    return 0;
  }
  doc->page.ResetFully();
  return handle;
}

extern "C" int EngineOpenAppend(const char* path) {
  if (!path || !*path) return 0;
  if (engine::PathInUse(path)) return 0;
  int fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  auto existing = std::make_unique<reader::ExistingDocument>();
  reader::FdSource source(fd);
  // Nothing is written before the file has been read completely, so a refused file stays
  // byte for byte as it was.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !reader::AcceptableHeader(source) ||
      !reader::ReadExistingDocument(source, *existing) ||
      ::lseek(fd, 0, SEEK_END) != static_cast<off_t>(existing->target.fileLength)) {
    ::close(fd);
    return 0;
  }
  auto* doc = new EngineDocument;
  doc->path = path;
  doc->openMode = engine::OpenMode::kAppend;
  doc->writer = std::make_unique<pdf::Writer>(pdf::Allocator::Default(),
                                              std::make_unique<engine::AppendSink>(fd));
  doc->appendFd = fd;
  pdf::Writer& w = *doc->writer;
  w.SetBaseNumber(existing->target.highestObject);
  w.SetStartOffset(existing->target.fileLength);
  // Our first object must not end up on the comment line of the old "%%EOF".
  if (existing->target.needsLineEnd) w.WriteText("\r\n");
  doc->security = std::move(existing->security);
  w.encryptor = doc->security.get();
  doc->data.info = existing->info;
  doc->fonts.SetPdfMinorVersion(engine::HeaderMinorVersion(source));
  doc->existing = std::move(existing);
  int handle = engine::Register(doc);
  if (handle == 0) {
    // No slot: leave the file as it was.
    delete doc;
    return 0;
  }
  doc->page.ResetFully();
  return handle;
}

extern "C" int EngineSetOption(int handle, int key, int intA, int intB, const char* textA,
                               const char* textB) {
  EngineDocument* doc = engine::Lookup(handle);
  return doc ? engine::SetOption(*doc, key, intA, intB, textA, textB) : 0;
}

extern "C" int EngineQuery(int handle, int key, int* outA, int* outB, char* textA,
                           const char* textB) {
  EngineDocument* doc = engine::Lookup(handle);
  return doc ? engine::Query(*doc, key, outA, outB, textA, textB) : 0;
}

extern "C" int EngineSetInfo(int handle, const char* title, const char* subject, const char* author,
                             const char* keywords, const char* creator) {
  EngineDocument* doc = engine::Lookup(handle);
  if (!doc) return 0;
  const char* values[5] = {title, subject, author, keywords, creator};
  for (int i = 0; i < 5; ++i) {
    size_t n = pdf::TextStringLength(values[i]);
    if (n > 0) doc->data.info.texts[i].assign(values[i], n);
  }
  return 1;
}

extern "C" int EngineClose(int handle) {
  EngineDocument* doc = engine::Lookup(handle);
  if (!doc) return 0;
  // A file that could not be written completely is reported, not passed off as done.
  bool complete = engine::FinishFile(*doc);
  engine::gTable[handle] = nullptr;
  delete doc;
  // The inputs of the document need not stay open.
  images::ReleaseOpenTiffFiles();
  imagelib::ReleaseOpenFiles();
  return complete ? 1 : 0;
}
