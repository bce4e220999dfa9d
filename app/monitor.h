// The hot-folder monitor: scans one folder (once or at an interval), converts the supported
// image files it finds with the job driver's building blocks, and then deletes each converted
// file or moves it to "_converted", and moves files that failed to "_failed".
// No window code: the Qt monitor page and `pictofold watch` both drive it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/decorations.h"
#include "app/engine_calls.h"
#include "app/job_driver.h"
#include "app/supported_types.h"
#include "platform/file_readiness.h"

namespace app {

inline constexpr char kConvertedFolder[] = "_converted";
inline constexpr char kFailedFolder[] = "_failed";
inline constexpr char kNoFolderMessage[] = "You must select a folder for monitoring.";
inline constexpr char kNoOutputMessage[] = "You must select an output location for monitoring.";
inline constexpr char kEmptyScanMessage[] = "Please add more supported files to the folder!";
inline constexpr char kWaitingMessage[] = "Waiting for files that are still being written";

struct MonitorSettings {
  std::string input; // the watched folder
  bool subdir = false;
  bool delSuccess = false; // del_success
  bool keepsub = false;    // per-image mode: mirror sub-folders under outPath1
  bool runsec = false;     // scan repeatedly instead of once
  int intervalSeconds = 5; // from `second`, see ParseInterval
  // Output mode, output paths, policy, log and the per-document settings. Its producer is
  // ignored: monitor documents always carry the built-in producer.
  RunSettings run;
  // What the scan takes; front ends pass the list that knows whether the plug-in is loaded.
  SupportedTypes types{true};
};

class SettingsStore;

// The monitor keys (input, subdir, del_success, keepsub, runsec, second) and the run
// settings without the producer, as the monitor page reads them. A key missing from the
// file keeps the value of `defaults`.
MonitorSettings LoadMonitorSettings(const SettingsStore& store,
                                    const MonitorSettings& defaults = MonitorSettings());

// The interval field read as a number: leading digits, 0 for none, at most 999.
int ParseInterval(const std::string& text);

// Empty when monitoring can start, otherwise the message to show.
std::string CheckMonitorSettings(const MonitorSettings& s);

enum class FileOutcome {
  kConverted,    // all frames went into a complete output document
  kFailed,       // the file could not be converted (or its document not opened)
  kOutputFailed, // the document could not be completed; the file stays for a later pass
};

enum class Disposition {
  kLeft,        // stays where it is (single pass, or output failure)
  kDeleted,     // del_success
  kMoved,       // into _converted or _failed: see FileReport::movedTo
  kMoveFailed,  // could not be moved or deleted; untouched, retried by later passes
  kChangedLeft, // it changed while being converted; left for a later pass
};

struct FileReport {
  std::string path;
  FileOutcome outcome = FileOutcome::kFailed;
  Disposition disposition = Disposition::kLeft;
  std::string movedTo; // the new path for kMoved
  std::string output;  // the PDF it was written into, when its document was opened
  std::string reason;  // why it was not converted, e.g. "could not write /out/a.pdf"
};

struct PassSummary {
  int pass = 0; // from 1
  int found = 0, converted = 0, failed = 0, waiting = 0;
  bool stopped = false;
};

// How the monitor talks to the page or terminal that runs it. Called on the worker thread.
// The driver's AskSaveName answers the "Ask always" policy.
class MonitorFrontEnd : public DriverFrontEnd {
public:
  // "Current: %s" with the file being converted or the empty-scan message; "" clears.
  virtual void ShowState(const std::string& text) {}
  // The files a scan will convert, in processing order.
  virtual void WorkList(const std::vector<std::string>& files) {}
  // A file being written by another program; it waits for a later pass.
  virtual void FileWaiting(const std::string& path) {}
  // The outcome of one file and what was done with it.
  virtual void FileFinished(const FileReport& report) {}
  virtual void PassFinished(const PassSummary& summary) {}
};

struct MonitorResult {
  int passes = 0;
  bool stopped = false;
  int converted = 0, failed = 0;
  // Single pass that was not stopped: the after-conversion action is due.
  bool afterActionDue = false;
  // Where the output went: the last merge file, or the per-image or per-folder folder.
  std::string outputLocation;
  std::string log; // the lines of this monitoring period
};

// Threads: Run and RunOnce belong to one worker thread, which makes every engine and
// front-end call; Stop, RequestStop and UpdateRunSettings may come from any thread, also
// before Run: a stop requested before Run is honoured and no pass runs.
class FolderMonitor {
public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  // Waits for the given time; it may return early (Stop wakes the built-in one).
  using Sleeper = std::function<void(std::chrono::seconds)>;

