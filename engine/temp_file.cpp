#include "temp_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace engine {

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

TempFile::TempFile(int handle, const char* suffix, const char* extension) {
  std::string tmpl = TempFolder() + "/" + std::to_string(handle) + suffix + "XXXXXX" + extension;
  int suffixLength = static_cast<int>(std::string(extension).size());
  int fd = mkstemps(tmpl.data(), suffixLength);
  if (fd < 0) return;
  close(fd);
  path_ = tmpl;
}

void TempFile::Remove() {
  if (path_.empty()) return;
  std::remove(path_.c_str());
  path_.clear();
}

}  // namespace engine
