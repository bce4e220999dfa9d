#include "platform/file_readiness.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string Normal(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder;
}

bool AllDigits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

// The access mode of descriptor fd of process pid, from its fdinfo "flags:" line (octal).
bool WritableDescriptor(const std::string& pidDir, const char* fd) {
  std::string info = pidDir + "/fdinfo/" + fd;
  FILE* f = std::fopen(info.c_str(), "re");
  if (!f) return false;
  char line[128];
  bool writable = false;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "flags:", 6) == 0) {
      long flags = std::strtol(line + 6, nullptr, 8);
      writable = (flags & O_ACCMODE) != O_RDONLY;
      break;
    }
  }
  std::fclose(f);
  return writable;
}

} // namespace

std::set<std::pair<dev_t, ino_t>> FilesOpenForWriting() {
  std::set<std::pair<dev_t, ino_t>> out;
  DIR* proc = ::opendir("/proc");
  if (!proc) return out;
  while (dirent* p = ::readdir(proc)) {
    if (!AllDigits(p->d_name)) continue;
    std::string pidDir = std::string("/proc/") + p->d_name;
    std::string fdDir = pidDir + "/fd";
    int dfd = ::open(fdDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) continue; // another user's process: cannot be told
    DIR* fds = ::fdopendir(dfd);
    if (!fds) {
      ::close(dfd);
      continue;
    }
    while (dirent* e = ::readdir(fds)) {
      if (!AllDigits(e->d_name)) continue;
      struct stat st {};
      if (::fstatat(dfd, e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
      if (WritableDescriptor(pidDir, e->d_name)) out.insert({st.st_dev, st.st_ino});
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return out;
}

FileReadiness::FileReadiness(std::chrono::milliseconds quiet) : quiet_(quiet) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FileReadiness::~FileReadiness() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReadiness::Watch(const std::string& folder) {
  if (fd_ < 0) return false;
  std::string f = Normal(folder);
  int wd = ::inotify_add_watch(fd_, f.c_str(),
                               IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MOVED_TO |
                                   IN_MODIFY | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR);
  if (wd < 0) return false;
  folders_[wd] = f;
  return true;
}

bool FileReadiness::watching(const std::string& folder) const {
  std::string f = Normal(folder);
  for (const auto& [wd, name] : folders_)
    if (name == f) return true;
  return false;
}

void FileReadiness::Handle(const char* buffer, size_t length) {
  for (size_t at = 0; at + sizeof(inotify_event) <= length;) {
    const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
    at += sizeof(inotify_event) + ev->len;
    if (ev->mask & IN_Q_OVERFLOW) {
      // Events were lost: nothing that was learnt from them can be trusted any more.
      overflowed_ = true;
      for (auto& [path, state] : files_)
        state.events = state.closedAfterWrite = false;
      continue;
    }
    if (ev->mask & IN_IGNORED) {
      folders_.erase(ev->wd);
      continue;
    }
    auto folder = folders_.find(ev->wd);
    if (folder == folders_.end() || ev->len == 0) continue;
    std::string path = folder->second + "/" + ev->name;
    if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
      files_.erase(path);
      continue;
    }
    FileState& s = files_[path];
    if (ev->mask & IN_OPEN) ++s.opens;
    if ((ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && s.opens > 0) --s.opens;
    if (ev->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) {
      s.events = true;
      s.closedAfterWrite = true;
    } else if (ev->mask & IN_MODIFY) {
      // Also what setting only the modification time reports, without any open.
      s.events = true;
      s.closedAfterWrite = false;
    }
  }
}

void FileReadiness::Drain() {
  if (fd_ < 0) return;
  alignas(inotify_event) char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    Handle(buf, static_cast<size_t>(n));
  }
}

bool FileReadiness::WaitForEvent(std::chrono::milliseconds timeout) {
  if (fd_ < 0) {
    ::poll(nullptr, 0, static_cast<int>(timeout.count()));
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
  if (r <= 0) return false;
  Drain();
  return true;
}

bool FileReadiness::HeldForWriting(dev_t dev, ino_t ino) {
  if (openForWriting) return openForWriting(dev, ino);
  if (!writersKnown_) {
    writers_ = FilesOpenForWriting();
    writersKnown_ = true;
  }
  return writers_.count({dev, ino}) > 0;
}

Readiness FileReadiness::Check(const std::string& path) {
  Drain();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    files_.erase(path);
    return Readiness::kGone;
  }
  FileState& s = files_[path];
  Signature now{static_cast<long long>(st.st_size),
                static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec,
                static_cast<unsigned long long>(st.st_ino)};
  auto t = clock();
  bool changed = false;
  if (!(now == s.seen)) {
    changed = s.looked;
    s.seen = now;
    s.since = t;
  }
  s.looked = true;
  // Not a regular file: nothing will ever finish writing it; whoever takes it refuses it.
  if (!S_ISREG(st.st_mode)) return Readiness::kReady;
  if (HeldForWriting(st.st_dev, st.st_ino)) return Readiness::kBusy;
  size_t slash = path.rfind('/');
  bool watched = !overflowed_ && slash != std::string::npos && watching(path.substr(0, slash));
  if (watched && s.events) {
    if (s.closedAfterWrite) return Readiness::kReady;
    // Written and still open: a writer that pauses. Only a very long silence lets it
    // through, in case a close went unseen.
    if (s.opens > 0) return t - s.since >= quiet_ * 30 ? Readiness::kReady : Readiness::kBusy;
  }
  if (changed) return Readiness::kBusy;
  // Written long enough ago by its own time, which must not lie in the future.
  auto wall =
      std::chrono::duration_cast<std::chrono::nanoseconds>(wallClock().time_since_epoch()).count();
  const long long quiet = std::chrono::nanoseconds(quiet_).count();
  if (wall - now.mtime >= quiet) return Readiness::kReady;
  // Stamped ahead of the clock (a camera's clock, an archive): its time says nothing, so
  // only the writer check above speaks for it.
  if (now.mtime - wall >= quiet) return Readiness::kReady;
  return t - s.since >= quiet_ ? Readiness::kReady : Readiness::kBusy;
}

} // namespace platform
