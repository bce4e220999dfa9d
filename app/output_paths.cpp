#include "app/output_paths.h"

#include <sys/stat.h>

#include "app/settings_store.h"
#include "platform/paths.h"

namespace app {

std::string DefaultOutputFolder() {
  return platform::HomeDir() + "/Zorvalex/Pictofold/";
}

void CreateFolders(const std::string& path) {
  // Each prefix that ends before a '/', then the whole path.
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
  if (!path.empty() && path.back() != '/') ::mkdir(path.c_str(), 0777);
}

const std::string& OutputPaths::ForMode(OutputMode m) const {
  switch (m) {
  case OutputMode::kPerImage:
    return perImageFolder;
  case OutputMode::kPerFolder:
    return perFolderFolder;
  default:
    return mergeFile;
  }
}

OutputPaths LoadOutputPaths(const SettingsStore& store, const std::string& defaultFolder,
                            bool createDefault) {
  if (createDefault) CreateFolders(defaultFolder);
  IniDocument doc = store.Snapshot();
  OutputPaths p;
  p.mode = static_cast<OutputMode>(SettingsStore::ReadInt(doc, "outMode", 0));
  p.mergeFile = SettingsStore::ReadText(doc, "outPath0", "");
  p.perImageFolder = SettingsStore::ReadText(doc, "outPath1", "");
  p.perFolderFolder = SettingsStore::ReadText(doc, "outPath2", "");
  if (p.mergeFile.empty()) p.mergeFile = defaultFolder + "MyPDF.pdf";
  if (p.perImageFolder.empty()) p.perImageFolder = defaultFolder;
  if (p.perFolderFolder.empty()) p.perFolderFolder = defaultFolder;
  return p;
}

bool SaveOutputPaths(SettingsStore& store, const OutputPaths& paths) {
  return store.WriteMany({{"outMode", std::to_string(static_cast<int>(paths.mode))},
                          {"outPath0", paths.mergeFile},
                          {"outPath1", paths.perImageFolder},
                          {"outPath2", paths.perFolderFolder}});
}

} // namespace app
