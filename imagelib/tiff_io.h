// libtiff glue: opening a Source as a TIFF with quiet error handlers and bounded allocations.
#pragma once

#include <tiffio.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "imagelib/source.h"

namespace imagelib::detail {

struct TiffStream {
  Source* src = nullptr;
  uint64_t pos = 0;
  std::string lastError;
  bool dataMissing = false; // libtiff skipped a tag whose data lies beyond the end
};

// Opens for reading; null when libtiff refuses the file (the stream keeps the reason).
TIFF* OpenTiff(TiffStream& stream, uint64_t maxAlloc);
// The offsets of a TIFF's directories in chain order (at most 65535, a loop ends the chain).
// Walked once per version of a file (device, inode, size, modification time) and remembered,
// so that page n of a many-page file is reached without walking the chain again.
using DirectoryList = std::shared_ptr<const std::vector<uint64_t>>;
// identity null: walked, not remembered. Null when the bytes are no TIFF.
DirectoryList TiffDirectories(Source& src, const struct stat* identity);
// The same for a file by name.
DirectoryList TiffDirectoriesOfFile(const std::string& path);

// Opens a file for writing with the same quiet handlers.
TIFF* CreateTiff(const std::string& path, std::string& lastError);

} // namespace imagelib::detail
