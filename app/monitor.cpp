#include "app/monitor.h"

#include "app/document_loop.h"
#include "app/input_collection.h"
#include "app/run_settings.h"
#include "app/settings_store.h"
#include "platform/files.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace app {

namespace {

constexpr int kMaxFreeNameTries = 100000;

std::string WithSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

using platform::MoveNoReplace;
using platform::MoveResult;

} // namespace

int ParseInterval(const std::string& text) {
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 999) return 999;
  }
  return value;
}

MonitorSettings LoadMonitorSettings(const SettingsStore& store, const MonitorSettings& defaults) {
  MonitorSettings m = defaults;
  IniDocument doc = store.Snapshot();
  auto flag = [&doc](const char* key, bool fallback) {
    return SettingsStore::ReadInt(doc, key, fallback ? 1 : 0) == 1;
  };
  m.input = SettingsStore::ReadText(doc, "input", defaults.input);
  m.subdir = flag("subdir", defaults.subdir);
  m.delSuccess = flag("del_success", defaults.delSuccess);
  m.keepsub = flag("keepsub", defaults.keepsub);
  m.runsec = flag("runsec", defaults.runsec);
  m.intervalSeconds = ParseInterval(SettingsStore::ReadText(
      doc, "second", std::to_string(defaults.intervalSeconds), kShortTextCapacity));
  m.run = LoadRunSettings(store, ProducerMode::kExclude);
  return m;
}

std::string CheckMonitorSettings(const MonitorSettings& s) {
  struct stat st;
  if (s.input.empty() || stat(s.input.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      access(s.input.c_str(), R_OK | X_OK) != 0)
    return kNoFolderMessage;
  const std::string& out = s.run.mode == OutputMode::kPerImage    ? s.run.outPath1
                           : s.run.mode == OutputMode::kPerFolder ? s.run.outPath2
                                                                  : s.run.outPath0;
  if (out.empty()) return kNoOutputMessage;
  return "";
}

std::string MoveToFreeName(const std::string& from, const std::string& folder) {
  std::string dir = WithSlash(folder);
  std::string name = NameOf(from);
  size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  for (int k = 0; k < kMaxFreeNameTries; ++k) {
    std::string candidate = dir + (k == 0 ? name : stem + "(" + std::to_string(k) + ")" + ext);
    switch (MoveNoReplace(from, candidate)) {
    case MoveResult::kMoved:
      return candidate;
    case MoveResult::kTaken:
      continue;
    case MoveResult::kError:
      return "";
    }
  }
  return "";
}

FolderMonitor::FolderMonitor(EngineCalls& engine, MonitorFrontEnd& frontEnd,
                             const MonitorSettings& settings)
    : engine_(engine), front_(frontEnd), settings_(settings), input_(WithSlash(settings.input)) {
  settings_.intervalSeconds = std::clamp(settings_.intervalSeconds, 0, 999);
  UpdateRunSettings(settings.run);
}

void FolderMonitor::UpdateRunSettings(const RunSettings& run) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  pendingRun_ = run;
  pendingRun_.conv.producer.clear();
  pendingRun_.outPath1 = WithSlash(run.outPath1);
  pendingRun_.outPath2 = WithSlash(run.outPath2);
  pendingRun_.policy = settings_.run.policy; // fixed when monitoring started
}

RunSettings FolderMonitor::Snapshot() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return pendingRun_;
}

void FolderMonitor::Stop() {
  {
    std::lock_guard<std::mutex> lock(waitMutex_);
    stopRequested_.store(true);
  }
  wake_.notify_all();
}

void FolderMonitor::Wait(std::chrono::seconds d) {
  if (sleeper) {
    sleeper(d);
    return;
  }
  std::unique_lock<std::mutex> lock(waitMutex_);
  wake_.wait_for(lock, d, [this] { return stopRequested_.load(); });
}

std::time_t FolderMonitor::LogTime() const {
  return std::chrono::system_clock::to_time_t(clock());
}