  FolderMonitor(EngineCalls& engine, MonitorFrontEnd& frontEnd, const MonitorSettings& settings);

  // "Now" for the log and for judging whether a file is still being written.
  Clock clock = [] { return std::chrono::system_clock::now(); };
  // Replaces the built-in interruptible wait (tests).
  Sleeper sleeper;

  // A single pass, or passes at the interval until Stop when runsec is set. The log is
  // written to the day's log file at the end; the stop request is cleared.
  MonitorResult Run();
  // One scan and conversion of what it found; false when stopped.
  bool RunOnce();

  // Stop after the current file; wakes the interval wait. Any thread.
  void Stop();
  // Only sets the flag (safe in a signal handler); the wait notices within a second.
  void RequestStop() noexcept { stopRequested_.store(true); }
  bool stopRequested() const { return stopRequested_.load(); }
  // Stop at once: the document in progress is dropped and its files stay where they are.
  // Any thread or a signal handler.
  void RequestAbort() noexcept {
    abortRequested_.store(true);
    stopRequested_.store(true);
    if (JobDriver* d = activeDriver_.load()) d->RequestAbort();
  }
  bool abortRequested() const { return abortRequested_.load(); }

  // New conversion settings from the settings sheet, for documents opened from now on.
  // The watched folder, the scan flags and the policy stay those of the start.
  void UpdateRunSettings(const RunSettings& run);

  int passes() const { return passes_; }
  const std::string& log() const { return log_.text(); }

  // Files younger than this, or changed since the previous look, wait for a later pass.
  static constexpr std::chrono::seconds kSettleTime{2};

private:
  struct Fingerprint {
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    bool operator==(const Fingerprint&) const = default;
  };
  struct Work {
    std::string path;
    Fingerprint seen;
  };
  // One file's result inside an open document, settled once the document is complete.
  struct Pending {
    Work work;
    int result = 0;
  };

  RunSettings Snapshot() const;
  void Scan(bool createSpecial, std::vector<Work>& work, std::map<std::string, Fingerprint>& look,
            PassSummary& summary);
  class Host;
  bool IsSettling(const Fingerprint& f) const;
  void RetryUnsettled(const std::map<std::string, Fingerprint>& look);

  void Process(const RunSettings& run, std::vector<Work>& work, PassSummary& summary);
  // False when the file changed since the scan (it is then left for a later pass).
  bool StillAsScanned(const Work& w) const;
  // StillAsScanned, reporting a file that changed as waiting (a vanished one silently).
  bool Ready(const Work& w, PassSummary& summary);
  // reason: why the file failed when the input itself is not to blame ("" asks the engine).
  void Settle(const Pending& p, bool documentComplete, const std::string& output,
              PassSummary& summary, const std::string& reason = "");
  Disposition Dispose(const std::string& path, bool converted, std::string& movedTo);
  std::string PerImageFolder(const RunSettings& run, const std::string& path) const;
  void Wait(std::chrono::seconds d);
  std::time_t LogTime() const;

  EngineCalls& engine_;
  MonitorFrontEnd& front_;
  MonitorSettings settings_;
  std::string input_; // the watched folder, ending in '/'
  // Whether a file is complete: closed after writing, held open by no writer, or quiet.
  platform::FileReadiness readiness_;

  mutable std::mutex settingsMutex_;
  RunSettings pendingRun_;

  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> abortRequested_{false};
  std::atomic<JobDriver*> activeDriver_{nullptr}; // the driver of the document in progress
  std::mutex waitMutex_;
  std::condition_variable wake_;

  RunLog log_;
  int passes_ = 0;
  int converted_ = 0, failed_ = 0; // over the passes of all runs
  std::string lastOutput_;
  // Size and time of every supported file at the previous look.
  std::map<std::string, Fingerprint> lastLook_;
  // Files whose outcome is known but which could not be moved or deleted yet.
  struct Unsettled {
    Fingerprint seen;
    bool converted = false;
  };
  std::map<std::string, Unsettled> unsettled_;
};

// Moves `from` into `folder` under its own name, or under "name(1).ext", "name(2).ext", ...
// when that name is taken; never replaces an existing file. Returns the new path or "".
std::string MoveToFreeName(const std::string& from, const std::string& folder);

} // namespace app
