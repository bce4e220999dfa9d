// Options shared by the command-line commands.
#pragma once

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "app/settings_store.h"

namespace cli {

struct CommonOptions {
  std::string output;            // -o
  std::string mode;              // -m
  std::string exists;            // --exists
  std::string settings;          // --settings
  std::vector<std::string> sets; // --set KEY=VALUE
  std::string logDir;            // --log
  bool quiet = false;
};

// Parses the option at argv[i]; returns the number of arguments used, 0 when it is not a
// common option, -1 after printing a usage error.
int ParseCommonOption(int argc, char** argv, int i, CommonOptions& opt);

// The settings file (--settings or the default one) with the --set values laid over it in
// memory. False with a message when the file is missing or a --set is not usable.
bool OpenSettings(const CommonOptions& opt, app::SettingsStore& store, std::string& error);

// The -m, --exists, -o and --log choices. False with a message on a bad word.
bool ParseOverrides(const CommonOptions& opt, app::RunOverrides& overrides, std::string& error);

} // namespace cli
