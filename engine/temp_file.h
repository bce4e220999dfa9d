// Temporary files of the input routes, in $TMPDIR (else /tmp). Where the system allows, a
// temporary has no name at all (O_TMPFILE, or unlinked at once) and is reached through
// /proc/self/fd, so nothing is left behind even when the process is killed. Elsewhere it is
// named from a document handle and a fixed suffix ("3daap...") and removed when the owner
// goes away.
#pragma once

#include <string>

namespace engine {

class TempFile {
public:
  // Creates the file at once; path() is empty when that failed. named keeps a name until
  // Unname(), for writers that need one (the converter plug-in renames onto it).
  TempFile(int handle, const char* suffix, const char* extension = "", bool named = false);
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // The name to open the file by.
  const std::string& path() const { return path_; }
  bool ok() const { return !path_.empty(); }
  void Remove();
  // Opens the file and removes its name, where /proc lets it be reached without one.
  void Unname();

private:
  std::string path_;
  int fd_ = -1; // held while the file has no name of its own
};

// The folder temporary files go to.
std::string TempFolder();

// Whether something other than a regular file is at path (a folder, pipe, device or socket).
// Such inputs are refused before anything opens them: opening a pipe for reading waits for
// a writer.
bool IsSpecialFile(const char* path);

} // namespace engine
