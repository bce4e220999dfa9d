// Entry point of the converter plug-in, loaded by the program with dlopen.
//
//   int zorvalex5(int argc, char** argv)
//
// argc is 4 and argv holds the module name (not used), the verb "convert", the source path
// and the destination path. Returns 0 once the destination holds the TIFF file, or -1 when
// the call is malformed or the source cannot be read or converted; then no file is left at
// the destination.
#include <cstring>

#include "converter/convert.h"

extern "C" __attribute__((visibility("default"))) int zorvalex5(int argc, char** argv) {
  if (argc != 4 || !argv || !argv[1] || !argv[2] || !argv[3]) return -1;
  if (std::strcmp(argv[1], "convert") != 0) return -1;
  try {
    return converter::ConvertFile(argv[2], argv[3]) ? 0 : -1;
  } catch (...) {
    return -1; // out of memory, mostly; no exception may cross into the host
  }
}
