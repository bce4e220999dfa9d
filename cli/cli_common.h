// Options and settings shared by the command-line commands.
#pragma once

#include <string>
#include <vector>

#include "app/job_driver.h"

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

// Settings file, then --set, then the explicit options. False with a message on bad values.
bool BuildRunSettings(const CommonOptions& opt, app::RunSettings& run, std::string& error);

// What to tell the user about an input that was not converted.
std::string FailureReason(const std::string& path, int result);

const char* TypeName(int type);

} // namespace cli
