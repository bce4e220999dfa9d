#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::path target(path);
  // Follow a link chain so the rename replaces the real file, not the link.
  for (int hops = 0; hops < 16 && fs::is_symlink(target, ec); ++hops) {
    fs::path link = fs::read_symlink(target, ec);
    if (ec) return false;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  fs::create_directories(dir, ec);

  std::string tmpl = (dir / (target.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;

  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmpl.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    ::close(dfd);
  }
  return true;
}

} // namespace platform
