// Tells when a file that landed in a watched folder is complete, so that nobody takes a file
// that is still being written.
//
// With inotify a file is ready once it was closed after writing (or moved in) and not
// modified since, and no process still holds it open for writing where /proc can tell; a file
// written and still open is not. Files without such events (there before the watch began, or on
// file systems without inotify, such as network mounts) are ready once their size, times and inode
// stayed the same for the quiet period, measured by this object's clock; a file's own modification
// time never makes it settled, so one stamped in the future waits like any other.
//
// One object belongs to one thread at a time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace platform {

enum class Readiness {
  kReady,
  kBusy, // still being written, or not yet quiet long enough
  kGone, // no longer there
};

class FileReadiness {
public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Whether any process has the file (device, inode) open for writing.
  using WriterCheck = std::function<bool(dev_t, ino_t)>;

  explicit FileReadiness(std::chrono::milliseconds quiet = std::chrono::seconds(2));
  ~FileReadiness();
  FileReadiness(const FileReadiness&) = delete;
  FileReadiness& operator=(const FileReadiness&) = delete;

  // Watches one folder (not its sub-folders). False when inotify cannot watch it: its files
  // are then judged by the quiet period alone.
  bool Watch(const std::string& folder);
  bool watching(const std::string& folder) const;

  // Reads the events that are waiting, without blocking.
  void Drain();
  // Waits up to timeout for an event and reads it; true when one came.
  bool WaitForEvent(std::chrono::milliseconds timeout);
  // The inotify descriptor (-1 without inotify), for callers that wait on several things.
  int fd() const { return fd_; }

  // Whether path can be taken now. Reads waiting events first.
  Readiness Check(const std::string& path);
  // Starts a new scan: the list of files open for writing is read again when next needed.
  void NewPass() { writersKnown_ = false; }
  // Forgets what is known about path (after it was taken).
  void Forget(const std::string& path) { files_.erase(path); }

  // Replaceable for tests.
  Clock clock = [] { return std::chrono::steady_clock::now(); };
  std::function<std::chrono::system_clock::time_point()> wallClock = [] {
    return std::chrono::system_clock::now();
  };
  WriterCheck openForWriting; // default: a /proc scan made once per pass

private:
  struct Signature {
    long long size = -1, mtime = 0, ctime = 0;
    unsigned long long inode = 0;
    bool operator==(const Signature&) const = default;
  };
  struct FileState {
    bool events = false;           // inotify has reported on this file since the watch began
    bool closedAfterWrite = false; // closed (or moved in) after its last write
    int opens = 0;                 // opens seen and not yet closed
    bool looked = false;           // Check has seen it before
    Signature seen;
    std::chrono::steady_clock::time_point since{};
  };
  void Handle(const char* buffer, size_t length);
  bool HeldForWriting(dev_t dev, ino_t ino);

  std::chrono::milliseconds quiet_;
  int fd_ = -1;
  bool overflowed_ = false;
  std::map<int, std::string> folders_; // watch descriptor -> folder
  std::map<std::string, FileState> files_;
  bool writersKnown_ = false;
  std::set<std::pair<dev_t, ino_t>> writers_;
};

// Every (device, inode) that some process this user may inspect has open for writing.
std::set<std::pair<dev_t, ino_t>> FilesOpenForWriting();

} // namespace platform
