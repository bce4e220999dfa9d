#include "temp_file.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace engine {

std::string TempFolder() {
  return platform::TempDir();
}

TempFile::TempFile(int handle, const char* suffix, const char* extension) {
  path_ = platform::CreateTempFile(std::to_string(handle) + suffix, extension);
}

void TempFile::Remove() {
  if (path_.empty()) return;
  std::remove(path_.c_str());
  path_.clear();
}

}  // namespace engine
