#include "cli_common.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/conversion_settings.h"
#include "app/output_paths.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "converter/loader.h"
#include "engine/sniff.h"

namespace fs = std::filesystem;

namespace cli {

int ParseCommonOption(int argc, char** argv, int i, CommonOptions& opt) {
  std::string a = argv[i];
  auto value = [&](std::string& out) -> int {
    if (i + 1 >= argc) {
      std::fprintf(stderr, "pictofold: %s needs a value\n", a.c_str());
      return -1;
    }
    out = argv[i + 1];
    return 2;
  };
  if (a == "-o" || a == "--output") return value(opt.output);
  if (a == "-m" || a == "--mode") return value(opt.mode);
  if (a == "--exists") return value(opt.exists);
  if (a == "--settings") return value(opt.settings);
  if (a == "--log") return value(opt.logDir);
  if (a == "--set") {
    std::string s;
    int used = value(s);
    if (used > 0) opt.sets.push_back(s);
    return used;
  }
  if (a == "-q" || a == "--quiet") {
    opt.quiet = true;
    return 1;
  }
  return 0;
}

namespace {

// The settings to read: a private copy of the settings file with the --set values written
// into it, so every key can be overridden without touching the user's file.
class SettingsOverlay {
public:
  explicit SettingsOverlay(const std::string& source) {
    char tmpl[] = "/tmp/pictofold-settings-XXXXXX";
    const char* dir = std::getenv("TMPDIR");
    std::string t = std::string(dir && *dir ? dir : "/tmp") + "/pictofold-settings-XXXXXX";
    int fd = mkstemp(t.data());
    (void)tmpl;
    if (fd >= 0) close(fd);
    path_ = t;
    std::error_code ec;
    if (fs::exists(source, ec))
      fs::copy_file(source, path_, fs::copy_options::overwrite_existing, ec);
  }
  ~SettingsOverlay() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

private:
  std::string path_;
};

bool EndsWithSlash(const std::string& s) {
  return !s.empty() && s.back() == '/';
}

} // namespace

bool BuildRunSettings(const CommonOptions& opt, app::RunSettings& run, std::string& error) {
  std::string source = opt.settings.empty() ? app::SettingsStore::DefaultPath() : opt.settings;
  std::error_code ec;
  if (!opt.settings.empty() && !fs::exists(opt.settings, ec)) {
    error = "settings file " + opt.settings + " does not exist";
    return false;
  }
  SettingsOverlay overlay(source);
  app::SettingsStore store(overlay.path());
  for (const std::string& s : opt.sets) {
    app::SettingAssignment a = app::ParseSettingAssignment(s);
    if (!a.error.empty() || !a.key) {
      error = "--set " + s + ": " + (a.error.empty() ? "unknown key" : a.error);
      return false;
    }
    store.WriteText(a.key->writeName, a.value);
  }
  run.conv = app::LoadConversionSettings(store);
  app::OutputPaths paths = app::LoadOutputPaths(store);
  run.mode = paths.mode;
  run.outPath0 = paths.mergeFile;
  run.outPath1 = paths.perImageFolder;
  run.outPath2 = paths.perFolderFolder;
  run.policy = app::ReadExistingFilePolicy(store);
  run.log = store.ReadInt("log", 0) == 1;
  run.logpath = store.ReadText("logpath", "");

  if (!opt.mode.empty()) {
    if (opt.mode == "merge")
      run.mode = app::OutputMode::kMerge;
    else if (opt.mode == "per-image")
      run.mode = app::OutputMode::kPerImage;
    else if (opt.mode == "per-folder")
      run.mode = app::OutputMode::kPerFolder;
    else {
      error = "unknown mode " + opt.mode + " (merge, per-image or per-folder)";
      return false;
    }
  }
  if (!opt.exists.empty()) {
    if (opt.exists == "ask")
      run.policy = app::ExistingFilePolicy::kAsk;
    else if (opt.exists == "overwrite")
      run.policy = app::ExistingFilePolicy::kOverwrite;
    else if (opt.exists == "new")
      run.policy = app::ExistingFilePolicy::kCreateNew;
    else if (opt.exists == "append")
      run.policy = app::ExistingFilePolicy::kAppend;
    else {
      error = "unknown policy " + opt.exists + " (ask, overwrite, new or append)";
      return false;
    }
  }
  if (!opt.output.empty()) {
    if (run.mode == app::OutputMode::kMerge) {
      run.outPath0 = opt.output;
    } else {
      std::string folder = EndsWithSlash(opt.output) ? opt.output : opt.output + "/";
      run.outPath1 = run.outPath2 = folder;
    }
  }
  if (!opt.logDir.empty()) {
    run.log = true;
    run.logpath = opt.logDir;
  }
  // The output folder of the chosen mode is created, as the file list does.
  std::string folder = run.mode == app::OutputMode::kMerge
                           ? fs::path(run.outPath0).parent_path().string()
                           : (run.mode == app::OutputMode::kPerImage ? run.outPath1 : run.outPath2);
  if (!folder.empty()) app::CreateFolders(folder);
  return true;
}

const char* TypeName(int type) {
  switch (type) {
  case 1:
    return "BMP";
  case 2:
    return "GIF";
  case 3:
    return "JPEG";
  case 4:
    return "PNG";
  case 5:
    return "ICO";
  case 6:
    return "TIFF";
  case 7:
    return "TGA";
  case 8:
    return "PCX";
  case 9:
    return "WBMP";
  case 10:
    return "WMF/EMF";
  case 11:
    return "JPEG 2000";
  case 12:
    return "JPEG 2000 code stream";
  case 13:
    return "PGX";
  case 14:
    return "PNM";
  case 15:
    return "Sun raster";
  case 18:
    return "SKA";
  case 19:
    return "camera raw";
  case 20:
    return "PSD";
  default:
    return "unknown";
  }
}

std::string FailureReason(const std::string& path, int result) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return "no such file";
  if (fs::is_directory(path, ec)) return "is a folder";
  std::ifstream probe(path, std::ios::binary);
  if (!probe) return "cannot be read";
  int type = engine::SniffImageType(path.c_str());
  bool converterRoute =
      type == engine::kTypeGif || type == engine::kTypePsd || type == engine::kTypeUnknown;
  if (converterRoute && !ConverterLoaded()) {
    if (type == engine::kTypeUnknown && fs::path(path).extension() != ".webp")
      return "not a recognised image";
    return "needs the converter plug-in, which is not installed";
  }
  if (type == engine::kTypeUnknown) return "not a recognised image";
  if (result < 0) return "the frame range or the converter could not be honoured";
  return std::string("this ") + TypeName(type) + " file could not be converted";
}

} // namespace cli
