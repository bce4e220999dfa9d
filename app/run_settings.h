// What one run reads: the output choices and the conversion settings, built from the settings
// store with a front end's overrides on top. Plain data: build it on the thread that owns the
// store, then hand a copy to the worker.
#pragma once

#include <optional>
#include <string>

#include "app/conversion_settings.h"

namespace app {

class SettingsStore;

struct RunSettings {
  OutputMode mode = OutputMode::kMerge;
  std::string outPath0, outPath1, outPath2; // file; folder ending in '/'; folder ending in '/'
  ExistingFilePolicy policy = ExistingFilePolicy::kCreateNew;
  bool log = false;
  std::string logpath;
  ConversionSettings conv = DefaultConversionSettings();

  // The file or folder this mode writes to.
  const std::string& OutputForMode() const;
};

// Choices a front end makes for one run instead of the stored ones.
struct RunOverrides {
  std::optional<OutputMode> mode;
  std::optional<ExistingFilePolicy> policy;
  // Merge mode: the PDF file; other modes: the output folder ('/' is added when missing).
  std::string output;
  std::string logDir; // non-empty: logging on, into this folder
};

// Output mode and paths with the file list's default substitution, the policy, the log
// settings and every conversion setting.
RunSettings LoadRunSettings(const SettingsStore& store,
                            ProducerMode producer = ProducerMode::kInclude);

void ApplyOverrides(RunSettings& run, const RunOverrides& overrides);

// Creates the output folder of the run's mode with its missing parents, as the file list does.
void PrepareOutputFolder(const RunSettings& run);

} // namespace app
