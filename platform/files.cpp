#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace platform {

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix) {
  std::string dir = folder.empty() ? "." : folder;
  if (dir.back() != '/') dir += '/';
  std::string tmpl = dir + prefix + "XXXXXX" + suffix;
  int fd = mkstemps(tmpl.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return "";
  close(fd);
  return tmpl;
}

std::string CreateTempFile(const std::string& prefix, const std::string& suffix) {
  return CreateUniqueFile(TempDir(), prefix, suffix);
}

MoveResult MoveNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return MoveResult::kMoved;
  if (errno == EEXIST) return MoveResult::kTaken;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return MoveResult::kError;
  // The file system cannot rename without replacing: a new link fails on a taken name.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) == 0) return MoveResult::kMoved;
    unlink(to.c_str());
    return MoveResult::kError;
  }
  if (errno == EEXIST) return MoveResult::kTaken;
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return MoveResult::kError;
  // No hard links either (FAT and the like): look first, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return MoveResult::kTaken;
  if (errno != ENOENT) return MoveResult::kError;
  return rename(from.c_str(), to.c_str()) == 0 ? MoveResult::kMoved : MoveResult::kError;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool CopyReplacing(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

} // namespace platform
