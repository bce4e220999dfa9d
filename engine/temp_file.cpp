#include "temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/paths.h"

namespace engine {
namespace {

std::string ProcPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

bool Reachable(int fd) {
  return ::access(ProcPath(fd).c_str(), R_OK | W_OK) == 0;
}

} // namespace

std::string TempFolder() {
  return platform::TempDir();
}

bool IsSpecialFile(const char* path) {
  struct stat st {};
  return path && ::stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

TempFile::TempFile(int handle, const char* suffix, const char* extension, bool named) {
  std::string folder = TempFolder();
  int fd = named ? -1 : ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) {
    if (Reachable(fd)) {
      fd_ = fd;
      path_ = ProcPath(fd);
      return;
    }
    ::close(fd);
  }
  path_ = platform::CreateTempFile(std::to_string(handle) + suffix, extension);
  if (!named) Unname();
}

void TempFile::Unname() {
  if (fd_ >= 0 || path_.empty()) return;
  int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  if (!Reachable(fd) || ::unlink(path_.c_str()) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  path_ = ProcPath(fd);
}

void TempFile::Remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  } else if (!path_.empty()) {
    std::remove(path_.c_str());
  }
  path_.clear();
}

} // namespace engine
