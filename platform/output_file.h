// An output file that appears under its name only when it is complete. It is written as an
// anonymous file in the target's folder (O_TMPFILE) and linked into place at the end, so a
// crash or a kill leaves nothing behind. Where the file system cannot make anonymous files,
// a short hidden name stands in, and the next run removes those whose process is gone.
//
// One object belongs to one thread at a time.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace platform {

enum class Placement {
  kReplace,   // whatever is at the name is replaced (its mode is kept)
  kNoReplace, // fails with EEXIST when something is at the name
};

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;

  // Prepares an output that is to become `target`. A symbolic link at target is followed, so
  // the link stays and its target file is written. False with error() set when the folder
  // cannot take a new file.
  bool Open(const std::string& target);

  bool isOpen() const { return fd_ >= 0; }
  // The name a writer opens to fill the output (it names the same file as fd()).
  const std::string& writePath() const { return writePath_; }
  int fd() const { return fd_; }
  // The target after following links.
  const std::string& target() const { return target_; }
  // True when the output has no name of its own until it is placed.
  bool anonymous() const { return anonymous_; }
  // The errno of the last failure.
  int error() const { return error_; }

  // Fills the output with the bytes of an existing file.
  bool CopyFrom(const std::string& path);

  // Gives the complete output its name. The output is closed either way; on failure nothing
  // was placed and error() tells why.
  bool Place(Placement how);
  // Takes the first free name of candidate(0), candidate(1), ... and reports it in taken. Two
  // processes never take the same name.
  bool PlaceNumbered(const std::function<std::string(int k)>& candidate, std::string& taken);

  // Drops the output; nothing appears and any temporary name is removed.
  void Discard();

  // Test hook: behave as on a file system without anonymous files.
  static void UseNamedTemporariesForTesting(bool on);

private:
  bool LinkAs(const std::string& name);
  bool Fail(int e);
  void CloseFd();

  int fd_ = -1;
  bool anonymous_ = false;
  std::string target_;
  std::string writePath_;
  std::string tempName_; // the hidden name when the output is not anonymous
  int error_ = 0;
};

// The mode a new file gets: 0666 less the process's umask.
mode_t NewFileMode();

// Removes the hidden temporaries of processes that are gone from folder; returns how many.
int RemoveStaleTemporaries(const std::string& folder);

// The hidden name a temporary takes in a folder: short, so that it fits wherever the target's
// own name fits.
std::string TemporaryName(int pid);

} // namespace platform
