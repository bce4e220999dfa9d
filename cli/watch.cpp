// pictofold watch: the hot-folder monitor without a window.
#include <signal.h>

#include <atomic>
#include <cstring>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/engine_api.h"
#include "app/monitor.h"
#include "app/settings_store.h"
#include "cli_common.h"
#include "platform/file_lock.h"

namespace {

std::atomic<app::FolderMonitor*> gMonitor{nullptr};
volatile sig_atomic_t gSignal = 0;
// An interrupted watch keeps nothing of the document in progress; its files stay.
void OnStopSignal(int sig) {
  gSignal = sig;
  if (app::FolderMonitor* m = gMonitor.load()) m->RequestAbort();
}

class WatchFront : public app::MonitorFrontEnd {
public:
  WatchFront(bool quiet, int passes) : quiet_(quiet), passes_(passes) {}
  void FileFinished(const app::FileReport& r) override {
    if (r.outcome == app::FileOutcome::kConverted) {
      if (!quiet_) std::fprintf(stderr, "converted %s -> %s\n", r.path.c_str(), r.output.c_str());
    } else if (r.outcome == app::FileOutcome::kOutputFailed) {
      std::fprintf(stderr, "%s: could not write %s; kept for a later pass\n", r.path.c_str(),
                   r.output.c_str());
      ++failed;
    } else {
      std::fprintf(stderr, "%s: %s\n", r.path.c_str(), r.reason.c_str());
      ++failed;
    }
  }
  void FileWaiting(const std::string& path) override {
    if (!quiet_) std::fprintf(stderr, "waiting for %s (still being written)\n", path.c_str());
  }
  void PassFinished(const app::PassSummary& s) override {
    if (passes_ > 0 && s.pass >= passes_ && gMonitor.load()) gMonitor.load()->RequestStop();
  }
  int failed = 0;

private:
  bool quiet_;
  int passes_;
};

} // namespace

int Watch(int argc, char** argv) {
  cli::CommonOptions opt;
  std::string folder;
  std::optional<int> intervalSeconds;
  bool recursive = false, deleteSource = false, keepSubfolders = false;
  int passes = 0;
  bool once = false, interval = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    int used = cli::ParseCommonOption(argc, argv, i, opt);
    if (used < 0) return 2;
    if (used > 0) {
      i += used - 1;
      continue;
    }
    if (a == "--once") {
      once = true;
    } else if (a == "--interval" && i + 1 < argc) {
      interval = true;
      intervalSeconds = app::ParseInterval(argv[++i]);
    } else if (a == "--passes" && i + 1 < argc) {
      passes = std::atoi(argv[++i]);
    } else if (a == "--recursive") {
      recursive = true;
    } else if (a == "--delete-source") {
      deleteSource = true;
    } else if (a == "--keep-subfolders") {
      keepSubfolders = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "pictofold watch: unknown option %s\n", a.c_str());
      return 2;
    } else if (folder.empty()) {
      folder = a;
    } else {
      std::fprintf(stderr, "pictofold watch: one folder only (%s)\n", a.c_str());
      return 2;
    }
  }
  if (once && interval) {
    std::fprintf(stderr, "pictofold watch: --once and --interval exclude each other\n");
    return 2;
  }
  std::string error;
  app::SettingsStore store("");
  app::RunOverrides overrides;
  if (!cli::OpenSettings(opt, store, error) || !cli::ParseOverrides(opt, overrides, error)) {
    std::fprintf(stderr, "pictofold watch: %s\n", error.c_str());
    return 2;
  }
  // The stored monitor keys, with the command line's own defaults where the file has none,
  // and the flags over both.
  app::MonitorSettings defaults;
  defaults.runsec = true;
  app::MonitorSettings m = app::LoadMonitorSettings(store, defaults);
  app::RunSettings run = app::LoadRunSettings(store);
  app::ApplyOverrides(run, overrides);
  m.run = run;
  if (!folder.empty()) m.input = folder;
  if (intervalSeconds) m.intervalSeconds = *intervalSeconds;
  if (recursive) m.subdir = true;
  if (deleteSource) m.delSuccess = true;
  if (keepSubfolders) m.keepsub = true;
  if (once || interval || passes > 0) m.runsec = interval || (!once && passes != 1);
  std::string problem = app::CheckMonitorSettings(m);
  if (!problem.empty()) {
    std::fprintf(stderr, "pictofold watch: %s\n", problem.c_str());
    return 2;
  }
  // Two watchers of one folder would take each other's files.
  platform::WatchLock watchLock;
  if (!watchLock.Acquire(m.input)) {
    if (watchLock.holder() > 0)
      std::fprintf(stderr, "pictofold watch: %s is already watched by process %d\n",
                   cli::Shown(m.input).c_str(), watchLock.holder());
    else
      std::fprintf(stderr, "pictofold watch: cannot read folder %s: %s\n",
                   cli::Shown(m.input).c_str(), std::strerror(watchLock.error()));
    return 2;
  }
  app::LoadPlugin();
  m.types = app::CurrentSupportedTypes();
  app::EngineApi engine;
  WatchFront front(opt.quiet, passes);
  app::FolderMonitor monitor(engine, front, m);
  gMonitor = &monitor;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  if (gSignal) monitor.RequestAbort();
  app::MonitorResult r = monitor.Run();
  gMonitor = nullptr;
  app::UnloadPlugin();
  // A signal is how a watch is ended: what it converted is complete, and what it was
  // converting stays in the folder for the next watch.
  if (!opt.quiet)
    std::fprintf(stderr, "%d pass%s: %d converted, %d failed\n", r.passes,
                 r.passes == 1 ? "" : "es", r.converted, r.failed);
  return r.failed > 0 || front.failed > 0 ? 1 : 0;
}
