// Locks between processes: one on a file that is read and then replaced (append), and one on
// a folder that a process watches. Both are flock locks, so they go when the process goes,
// however it ends.
//
// One object belongs to one thread at a time.
#pragma once

#include <functional>
#include <string>

namespace platform {

// An exclusive lock on the file at a path, held from reading it to replacing it. When the
// name was replaced while this process waited, the lock is taken on the new file, so a second
// appender always reads what the first one wrote.
class FileLock {
public:
  FileLock() = default;
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits for the lock. cancelled is asked while waiting; when it returns true the wait ends
  // with ECANCELED. False with error() set (ENOENT when there is no file at path).
  bool Lock(const std::string& path, const std::function<bool()>& cancelled = nullptr);
  // Takes the lock only when it is free; false with EWOULDBLOCK otherwise.
  bool TryLock(const std::string& path);
  void Unlock();
  bool locked() const { return fd_ >= 0; }
  int error() const { return error_; }

private:
  bool Take(const std::string& path, bool wait, const std::function<bool()>& cancelled);
  int fd_ = -1;
  int error_ = 0;
};

// Marks a folder as watched by this process for as long as the object lives. The mark is a
// lock file in $XDG_RUNTIME_DIR (else the temporary folder) named after the folder's device
// and inode, so every spelling of the folder's path finds the same mark.
class WatchLock {
public:
  WatchLock() = default;
  ~WatchLock() { Release(); }
  WatchLock(const WatchLock&) = delete;
  WatchLock& operator=(const WatchLock&) = delete;

  // True when this process now watches folder. False when another process does (holder()
  // is its process id, 0 when it could not be read) or when the folder cannot be read
  // (error() is set, holder() is 0).
  bool Acquire(const std::string& folder);
  void Release();
  int holder() const { return holder_; }
  int error() const { return error_; }

  // Where the lock files live.
  static std::string LockFolder();

private:
  int fd_ = -1;
  std::string lockPath_;
  int holder_ = 0;
  int error_ = 0;
};

} // namespace platform
