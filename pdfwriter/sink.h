// Where a document's bytes go: a file, standard output, or a test double.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace pdf {

class Sink {
public:
  virtual ~Sink() = default;
  // Returns the number of bytes transferred; fewer than n stops the document's output.
  virtual size_t Write(const void* bytes, size_t n) = 0;
  // Completes the output; false when bytes could not be stored (a full disk shows up here).
  virtual bool Close() { return true; }
};

class FileSink : public Sink {
public:
  // "-" is standard output in binary mode; anything else is created or truncated.
  static std::unique_ptr<FileSink> Open(const std::string& path);
  // Wraps an already open stream (append mode positions it at the end first).
  explicit FileSink(FILE* f, bool owned) : file_(f), owned_(owned) {}
  ~FileSink() override;
  size_t Write(const void* bytes, size_t n) override;
  bool Close() override;
  FILE* file() { return file_; }

private:
  FILE* file_;
  bool owned_;
};

} // namespace pdf
