// Replacing a small file so that readers see either the old or the new bytes, never a mix.
#pragma once

#include <string>

namespace platform {

// Writes bytes to a temporary file in the target's folder, flushes it to disk and renames it
// over the target. A symbolic link at path is followed, so the link stays in place. The mode of
// an existing target is kept; a new file gets 0644 (less the umask). Missing parent folders are
// created. Returns false (and leaves the target untouched) on any failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

} // namespace platform
