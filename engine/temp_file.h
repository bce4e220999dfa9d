// Unique temporary files named from a document handle and a fixed suffix ("3daap..."),
// created empty in $TMPDIR (else /tmp) and removed when the owner goes away.
#pragma once

#include <string>

namespace engine {

class TempFile {
 public:
  // Creates the file at once; path() is empty when that failed.
  TempFile(int handle, const char* suffix, const char* extension = "");
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  bool ok() const { return !path_.empty(); }
  void Remove();

 private:
  std::string path_;
};

// The folder temporary files go to.
std::string TempFolder();

}  // namespace engine
