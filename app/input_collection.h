// Turning what the user named (files and folders) into the list of input files, over the one
// list of supported types. Used by the command line, the file list's Add Folder and the
// monitor's scan. No state: any thread.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "app/supported_types.h"

namespace app {

enum class InputOrder {
  kByPath,      // all files of a named folder sorted by full path, in byte order
  kFolderFirst, // a folder's own files in name order, then each sub-folder, depth first
};

struct CollectOptions {
  bool recursive = false;
  int filter = 0; // 0 "All Support", n the n-th format of SupportedTypes::formats()
  InputOrder order = InputOrder::kByPath;
};

// Named files are taken as they are, without a type test (the run then reports why one
// fails); named folders contribute their supported files.
std::vector<std::string> CollectInputs(const std::vector<std::string>& inputs,
                                       const SupportedTypes& types, const CollectOptions& options);

// The supported files of one folder, as Add Folder adds them.
std::vector<std::string> ScanFolder(const std::string& folder, const SupportedTypes& types,
                                    const CollectOptions& options);

// The file list's "Size" column: whole kilobytes as "%d KB", rounded down, except that 1 to
// 1023 bytes show 1 KB.
std::string SizeColumnText(unsigned long long bytes);
// The "Type" column: the extension without its dot, in upper case ("JPG"); "" without one.
std::string TypeColumnText(const std::string& path);

// The walk under every scan. Folder paths passed to the callbacks end in '/'. Linked folders
// are not followed (they may lead out of the folder); linked files are, when they lead to a
// regular file. Entries come in name order.
struct FolderWalk {
  bool recursive = false;
  int maxDepth = 64;
  // Sub-folders for which this is true are not entered.
  std::function<bool(const std::string& name)> skipFolder;
  // Called on entering each folder, before its entries are listed.
  std::function<void(const std::string& folder)> onFolder;
};
void WalkFolder(const std::string& folder, const FolderWalk& walk,
                const std::function<void(const std::string& path, const struct stat& st)>& onFile);

} // namespace app
