#include "app/input_collection.h"

#include <dirent.h>

#include <algorithm>

namespace app {

namespace {

void Walk(const std::string& folder, const FolderWalk& walk,
          const std::function<void(const std::string&, const struct stat&)>& onFile, int depth) {
  if (depth > walk.maxDepth) return;
  if (walk.onFolder) walk.onFolder(folder);
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  // Name order, so results do not depend on the order the file system keeps.
  std::sort(names.begin(), names.end());
  std::vector<std::string> subfolders;
  for (const std::string& name : names) {
    std::string path = folder + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (!walk.skipFolder || !walk.skipFolder(name)) subfolders.push_back(path + "/");
      continue;
    }
    if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0) continue;
    if (!S_ISREG(st.st_mode)) continue;
    onFile(path, st);
  }
  if (!walk.recursive) return;
  for (const std::string& sub : subfolders)
    Walk(sub, walk, onFile, depth + 1);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string SizeColumnText(unsigned long long bytes) {
  unsigned long long kb = bytes / 1024;
  if (bytes > 0 && kb == 0) kb = 1;
  return std::to_string(kb) + " KB";
}

std::string TypeColumnText(const std::string& path) {
  std::string ext = LowerExtension(path);
  if (ext.empty()) return "";
  std::string type = ext.substr(1);
  for (char& c : type)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return type;
}

void WalkFolder(const std::string& folder, const FolderWalk& walk,
                const std::function<void(const std::string&, const struct stat&)>& onFile) {
  if (folder.empty()) return;
  Walk(folder.back() == '/' ? folder : folder + "/", walk, onFile, 0);
}

std::vector<std::string> ScanFolder(const std::string& folder, const SupportedTypes& types,
                                    const CollectOptions& options) {
  std::vector<std::string> found;
  FolderWalk walk;
  walk.recursive = options.recursive;
  WalkFolder(folder, walk, [&](const std::string& path, const struct stat&) {
    if (types.Matches(path, options.filter)) found.push_back(path);
  });
  if (options.order == InputOrder::kByPath) std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> CollectInputs(const std::vector<std::string>& inputs,
                                       const SupportedTypes& types, const CollectOptions& options) {
  std::vector<std::string> files;
  for (const std::string& in : inputs) {
    if (!IsFolder(in)) {
      files.push_back(in);
      continue;
    }
    std::vector<std::string> found = ScanFolder(in, types, options);
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

} // namespace app
