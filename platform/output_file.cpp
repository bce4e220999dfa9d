#include "platform/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

namespace platform {
namespace {

constexpr char kTempPrefix[] = ".pictofold-";
constexpr char kTempSuffix[] = ".part";

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows a chain of symbolic links at path to the name that is really written.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0) return path;
    link.resize(static_cast<size_t>(n));
    path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
  }
  return path;
}

bool gNamedOnly = false;

bool ProcessGone(int pid) {
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Each folder is swept once per process: a run writing thousands of files into one folder
// reads it once.
bool FirstVisit(const std::string& folder) {
  static std::mutex m;
  static std::set<std::string> seen;
  std::lock_guard<std::mutex> lock(m);
  return seen.insert(folder).second;
}

void SyncFolder(const std::string& folder) {
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

} // namespace

mode_t NewFileMode() {
  // umask can only be read by setting it; no other thread creates files in between here
  // that would matter more than a wrong mode bit.
  mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string TemporaryName(int pid) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 rng(std::random_device{}());
  std::string tail;
  for (int i = 0; i < 6; ++i)
    tail += kChars[rng() % (sizeof kChars - 1)];
  return kTempPrefix + std::to_string(pid) + "-" + tail + kTempSuffix;
}

int RemoveStaleTemporaries(const std::string& folder) {
  DIR* d = ::opendir(folder.c_str());
  if (!d) return 0;
  int removed = 0;
  const size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kTempPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kTempSuffix) != 0)
      continue;
    int pid = std::atoi(name.c_str() + prefix);
    struct stat st {};
    std::string path = folder + "/" + name;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (ProcessGone(pid) && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

void OutputFile::UseNamedTemporariesForTesting(bool on) {
  gNamedOnly = on;
}

OutputFile::OutputFile(OutputFile&& other) noexcept {
  *this = std::move(other);
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  fd_ = other.fd_;
  anonymous_ = other.anonymous_;
  target_ = std::move(other.target_);
  writePath_ = std::move(other.writePath_);
  tempName_ = std::move(other.tempName_);
  error_ = other.error_;
  other.fd_ = -1;
  other.tempName_.clear();
  other.writePath_.clear();
  return *this;
}

bool OutputFile::Fail(int e) {
  error_ = e;
  return false;
}

void OutputFile::CloseFd() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool OutputFile::Open(const std::string& target) {
  Discard();
  error_ = 0;
  if (target.empty()) return Fail(ENOENT);
  target_ = FollowLinks(target);
  std::string folder = FolderOf(target_);
  fd_ = gNamedOnly ? -1 : ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (gNamedOnly) errno = EOPNOTSUPP;
  if (fd_ >= 0) {
    anonymous_ = true;
    writePath_ = "/proc/self/fd/" + std::to_string(fd_);
    // Without /proc the anonymous file cannot be named for the writer or linked.
    if (::access(writePath_.c_str(), W_OK) == 0) return true;
    CloseFd();
  }
  int e = errno;
  if (e == ENOENT || e == ENOTDIR || e == EACCES || e == EROFS || e == ENOSPC || e == EDQUOT)
    return Fail(e);
  anonymous_ = false;
  if (FirstVisit(folder)) RemoveStaleTemporaries(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder + "/" + TemporaryName(static_cast<int>(::getpid()));
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      tempName_ = name;
      writePath_ = name;
      return true;
    }
    if (errno != EEXIST) return Fail(errno);
  }
  return Fail(EEXIST);
}

bool OutputFile::CopyFrom(const std::string& path) {
  if (fd_ < 0) return Fail(EBADF);
  int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(errno);
  bool ok = ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0;
  char buf[1 << 16];
  while (ok) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t w = ::write(fd_, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
  }
  int e = errno;
  ::close(in);
  return ok ? true : Fail(e ? e : EIO);
}

bool OutputFile::LinkAs(const std::string& name) {
  if (anonymous_) {
    if (::linkat(AT_FDCWD, writePath_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return true;
    return Fail(errno);
  }
  if (::renameat2(AT_FDCWD, tempName_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
    tempName_.clear();
    return true;
  }
  if (errno == EEXIST) return Fail(EEXIST);
  // File systems without the flag: a hard link is just as exclusive.
  if (::link(tempName_.c_str(), name.c_str()) == 0) {
    ::unlink(tempName_.c_str());
    tempName_.clear();
    return true;
  }
  if (errno == EEXIST) return Fail(EEXIST);
  // Neither: check, then rename. Only a second writer in the same instant can lose here.
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) return Fail(EEXIST);
  if (::rename(tempName_.c_str(), name.c_str()) == 0) {
    tempName_.clear();
    return true;
  }
  return Fail(errno);
}

bool OutputFile::Place(Placement how) {
  if (fd_ < 0) return Fail(EBADF);
  bool ok = false;
  if (how == Placement::kNoReplace) {
    ok = LinkAs(target_);
  } else {
    struct stat old {};
    bool replacing = ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    mode_t mode = replacing ? (old.st_mode & 07777) : NewFileMode();
    // The old bytes go only when the new ones are safely stored.
    if (::fchmod(fd_, mode) != 0 || (replacing && ::fsync(fd_) != 0)) {
      Fail(errno);
    } else {
      std::string staged = tempName_;
      bool linked = true;
      if (anonymous_) {
        linked = false;
        std::string folder = FolderOf(target_);
        for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
          staged = folder + "/" + TemporaryName(static_cast<int>(::getpid()));
          linked = LinkAs(staged);
          if (!linked && error_ != EEXIST) break;
        }
      }
      if (linked) {
        if (::rename(staged.c_str(), target_.c_str()) == 0) {
          ok = true;
          tempName_.clear();
        } else {
          Fail(errno);
          if (anonymous_) ::unlink(staged.c_str());
        }
      }
    }
  }
  if (ok) SyncFolder(FolderOf(target_));
  CloseFd();
  if (!ok) Discard();
  return ok;
}

bool OutputFile::PlaceNumbered(const std::function<std::string(int k)>& candidate,
                               std::string& taken) {
  if (fd_ < 0) return Fail(EBADF);
  for (int k = 0; k < 1000000; ++k) {
    std::string name = FollowLinks(candidate(k));
    if (LinkAs(name)) {
      taken = name;
      SyncFolder(FolderOf(name));
      CloseFd();
      return true;
    }
    if (error_ != EEXIST) break;
  }
  Discard();
  return false;
}

void OutputFile::Discard() {
  CloseFd();
  if (!tempName_.empty()) ::unlink(tempName_.c_str());
  tempName_.clear();
  writePath_.clear();
}

} // namespace platform
