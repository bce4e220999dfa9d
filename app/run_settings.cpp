#include "app/run_settings.h"

#include "app/output_paths.h"
#include "app/settings_store.h"

namespace app {

namespace {

std::string WithSlash(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string FolderOfFile(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

const std::string& RunSettings::OutputForMode() const {
  switch (mode) {
  case OutputMode::kPerImage:
    return outPath1;
  case OutputMode::kPerFolder:
    return outPath2;
  default:
    return outPath0;
  }
}

RunSettings LoadRunSettings(const SettingsStore& store, ProducerMode producer) {
  RunSettings run;
  run.conv = LoadConversionSettings(store, producer);
  OutputPaths paths = LoadOutputPaths(store);
  run.mode = paths.mode;
  run.outPath0 = paths.mergeFile;
  run.outPath1 = paths.perImageFolder;
  run.outPath2 = paths.perFolderFolder;
  run.policy = ReadExistingFilePolicy(store);
  run.log = store.ReadInt("log", 0) == 1;
  run.logpath = store.ReadText("logpath", "");
  return run;
}

void ApplyOverrides(RunSettings& run, const RunOverrides& o) {
  if (o.mode) run.mode = *o.mode;
  if (o.policy) run.policy = *o.policy;
  if (!o.output.empty()) {
    if (run.mode == OutputMode::kMerge) {
      run.outPath0 = o.output;
    } else {
      run.outPath1 = run.outPath2 = WithSlash(o.output);
    }
  }
  if (!o.logDir.empty()) {
    run.log = true;
    run.logpath = o.logDir;
  }
}

void PrepareOutputFolder(const RunSettings& run) {
  std::string folder =
      run.mode == OutputMode::kMerge ? FolderOfFile(run.outPath0) : run.OutputForMode();
  if (!folder.empty()) CreateFolders(folder);
}

} // namespace app
