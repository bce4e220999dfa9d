// Turns a list of input files into PDF files: one for the whole list, one per image or one per
// folder, under the existing-file policy, with a typed result per row and a run log.
//
// Threads: a front end builds the driver and calls Run on its worker thread; every engine call
// and every DriverFrontEnd call is made on that thread. RequestStop may come from any thread
// (or a signal handler), also before Run has begun: Run then does nothing and reports a stop.
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
#include "app/run_settings.h"
#include "app/version.h"

namespace app {

// The parts of the settings the composer and the decorations read.
PageLayout LayoutFrom(const ConversionSettings& s);
DecorationSettings DecorationsFrom(const ConversionSettings& s);

// The built-in producer text used when the settings leave it empty.
inline constexpr const char* kDefaultProducer = kProducerText;

enum class RowStatus { kPending, kConverted, kFailed };

// The words of the list's status column and of the log: "-", "Succeed", "Failed".
const char* StatusText(RowStatus status);

struct ListRecord {
  ListRecord() = default;
  ListRecord(std::string inputPath) : path(std::move(inputPath)) {}

  std::string path;
  bool processed = false;
  RowStatus status = RowStatus::kPending;
  std::string reason; // why the row failed, e.g. "could not write /out/a.pdf"
  std::string output; // the PDF the row went into (or was meant for)
};

// What a run did. The command line's summary and exit status come from it.
struct RunResult {
  int converted = 0, failed = 0;
  int outputFailures = 0; // documents that could not be opened or written
  // A document of the merge or per-folder mode could not be created: the log's
  // "Create Failed".
  bool createFailed = false;
  std::vector<std::string> outputsWritten; // complete PDF files, in the order written
  std::string lastOutput;                  // the name used by the last document opened
  bool stopped = false;
};

// How the driver talks to the window or terminal that runs it. Every call comes from the
// worker thread that runs JobDriver::Run.
class DriverFrontEnd {
public:
  virtual ~DriverFrontEnd() = default;
  // rows: the number of rows the run will try.
  virtual void RunStarted(int rows) {}
  // Per-folder runs sort the rows first: newOrder[i] is the old index of row i.
  virtual void RowsReordered(const std::vector<int>& newOrder) {}
  virtual void SelectRow(int row) {}
  // Row `row` is being converted: the n-th of m rows this run tries.
  virtual void RowStarted(int row, const std::string& path, int n, int m) {}
  // Frame `frame` (from 0) of `frames` of the row was added.
  virtual void FrameDone(int row, int frame, int frames) {}
  // The row's final status. Exactly once for every row the run tries, once its document is
  // complete (or known to have failed).
  virtual void RowFinished(int row, const ListRecord& record) {}
  virtual void ShowOutputName(const std::string& path) {}
  // "Ask always": the name to write instead of the existing file, or nothing for Cancel.
  virtual std::optional<std::string> AskSaveName(const std::string& existing) {
    return std::nullopt;
  }
  virtual void RunFinished(const RunResult& result) {}
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

// The PDF a row goes into under the run's mode: the file list's "PDF Files" column.
std::string ExpectedOutput(const RunSettings& run, const std::string& input);

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

  // Runs every row (with resume, in per-image mode, only rows not yet processed). Rows keep
  // their statuses; the stop request is cleared at the end.
  RunResult Run(std::vector<ListRecord>& rows, bool resume);

  // Stop after the current input. Any thread, also before Run.
  void RequestStop() noexcept { stop_.store(true); }
  bool stopRequested() const { return stop_.load(); }

  const std::string& lastOutput() const { return lastOutput_; }
  // The log lines of the last run (also appended to the log file when logging is on).
  const std::string& runLog() const { return lastLog_; }
  // Rows of the last run that did not convert.
  int failures() const { return failures_; }
  const RunSettings& settings() const { return settings_; }

  // Building blocks of the document loop, shared with the folder monitor.
  OutputDocument OpenOutput(const std::string& path, ExistingFilePolicy policy,
                            const char* suffixFormat);
  // Completes the file; false when it could not be written (the target is left as it was).
  bool CloseOutput(OutputDocument& doc);
  void ApplyDocumentSettings(int handle);
  // A new document begins: image and cell counters start again.
  void BeginDocument();
  // Adds every frame of one input; returns the last frame's result (0 for no frames).
  int AddInput(int handle, const std::string& path,
               const std::function<void(int frame, int frames)>& frameDone = {});
  void FinishPartialPage(int handle);
  EngineCalls& engine() { return engine_; }

private:
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
  std::atomic<bool> stop_{false};
};

} // namespace app
