#include "app/monitor.h"

#include <dirent.h>
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

constexpr int kMaxScanDepth = 64;
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

// Name of the folder that holds the file, as the per-folder document is named.
std::string HoldingFolderName(const std::string& path) {
  std::string name = fs::path(path).parent_path().filename().string();
  return name.empty() ? "root" : name; // a file directly in "/"
}

void MakeFolders(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  fs::create_directories(folder, ec);
}

enum class MoveResult { kMoved, kTaken, kError };

// Renames without ever replacing an existing target.
MoveResult MoveNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return MoveResult::kMoved;
  if (errno == EEXIST) return MoveResult::kTaken;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return MoveResult::kError;
  // The file system cannot rename without replacing: a new link fails on a taken name.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) == 0) return MoveResult::kMoved;
    unlink(to.c_str());
    return MoveResult::kError;
  }
  if (errno == EEXIST) return MoveResult::kTaken;
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return MoveResult::kError;
  // No hard links either (FAT and the like): look first, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return MoveResult::kTaken;
  if (errno != ENOENT) return MoveResult::kError;
  return rename(from.c_str(), to.c_str()) == 0 ? MoveResult::kMoved : MoveResult::kError;
}

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

bool IsSupportedFile(const std::string& name) {
  std::string file = NameOf(name);
  size_t dot = file.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = file.substr(dot);
  for (const char* supported : {".jpg", ".jpeg", ".bmp", ".jp2", ".jpc"})
    if (strcasecmp(ext.c_str(), supported) == 0) return true;
  return false;
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
  if (settings_.runsec) {
    while (!stopRequested_) {
      RunOnce();
      for (int i = 0; i < settings_.intervalSeconds && !stopRequested_; ++i)
        Wait(std::chrono::seconds(1));
    }
  } else {
    RunOnce();
  }
  RunSettings run = Snapshot();
  result.passes = passes_ - firstPass;
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

void FolderMonitor::Scan(const std::string& folder, bool createSpecial, std::vector<Work>& work,
                         std::map<std::string, Fingerprint>& look, PassSummary& summary,
                         int depth) {
  if (depth > kMaxScanDepth) return;
  if (createSpecial) {
    mkdir((folder + kConvertedFolder).c_str(), 0777);
    mkdir((folder + kFailedFolder).c_str(), 0777);
  }
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  // Name order, so runs do not depend on the order the file system keeps.
  std::sort(names.begin(), names.end());

  std::vector<std::string> subfolders;
  for (const std::string& name : names) {
    std::string path = folder + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      // Linked folders are not followed: they may lead out of the watched folder.
      if (strcasecmp(name.c_str(), kConvertedFolder) != 0 &&
          strcasecmp(name.c_str(), kFailedFolder) != 0)
        subfolders.push_back(path + "/");
      continue;
    }
    if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0) continue;
    if (!S_ISREG(st.st_mode) || !IsSupportedFile(name)) continue;

    Fingerprint f{static_cast<std::int64_t>(st.st_size),
                  static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    look[path] = f;
    auto unsettled = unsettled_.find(path);
    if (unsettled != unsettled_.end()) {
      if (unsettled->second.seen == f) continue; // only its move is still due
      unsettled_.erase(unsettled);
    }
    auto previous = lastLook_.find(path);
    if (IsSettling(f) || (previous != lastLook_.end() && !(previous->second == f))) {
      ++summary.waiting;
      front_.FileWaiting(path);
      continue;
    }
    work.push_back({path, f});
  }
  if (!settings_.subdir) return;
  for (const std::string& sub : subfolders)
    Scan(sub, createSpecial, work, look, summary, depth + 1);
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
  Scan(input_, settings_.runsec, work, look, summary, 0);
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
    switch (run.mode) {
    case OutputMode::kPerImage:
      ProcessPerImage(run, work, summary);
      break;
    case OutputMode::kPerFolder:
      ProcessPerFolder(run, work, summary);
      break;
    default:
      ProcessMerge(run, work, summary);
      break;
    }
  }
  summary.stopped = stopRequested_;
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
                           PassSummary& summary) {
  FileReport report;
  report.path = p.work.path;
  report.output = output;
  bool converted = p.result > 0;
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

constexpr char kSuffix[] = "(NEW%03d)";

} // namespace

