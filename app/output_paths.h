// The output mode and the three output paths shared by the file-list page and the monitor.
#pragma once

#include <string>

#include "app/conversion_settings.h"

namespace app {

class SettingsStore;

// ~/Zorvalex/Pictofold/ (with the trailing '/').
std::string DefaultOutputFolder();

// Creates a folder and its missing parents; errors (such as "already exists") are ignored.
void CreateFolders(const std::string& path);

struct OutputPaths {
  OutputMode mode = OutputMode::kMerge;
  std::string mergeFile;       // outPath0: the merge output file
  std::string perImageFolder;  // outPath1, ending in '/'
  std::string perFolderFolder; // outPath2, ending in '/'

  // The file or folder a run of this mode writes to.
  const std::string& ForMode(OutputMode m) const;
  bool operator==(const OutputPaths&) const = default;
};

// What the file-list page does each time it is shown: creates defaultFolder, reads outMode
// and the three paths, and puts defaultFolder + "MyPDF.pdf" in an empty outPath0 and
// defaultFolder in an empty outPath1 or outPath2.
// With createDefault false nothing is created: a run makes the folders it writes into.
OutputPaths LoadOutputPaths(const SettingsStore& store,
                            const std::string& defaultFolder = DefaultOutputFolder(),
                            bool createDefault = true);

// Writes outMode and all three paths in one update.
bool SaveOutputPaths(SettingsStore& store, const OutputPaths& paths);

} // namespace app
