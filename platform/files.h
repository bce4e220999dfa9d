// File operations with the guarantees the program relies on: unique new files and moves that
// never replace an existing file.
#pragma once

#include <string>

namespace platform {

// Creates an empty file folder/prefix + XXXXXX + suffix with a unique middle part (mkstemps);
// returns its path, or "" on failure. folder "" is the current folder.
std::string CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix);

// A new empty file in the temporary folder (TempDir()), as CreateUniqueFile.
std::string CreateTempFile(const std::string& prefix, const std::string& suffix);

enum class MoveResult { kMoved, kTaken, kError };

// Renames `from` to `to` unless something is already at `to` (kTaken). Works on file
// systems without rename-without-replace or hard links by looking first.
MoveResult MoveNoReplace(const std::string& from, const std::string& to);

// Renames `from` to `to`, replacing a file already at `to` in one step. False on failure
// (for example when `to` is a folder), with `from` left as it was.
bool MoveReplacing(const std::string& from, const std::string& to);

// Copies a file over `to` (created or replaced). False on failure.
bool CopyReplacing(const std::string& from, const std::string& to);

} // namespace platform
