#include "cli_common.h"

#include <cstdio>
#include <filesystem>

#include "app/settings_keys.h"

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

bool OpenSettings(const CommonOptions& opt, app::SettingsStore& store, std::string& error) {
  std::error_code ec;
  if (!opt.settings.empty() && !fs::exists(opt.settings, ec)) {
    error = "settings file " + opt.settings + " does not exist";
    return false;
  }
  store =
      app::SettingsStore(opt.settings.empty() ? app::SettingsStore::DefaultPath() : opt.settings);
  for (const std::string& s : opt.sets) {
    app::SettingAssignment a = app::ParseSettingAssignment(s);
    if (!a.error.empty() || !a.key) {
      error = "--set " + s + ": " + (a.error.empty() ? "unknown key" : a.error);
      return false;
    }
    store.Overlay(a.key->writeName, a.value);
  }
  return true;
}

bool ParseOverrides(const CommonOptions& opt, app::RunOverrides& o, std::string& error) {
  if (!opt.mode.empty()) {
    if (opt.mode == "merge")
      o.mode = app::OutputMode::kMerge;
    else if (opt.mode == "per-image")
      o.mode = app::OutputMode::kPerImage;
    else if (opt.mode == "per-folder")
      o.mode = app::OutputMode::kPerFolder;
    else {
      error = "unknown mode " + opt.mode + " (merge, per-image or per-folder)";
      return false;
    }
  }
  if (!opt.exists.empty()) {
    if (opt.exists == "ask")
      o.policy = app::ExistingFilePolicy::kAsk;
    else if (opt.exists == "overwrite")
      o.policy = app::ExistingFilePolicy::kOverwrite;
    else if (opt.exists == "new")
      o.policy = app::ExistingFilePolicy::kCreateNew;
    else if (opt.exists == "append")
      o.policy = app::ExistingFilePolicy::kAppend;
    else {
      error = "unknown policy " + opt.exists + " (ask, overwrite, new or append)";
      return false;
    }
  }
  o.output = opt.output;
  o.logDir = opt.logDir;
  return true;
}

} // namespace cli