MonitorResult FolderMonitor::Run() {
  MonitorResult result;
  lastLook_.clear();
  unsettled_.clear();
  lastOutput_.clear();
  int firstPass = passes_;
  int firstConverted = converted_, firstFailed = failed_;
  if (settings_.runsec) {
    while (!stopRequested_) {
      RunOnce();
      for (int i = 0; i < settings_.intervalSeconds && !stopRequested_; ++i)
        Wait(std::chrono::seconds(1));
    }
  } else if (!stopRequested_) {
    RunOnce();
  }
  RunSettings run = Snapshot();
  result.passes = passes_ - firstPass;
  result.converted = converted_ - firstConverted;
  result.failed = failed_ - firstFailed;
  result.stopped = stopRequested_;
  result.afterActionDue = !settings_.runsec && !result.stopped;
  result.outputLocation = run.mode == OutputMode::kPerImage    ? run.outPath1
                          : run.mode == OutputMode::kPerFolder ? run.outPath2
                          : lastOutput_.empty()                ? run.outPath0
                                                               : lastOutput_;
  result.log = log_.text();
  log_.Flush(run.log, run.logpath, LogTime());
  if (result.stopped) front_.ShowState("");
  stopRequested_ = false;
  return result;
}

bool FolderMonitor::IsSettling(const Fingerprint& f) const {
  auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(clock().time_since_epoch());
  std::int64_t age = now.count() - f.mtimeNs;
  std::int64_t settle = std::chrono::nanoseconds(kSettleTime).count();
  // A time slightly ahead of ours is as fresh as one just behind it.
  return age < settle && age > -settle;
}

void FolderMonitor::Scan(bool createSpecial, std::vector<Work>& work,
                         std::map<std::string, Fingerprint>& look, PassSummary& summary) {
  FolderWalk walk;
  walk.recursive = settings_.subdir;
  walk.skipFolder = [](const std::string& name) {
    return strcasecmp(name.c_str(), kConvertedFolder) == 0 ||
           strcasecmp(name.c_str(), kFailedFolder) == 0;
  };
  readiness_.clock = [this] {
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            clock().time_since_epoch()));
  };
  readiness_.wallClock = [this] { return clock(); };
  readiness_.NewPass();
  walk.onFolder = [this, createSpecial](const std::string& folder) {
    if (createSpecial) {
      mkdir((folder + kConvertedFolder).c_str(), 0777);
      mkdir((folder + kFailedFolder).c_str(), 0777);
    }
    if (!readiness_.watching(folder)) readiness_.Watch(folder);
  };
  WalkFolder(input_, walk, [&](const std::string& path, const struct stat& st) {
    if (!settings_.types.IsSupported(path)) return;
    Fingerprint f{static_cast<std::int64_t>(st.st_size),
                  static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    look[path] = f;
    auto unsettled = unsettled_.find(path);
    if (unsettled != unsettled_.end()) {
      if (unsettled->second.seen == f) return; // only its move is still due
      unsettled_.erase(unsettled);
    }
    auto previous = lastLook_.find(path);
    // A writer that pauses, or one that still holds the file open, is not done with it.
    if (IsSettling(f) || (previous != lastLook_.end() && !(previous->second == f)) ||
        readiness_.Check(path) != platform::Readiness::kReady) {
      ++summary.waiting;
      front_.FileWaiting(path);
      return;
    }
    work.push_back({path, f});
  });
}

void FolderMonitor::RetryUnsettled(const std::map<std::string, Fingerprint>& look) {
  for (auto it = unsettled_.begin(); it != unsettled_.end();) {
    if (look.find(it->first) == look.end()) {
      it = unsettled_.erase(it); // gone, or no longer as it was
      continue;
    }
    FileReport report;
    report.path = it->first;
    report.outcome = it->second.converted ? FileOutcome::kConverted : FileOutcome::kFailed;
    report.disposition = Dispose(it->first, it->second.converted, report.movedTo);
    if (report.disposition == Disposition::kMoveFailed) {
      ++it;
      continue;
    }
    front_.FileFinished(report);
    it = unsettled_.erase(it);
  }
}

