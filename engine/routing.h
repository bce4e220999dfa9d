// Internal steps of the input routing shared with the image queries.
#pragma once

#include "engine/temp_file.h"

namespace engine {

// Places the selected pages of a TIFF file, re-saved under the document's compression choices.
int AddTiffPages(int handle, const char* path);

// Places one directory (from 1) of a TIFF file, its strips copied as they are.
int PlaceTiffDirectory(int handle, const char* path, int directory);

// Runs the converter plug-in on path, writing a TIFF to output; -1 when it is missing or fails.
int ConvertWithPlugin(int handle, const char* path, TempFile& output);

} // namespace engine
