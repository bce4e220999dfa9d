// Turns a list of input files into PDF files: one for the whole list, one per image or one per
// folder, under the existing-file policy, with row statuses and a run log.
#pragma once

#include <atomic>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_settings.h"
#include "app/decorations.h"
#include "app/engine_calls.h"
#include "app/page_composer.h"

namespace app {

// Everything one run reads: the output choices and the conversion settings.
struct RunSettings {
  OutputMode mode = OutputMode::kMerge;
  std::string outPath0, outPath1, outPath2; // file; folder ending in '/'; folder ending in '/'
  ExistingFilePolicy policy = ExistingFilePolicy::kCreateNew;
  bool log = false;
  std::string logpath;
  ConversionSettings conv = DefaultConversionSettings();
};

// The parts of the settings the composer and the decorations read.
PageLayout LayoutFrom(const ConversionSettings& s);
DecorationSettings DecorationsFrom(const ConversionSettings& s);

// The built-in producer text used when the settings leave it empty.
inline constexpr char kDefaultProducer[] = "Pictofold";

struct ListRecord {
  std::string path;
  bool processed = false;
  std::string status = "-"; // "-", "Succeed", "Failed"
};

// How the driver talks to the window or terminal that runs it.
class DriverFrontEnd {
public:
  virtual ~DriverFrontEnd() = default;
  virtual void SelectRow(int row) {}
  virtual void SetRowStatus(int row, const std::string& status) {}
  virtual void ShowOutputName(const std::string& path) {}
  // "Ask always": the name to write instead of the existing file, or nothing for Cancel.
  virtual std::optional<std::string> AskSaveName(const std::string& existing) {
    return std::nullopt;
  }
  // Progress per input file, for status lines.
  virtual void FileDone(int row, const std::string& path, int result) {}
};

// The run log: "%s: %s\r\n" lines kept in memory and appended to the day's log file.
class RunLog {
public:
  void Line(const std::string& tag, const std::string& value);
  void Time(std::time_t now);
  const std::string& text() const { return text_; }
  // Appends to FOLDER/YYYY_MM_DD.log when enabled; always empties the text.
  void Flush(bool enabled, const std::string& folder, std::time_t now);

private:
  std::string text_;
};

// "MyPDF.pdf" -> "MyPDF001.pdf", "MyPDF002.pdf", ... the first that does not exist.
std::string UniqueName(const std::string& path, const char* suffixFormat);

// The viewer bits of option 121.
int ViewerBits(const ConversionSettings& d);

// An output document being written. It is written under a temporary name beside the target
// and moved into place only when complete, so a failed run never damages an existing file.
struct OutputDocument {
  int handle = 0;
  std::string finalPath; // the name actually used
  std::string workPath;  // what the engine writes
};

class JobDriver {
public:
  JobDriver(EngineCalls& engine, DriverFrontEnd& frontEnd, const RunSettings& settings);

  // Clock for the log and the date macros.
  std::function<std::time_t()> clock = [] { return std::time(nullptr); };

  // Runs every row; returns false when stopped. Rows keep their statuses.
  bool Run(std::vector<ListRecord>& rows, bool resume);

  std::atomic<bool> stopRequested{false};
  const std::string& lastOutput() const { return lastOutput_; }
  // The log lines of the last run (also appended to the log file when logging is on).
  const std::string& runLog() const { return lastLog_; }
  int failures() const { return failures_; }

  // Building blocks shared with the folder monitor.
  OutputDocument OpenOutput(const std::string& path, ExistingFilePolicy policy,
                            const char* suffixFormat);
  // Completes the file; false when it could not be written (the target is left as it was).
  bool CloseOutput(OutputDocument& doc);
  void ApplyDocumentSettings(int handle);
  // Adds every frame of one input; returns the last frame's result (0 for no frames).
  int AddInput(int handle, const std::string& path);
  void FinishPartialPage(int handle);

private:
  void RunMerge(std::vector<ListRecord>& rows);
  void RunPerImage(std::vector<ListRecord>& rows, bool resume);
  void RunPerFolder(std::vector<ListRecord>& rows);
  void SetStatus(std::vector<ListRecord>& rows, int row, int result);

  EngineCalls& engine_;
  DriverFrontEnd& front_;
  RunSettings settings_;
  TextFilters filters_;
  PageComposer composer_;
  RunLog log_;
  std::string lastLog_;
  std::string lastOutput_;
  int imageCounter_ = 0;
  int failures_ = 0;
};

} // namespace app
