#include "imagelib/tiff_io.h"

#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_set>

namespace imagelib::detail {

namespace {

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<TiffStream*>(h);
  if (n <= 0) return 0;
  size_t k = s->src->ReadAt(s->pos, buf, static_cast<size_t>(n));
  s->pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return 0;
}
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<TiffStream*>(h);
  uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->src->Size() : 0;
  s->pos = base + off;
  return s->pos;
}
int CloseProc(thandle_t) {
  return 0;
}
toff_t SizeProc(thandle_t h) {
  return static_cast<TiffStream*>(h)->src->Size();
}
// Mapped reading also avoids a libtiff 4.5 fault with uncompressed tiles read through the
// read procedure ("Invalid tile byte count").
int MapProc(thandle_t h, void** base, toff_t* size) {
  auto* s = static_cast<TiffStream*>(h);
  const uint8_t* m = s->src->Map();
  if (!m) return 0;
  *base = const_cast<uint8_t*>(m);
  *size = s->src->Size();
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  if (user) {
    char buf[256];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    *static_cast<std::string*>(user) = buf;
  }
  return 1; // handled: nothing reaches the process-wide handlers
}
int OnWarning(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  // A tag that shapes the pixels but lies past the end of the file means a cut file; libtiff
  // would carry on without it (a palette page would turn grey).
  static const char* const kVital[] = {"ColorMap",    "StripOffsets",   "StripByteCounts",
                                       "TileOffsets", "TileByteCounts", "BitsPerSample",
                                       "JPEGTables",  "ExtraSamples",   "SampleFormat"};
  char buf[256];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (user && std::strstr(buf, "IO error during reading of"))
    for (const char* tag : kVital)
      if (std::strstr(buf, tag)) static_cast<TiffStream*>(user)->dataMissing = true;
  return 1;
}

uint64_t Get(const uint8_t* p, int n, bool le) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i)
    v |= static_cast<uint64_t>(p[le ? i : n - 1 - i]) << (8 * i);
  return v;
}

std::vector<uint64_t> WalkChain(Source& src) {
  std::vector<uint64_t> out;
  uint8_t head[16] = {};
  size_t got = src.ReadAt(0, head, sizeof head);
  if (got < 8) return out;
  bool le = head[0] == 'I' && head[1] == 'I';
  if (!le && !(head[0] == 'M' && head[1] == 'M')) return out;
  uint64_t magic = Get(head + 2, 2, le);
  bool big = magic == 43;
  if (!big && magic != 42) return out;
  if (big && (got < 16 || Get(head + 4, 2, le) != 8)) return out;
  uint64_t off = big ? Get(head + 8, 8, le) : Get(head + 4, 4, le);
  const int countSize = big ? 8 : 2, entrySize = big ? 20 : 12, linkSize = big ? 8 : 4;
  std::unordered_set<uint64_t> seen;
  const uint64_t size = src.Size();
  while (off != 0 && off < size && out.size() < 65535 && seen.insert(off).second) {
    uint8_t buf[8];
    if (src.ReadAt(off, buf, static_cast<size_t>(countSize)) != static_cast<size_t>(countSize))
      break;
    uint64_t count = Get(buf, countSize, le);
    out.push_back(off);
    if (count > (size - off) / static_cast<uint64_t>(entrySize)) break;
    uint64_t link =
        off + static_cast<uint64_t>(countSize) + count * static_cast<uint64_t>(entrySize);
    if (src.ReadAt(link, buf, static_cast<size_t>(linkSize)) != static_cast<size_t>(linkSize))
      break;
    off = Get(buf, linkSize, le);
  }
  return out;
}

struct CachedChain {
  dev_t dev;
  ino_t ino;
  off_t size;
  long long mtime;
  DirectoryList list;
};

std::mutex gChainMutex;
std::list<CachedChain> gChains; // most recent first

long long MtimeOf(const struct stat& st) {
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

} // namespace

DirectoryList TiffDirectories(Source& src, const struct stat* identity) {
  if (identity) {
    std::lock_guard<std::mutex> lock(gChainMutex);
    for (auto it = gChains.begin(); it != gChains.end(); ++it) {
      if (it->dev == identity->st_dev && it->ino == identity->st_ino &&
          it->size == identity->st_size && it->mtime == MtimeOf(*identity)) {
        gChains.splice(gChains.begin(), gChains, it);
        return it->list;
      }
    }
  }
  auto chain = std::make_shared<std::vector<uint64_t>>(WalkChain(src));
  if (chain->empty()) return nullptr;
  if (identity) {
    std::lock_guard<std::mutex> lock(gChainMutex);
    gChains.push_front(
        {identity->st_dev, identity->st_ino, identity->st_size, MtimeOf(*identity), chain});
    if (gChains.size() > 8) gChains.pop_back();
  }
  return chain;
}

DirectoryList TiffDirectoriesOfFile(const std::string& path) {
  FileSource src;
  if (!src.Open(path)) return nullptr;
  return TiffDirectories(src, &src.Stat());
}

TIFF* OpenTiff(TiffStream& stream, uint64_t maxAlloc) {
  TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
  if (!o) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(o, OnError, &stream.lastError);
  TIFFOpenOptionsSetWarningHandlerExtR(o, OnWarning, &stream);
  TIFFOpenOptionsSetMaxSingleMemAlloc(o, static_cast<tmsize_t>(maxAlloc));
  TIFF* t = TIFFClientOpenExt("image", "r", &stream, ReadProc, WriteProc, SeekProc, CloseProc,
                              SizeProc, MapProc, UnmapProc, o);
  TIFFOpenOptionsFree(o);
  return t;
}

TIFF* CreateTiff(const std::string& path, std::string& lastError) {
  TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
  if (!o) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(o, OnError, &lastError);
  TIFFOpenOptionsSetWarningHandlerExtR(o, OnWarning, nullptr);
  TIFF* t = TIFFOpenExt(path.c_str(), "w", o);
  TIFFOpenOptionsFree(o);
  return t;
}

} // namespace imagelib::detail