bool FolderMonitor::RunOnce() {
  PassSummary summary;
  summary.pass = ++passes_;
  RunSettings run = Snapshot();

  std::vector<Work> work;
  std::map<std::string, Fingerprint> look;
  Scan(settings_.runsec, work, look, summary);
  RetryUnsettled(look);
  lastLook_ = std::move(look);
  summary.found = static_cast<int>(work.size());

  if (work.empty()) {
    front_.ShowState(std::string("Current: ") +
                     (summary.waiting > 0 ? kWaitingMessage : kEmptyScanMessage));
  } else {
    if (run.mode == OutputMode::kPerFolder)
      std::stable_sort(work.begin(), work.end(),
                       [](const Work& a, const Work& b) { return a.path < b.path; });
    std::vector<std::string> paths;
    for (const Work& w : work)
      paths.push_back(w.path);
    front_.WorkList(paths);
    Process(run, work, summary);
  }
  summary.stopped = stopRequested_;
  converted_ += summary.converted;
  failed_ += summary.failed;
  front_.PassFinished(summary);
  return !stopRequested_;
}

bool FolderMonitor::StillAsScanned(const Work& w) const {
  struct stat st;
  if (stat(w.path.c_str(), &st) != 0) return false;
  Fingerprint now{static_cast<std::int64_t>(st.st_size),
                  static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  return now == w.seen;
}

bool FolderMonitor::Ready(const Work& w, PassSummary& summary) {
  if (StillAsScanned(w)) return true;
  struct stat st;
  if (stat(w.path.c_str(), &st) == 0) {
    // Written to since the scan: its turn comes once it stays as it is.
    ++summary.waiting;
    front_.FileWaiting(w.path);
  }
  return false;
}

Disposition FolderMonitor::Dispose(const std::string& path, bool converted, std::string& movedTo) {
  if (converted && settings_.delSuccess)
    return unlink(path.c_str()) == 0 ? Disposition::kDeleted : Disposition::kMoveFailed;
  if (!settings_.runsec) return Disposition::kLeft;
  movedTo = MoveToFreeName(path, FolderOf(path) + (converted ? kConvertedFolder : kFailedFolder));
  return movedTo.empty() ? Disposition::kMoveFailed : Disposition::kMoved;
}

void FolderMonitor::Settle(const Pending& p, bool documentComplete, const std::string& output,
                           PassSummary& summary, const std::string& reason) {
  FileReport report;
  report.path = p.work.path;
  report.output = output;
  bool converted = p.result > 0;
  if (!converted || !documentComplete) {
    // Asked before the file is moved away.
    report.reason = !reason.empty()     ? reason
                    : !documentComplete ? "could not write " + output
                                        : engine_.FailureReason(p.work.path, p.result);
    if (report.reason.empty()) report.reason = "could not be converted";
  }
  if (!documentComplete) {
    // Nothing of it reached a finished file: keep the source for a later pass.
    report.outcome = FileOutcome::kOutputFailed;
    ++summary.failed;
  } else {
    report.outcome = converted ? FileOutcome::kConverted : FileOutcome::kFailed;
    ++(converted ? summary.converted : summary.failed);
    if (!StillAsScanned(p.work)) {
      // Another program wrote to it meanwhile; what was read may be incomplete.
      report.disposition = Disposition::kChangedLeft;
    } else {
      report.disposition = Dispose(p.work.path, converted, report.movedTo);
      if (report.disposition == Disposition::kMoveFailed)
        unsettled_[p.work.path] = {p.work.seen, converted};
    }
  }
  front_.FileFinished(report);
}

std::string FolderMonitor::PerImageFolder(const RunSettings& run, const std::string& path) const {
  if (!settings_.keepsub) return run.outPath1;
  std::string folder = FolderOf(path);
  // The part below the watched folder is mirrored under the output folder.
  if (folder.compare(0, input_.size(), input_) != 0) return run.outPath1;
  return run.outPath1 + folder.substr(input_.size());
}

namespace {

// The driver for one document: the latest conversion settings with the pass's mode and paths.
std::unique_ptr<JobDriver> DocumentDriver(EngineCalls& engine, DriverFrontEnd& front,
                                          RunSettings latest, const RunSettings& pass) {
  latest.mode = pass.mode;
  latest.outPath0 = pass.outPath0;
  latest.outPath1 = pass.outPath1;
  latest.outPath2 = pass.outPath2;
  return std::make_unique<JobDriver>(engine, front, latest);
}

constexpr DocumentLoopStyle kMonitorStyle{"(NEW%03d)",        "Failed",           "Failed",
                                          kCreateFailedState, kCreateFailedState, true};

} // namespace

// The monitor's side of the document loop: readiness, the state line and what happens to
// each source file.
class FolderMonitor::Host : public DocumentLoopHost {
public:
  Host(FolderMonitor& m, const RunSettings& run, std::vector<Work>& work, PassSummary& summary)
      : m_(m), run_(run), work_(work), summary_(summary) {}

  bool StopRequested() const override { return m_.stopRequested_; }

  bool BeginInput(size_t index) override {
    if (!m_.Ready(work_[index], summary_)) return false;
    m_.front_.ShowState("Current: " + work_[index].path);
    return true;
  }

  std::string PerImageFolder(size_t index) override {
    return m_.PerImageFolder(run_, work_[index].path);
  }

  JobDriver& DriverForDocument() override {
    m_.activeDriver_.store(nullptr);
    driver_ = DocumentDriver(m_.engine_, m_.front_, m_.Snapshot(), run_);
    m_.activeDriver_.store(driver_.get());
    if (m_.abortRequested_) driver_->RequestAbort();
    return *driver_;
  }
  ~Host() override { m_.activeDriver_.store(nullptr); }

  void DocumentOpened(const OutputDocument& doc) override {
    m_.lastOutput_ = doc.finalPath;
    if (run_.mode == OutputMode::kMerge) m_.front_.ShowOutputName(doc.finalPath);
  }

  void Settle(const InputOutcome& o) override {
    const Work& w = work_[o.index];
    // Aborted: nothing of it reached a file, and it stays where it is.
    if (o.fault == DocumentFault::kAborted) return;
    if (o.fault != DocumentFault::kNotOpened) {
      m_.Settle({w, o.result}, o.fault == DocumentFault::kNone, o.output, summary_);
      return;
    }
    if (run_.mode == OutputMode::kPerImage) {
      // A file whose own document cannot be opened counts as not converted.
      m_.Settle({w, 0}, true, "", summary_, "could not write " + o.output);
      return;
    }
    FileReport report{w.path, FileOutcome::kOutputFailed,   Disposition::kLeft, "",
                      "",     "could not write " + o.output};
    if (run_.mode == OutputMode::kPerFolder && o.openedHere) {
      report.outcome = FileOutcome::kFailed;
      std::string failed = FolderOf(w.path) + kFailedFolder;
      struct stat st;
      if (stat(failed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        report.movedTo = MoveToFreeName(w.path, failed);
        report.disposition =
            report.movedTo.empty() ? Disposition::kMoveFailed : Disposition::kMoved;
      }
    }
    // Otherwise the file stays where it is for a later pass.
    ++summary_.failed;
    m_.front_.FileFinished(report);
  }

private:
  FolderMonitor& m_;
  const RunSettings& run_;
  std::vector<Work>& work_;
  PassSummary& summary_;
  std::unique_ptr<JobDriver> driver_;
};

void FolderMonitor::Process(const RunSettings& run, std::vector<Work>& work, PassSummary& summary) {
  std::vector<std::string> inputs;
  for (const Work& w : work)
    inputs.push_back(w.path);
  Host host(*this, run, work, summary);
  RunDocumentLoop(run, inputs, host, log_, kMonitorStyle, [this] { return LogTime(); });
}

} // namespace app
