#include "sink.h"

namespace pdf {

std::unique_ptr<FileSink> FileSink::Open(const std::string& path) {
  if (path == "-") return std::make_unique<FileSink>(stdout, false);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  return std::make_unique<FileSink>(f, true);
}

FileSink::~FileSink() {
  if (!file_) return;
  if (owned_)
    std::fclose(file_);
  else
    std::fflush(file_);
}

bool FileSink::Close() {
  if (!file_) return false;
  bool ok = owned_ ? std::fclose(file_) == 0 : std::fflush(file_) == 0;
  file_ = nullptr;
  return ok;
}

size_t FileSink::Write(const void* bytes, size_t n) {
  return file_ ? std::fwrite(bytes, 1, n, file_) : 0;
}

} // namespace pdf