void FolderMonitor::ProcessMerge(const RunSettings& run, std::vector<Work>& work,
                                 PassSummary& summary) {
  log_.Time(LogTime());
  auto driver = DocumentDriver(engine_, front_, Snapshot(), run);
  MakeFolders(FolderOf(run.outPath0));
  OutputDocument doc = driver->OpenOutput(run.outPath0, run.policy, kSuffix);
  log_.Line("[Output]", run.outPath0);
  if (doc.handle <= 0) {
    // The files stay where they are for the next pass.
    log_.Line("[State]", "Failed");
    for (const Work& w : work) {
      FileReport report{w.path, FileOutcome::kOutputFailed, Disposition::kLeft, "", ""};
      front_.FileFinished(report);
    }
    summary.failed += static_cast<int>(work.size());
    return;
  }
  lastOutput_ = doc.finalPath;
  front_.ShowOutputName(doc.finalPath);
  driver->ApplyDocumentSettings(doc.handle);
  std::vector<Pending> pending;
  for (const Work& w : work) {
    if (stopRequested_) break;
    if (!Ready(w, summary)) continue;
    log_.Line("[Input]", w.path);
    front_.ShowState("Current: " + w.path);
    int result = driver->AddInput(doc.handle, w.path);
    log_.Line("[State]", result > 0 ? "Succeed" : "Failed");
    pending.push_back({w, result});
  }
  driver->FinishPartialPage(doc.handle);
  bool complete = driver->CloseOutput(doc);
  if (!complete) log_.Line("[State]", "Create Failed");
  for (const Pending& p : pending)
    Settle(p, complete, doc.finalPath, summary);
}

void FolderMonitor::ProcessPerImage(const RunSettings& run, std::vector<Work>& work,
                                    PassSummary& summary) {
  for (const Work& w : work) {
    if (stopRequested_) break;
    if (!Ready(w, summary)) continue;
    log_.Time(LogTime());
    log_.Line("[Input]", w.path);
    front_.ShowState("Current: " + w.path);
    std::string folder = PerImageFolder(run, w.path);
    MakeFolders(folder);
    std::string name = folder + fs::path(w.path).stem().string() + ".pdf";
    log_.Line("[Output]", name);
    auto driver = DocumentDriver(engine_, front_, Snapshot(), run);
    OutputDocument doc = driver->OpenOutput(name, run.policy, kSuffix);
    if (doc.handle <= 0) {
      log_.Line("[State]", "Failed");
      Settle({w, 0}, true, "", summary);
      continue;
    }
    lastOutput_ = doc.finalPath;
    driver->ApplyDocumentSettings(doc.handle);
    int result = driver->AddInput(doc.handle, w.path);
    driver->FinishPartialPage(doc.handle);
    bool complete = driver->CloseOutput(doc);
    log_.Line("[State]", !complete ? "Create Failed" : result > 0 ? "Succeed" : "Failed");
    Settle({w, result}, complete, doc.finalPath, summary);
  }
}

void FolderMonitor::ProcessPerFolder(const RunSettings& run, std::vector<Work>& work,
                                     PassSummary& summary) {
  std::unique_ptr<JobDriver> driver;
  OutputDocument doc;
  std::vector<Pending> pending;
  std::string previous;
  bool first = true;
  auto closeDocument = [&]() {
    if (doc.handle <= 0) return;
    driver->FinishPartialPage(doc.handle);
    std::string output = doc.finalPath;
    bool complete = driver->CloseOutput(doc);
    if (!complete) log_.Line("[State]", "Create Failed");
    for (const Pending& p : pending)
      Settle(p, complete, output, summary);
    pending.clear();
  };
  for (const Work& w : work) {
    if (stopRequested_) break;
    if (!Ready(w, summary)) continue;
    front_.ShowState("Current: " + w.path);
    std::string name = run.outPath2 + HoldingFolderName(w.path) + ".pdf";
    bool newDocument = first || strcasecmp(name.c_str(), previous.c_str()) != 0;
    first = false;
    previous = name;
    if (newDocument) {
      closeDocument();
      log_.Time(LogTime());
      driver = DocumentDriver(engine_, front_, Snapshot(), run);
      MakeFolders(run.outPath2);
      doc = driver->OpenOutput(name, run.policy, kSuffix);
      log_.Line("[Output]", name);
      if (doc.handle <= 0) {
        log_.Line("[State]", "Failed");
        FileReport report{w.path, FileOutcome::kFailed, Disposition::kLeft, "", ""};
        ++summary.failed;
        std::string failed = FolderOf(w.path) + kFailedFolder;
        struct stat st;
        if (stat(failed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
          report.movedTo = MoveToFreeName(w.path, failed);
          report.disposition =
              report.movedTo.empty() ? Disposition::kMoveFailed : Disposition::kMoved;
        }
        front_.FileFinished(report);
        continue;
      }
      lastOutput_ = doc.finalPath;
      driver->ApplyDocumentSettings(doc.handle);
    }
    if (doc.handle <= 0) {
      // Its folder's document could not be opened: tried again by a later pass.
      FileReport report{w.path, FileOutcome::kOutputFailed, Disposition::kLeft, "", ""};
      ++summary.failed;
      front_.FileFinished(report);
      continue;
    }
    log_.Line("[Input]", w.path);
    int result = driver->AddInput(doc.handle, w.path);
    log_.Line("[State]", result > 0 ? "Succeed" : "Failed");
    pending.push_back({w, result});
  }
  closeDocument();
}

} // namespace app
