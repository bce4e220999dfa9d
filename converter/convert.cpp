#include "converter/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "converter/gif_reader.h"
#include "converter/psd_reader.h"
#include "converter/tiff_writer.h"
#include "converter/webp_reader.h"

namespace converter {
namespace {

constexpr uint64_t kMaxInputBytes = uint64_t{1} << 30;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  // Non-blocking so that a FIFO named as the source cannot stall the open; only regular
  // files are read.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            static_cast<uint64_t>(st.st_size) <= kMaxInputBytes;
  if (ok) {
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
      ssize_t n = read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    ok = got == out.size(); // the file shrank while we read it
  }
  close(fd);
  return ok;
}

} // namespace

InputKind DetectKind(const uint8_t* data, size_t size) {
  if (LooksLikeGif(data, size)) return InputKind::kGif;
  if (LooksLikePsd(data, size)) return InputKind::kPsd;
  if (LooksLikeWebp(data, size)) return InputKind::kWebp;
  return InputKind::kUnknown;
}

bool Decode(InputKind kind, const uint8_t* data, size_t size, PageSink& sink,
            const Limits& limits) {
  switch (kind) {
  case InputKind::kGif:
    return ReadGif(data, size, sink, limits);
  case InputKind::kPsd:
    return ReadPsd(data, size, sink, limits);
  case InputKind::kWebp:
    return ReadWebp(data, size, sink, limits);
  case InputKind::kUnknown:
    break;
  }
  return false;
}

bool ConvertFile(const std::string& source, const std::string& destination) {
  if (source.empty() || destination.empty()) return false;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(source, bytes)) return false;
  InputKind kind = DetectKind(bytes.data(), bytes.size());
  if (kind == InputKind::kUnknown) return false;
  TiffWriter writer(destination);
  if (!writer.ok()) return false;
  if (!Decode(kind, bytes.data(), bytes.size(), writer)) return false;
  return writer.Commit();
}

} // namespace converter
