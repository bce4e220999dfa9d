#include "platform/file_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/paths.h"

namespace platform {
namespace {

bool SameFile(int fd, const std::string& path) {
  struct stat a {
  }, b{};
  return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// Waits between tries without a busy loop; short at first, since most holders finish soon.
void Pause(int& delayMs) {
  ::poll(nullptr, 0, delayMs);
  delayMs = std::min(delayMs * 2, 100);
}

} // namespace

bool FileLock::Take(const std::string& path, bool wait, const std::function<bool()>& cancelled) {
  Unlock();
  error_ = 0;
  int delay = 1;
  for (;;) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      error_ = errno;
      return false;
    }
    for (;;) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK || !wait) {
        error_ = errno;
        ::close(fd);
        return false;
      }
      if (cancelled && cancelled()) {
        error_ = ECANCELED;
        ::close(fd);
        return false;
      }
      Pause(delay);
    }
    // The holder may have replaced the file while we waited: lock what the name is now.
    if (SameFile(fd, path)) {
      fd_ = fd;
      return true;
    }
    ::close(fd);
  }
}

bool FileLock::Lock(const std::string& path, const std::function<bool()>& cancelled) {
  return Take(path, true, cancelled);
}

bool FileLock::TryLock(const std::string& path) {
  return Take(path, false, nullptr);
}

void FileLock::Unlock() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string WatchLock::LockFolder() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (run && run[0] == '/' && ::stat(run, &st) == 0 && S_ISDIR(st.st_mode)) return run;
  return TempDir();
}

bool WatchLock::Acquire(const std::string& folder) {
  Release();
  holder_ = 0;
  error_ = 0;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    error_ = errno;
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    error_ = ENOTDIR;
    return false;
  }
  char name[96];
  std::snprintf(name, sizeof name, "/pictofold-watch-%llx-%llx.lock",
                static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::string path = LockFolder() + name;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error_ = errno;
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      char buf[32] = {};
      // The holder writes its id just after locking; a few reads ride out that moment.
      for (int k = 0; k < 50 && holder_ == 0; ++k) {
        ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        if (n > 0) {
          buf[n] = '\0';
          holder_ = std::atoi(buf);
        }
        if (holder_ == 0) ::poll(nullptr, 0, 2);
      }
      ::close(fd);
      error_ = e == EWOULDBLOCK ? 0 : e;
      return false;
    }
    // A releasing holder unlinks the file; a lock on a file that no longer has the name
    // marks nothing.
    if (!SameFile(fd, path)) {
      ::close(fd);
      continue;
    }
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
      // The lock holds all the same; only the message of a second watcher suffers.
    }
    fd_ = fd;
    lockPath_ = path;
    return true;
  }
  error_ = EAGAIN;
  return false;
}

void WatchLock::Release() {
  if (fd_ < 0) return;
  // Unlinked while still locked, so a process that opens the old file sees it is stale.
  ::unlink(lockPath_.c_str());
  ::close(fd_);
  fd_ = -1;
  lockPath_.clear();
}

} // namespace platform
