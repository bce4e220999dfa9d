// pictofold: the converter from the command line.
//
//   pictofold convert [OPTIONS] INPUT...
//   pictofold watch FOLDER [OPTIONS]
//   pictofold info FILE...
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/engine_api.h"
#include "app/input_collection.h"
#include "app/input_info.h"
#include "app/job_driver.h"
#include "app/run_checks.h"
#include "app/run_settings.h"
#include "app/settings_store.h"
#include "app/version.h"
#include "cli_common.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: pictofold convert [OPTIONS] INPUT...\n"
    "       pictofold watch FOLDER [OPTIONS]\n"
    "       pictofold info FILE...\n"
    "       pictofold --help | --version\n"
    "\n"
    "convert: turn image files (or the images in folders) into PDF.\n"
    "  -o, --output PATH      merge mode: the PDF file; other modes: the output folder\n"
    "  -m, --mode MODE        merge | per-image | per-folder\n"
    "      --exists POLICY    ask | overwrite | new | append (for an existing output file)\n"
    "      --settings FILE    a Settings.ini to read instead of the default one\n"
    "      --set KEY=VALUE    any settings key, e.g. --set pageSize=2 --set layout=4\n"
    "      --log DIR          append the run log to DIR/YYYY_MM_DD.log\n"
    "      --recursive        descend into sub-folders of INPUT folders\n"
    "  -q, --quiet            no progress output\n"
    "\n"
    "watch: convert what arrives in FOLDER (same output options as convert).\n"
    "      --once | --interval SECONDS   one pass, or scanning at an interval\n"
    "      --passes N         stop after N passes\n"
    "      --recursive        include sub-folders\n"
    "      --delete-source    delete converted files instead of moving them\n"
    "      --keep-subfolders  per-image mode: mirror sub-folders under the output folder\n"
    "\n"
    "info: type, frames, size, resolution and bit depth of each file.\n"
    "\n"
    "Exit status: 0 every input converted, 1 some failed, 2 usage error or no output.\n";

class TerminalFront : public app::DriverFrontEnd {
public:
  TerminalFront(int total, bool quiet) : total_(total), quiet_(quiet), tty_(isatty(2)) {}

  void RowFinished(int row, const app::ListRecord& r) override {
    ++done_;
    // Rows an abort left are listed together at the end.
    if (r.reason == app::kAbortedReason) return;
    if (r.status != app::RowStatus::kConverted) {
      ClearBar();
      std::fprintf(stderr, "%s: %s\n", cli::Shown(r.path).c_str(), r.reason.c_str());
    } else if (!quiet_ && !tty_) {
      std::fprintf(stderr, "converted %s\n", cli::Shown(r.path).c_str());
    }
    if (!quiet_ && tty_) DrawBar(r.path);
  }

  std::optional<std::string> AskSaveName(const std::string& existing) override {
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) return std::nullopt; // no terminal: as Cancel in the save dialog
    ClearBar();
    std::fprintf(tty,
                 "%s exists. Save as (empty for the next free numbered name): ", existing.c_str());
    std::fflush(tty);
    char line[4096];
    std::optional<std::string> answer;
    if (std::fgets(line, sizeof line, tty)) {
      std::string s = line;
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
      if (!s.empty()) answer = s;
    }
    std::fclose(tty);
    return answer;
  }

  void Finish() { ClearBar(); }

private:
  void DrawBar(const std::string& path) {
    const int width = 30;
    int filled = total_ > 0 ? done_ * width / total_ : width;
    std::string name = fs::path(path).filename().string();
    if (name.size() > 40) name = name.substr(0, 37) + "...";
    std::fprintf(stderr, "\r[%s%s] %d/%d %s\033[K", std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), done_, total_, name.c_str());
    barShown_ = true;
  }
  void ClearBar() {
    if (barShown_) std::fprintf(stderr, "\r\033[K");
    barShown_ = false;
  }
  int total_;
  int done_ = 0;
  bool quiet_;
  bool tty_;
  bool barShown_ = false;
};

std::atomic<app::JobDriver*> gDriver{nullptr};
volatile sig_atomic_t gSignal = 0;

// An interrupted command line keeps nothing of the document in progress.
void OnSignal(int sig) {
  gSignal = sig;
  if (app::JobDriver* d = gDriver.load()) d->RequestAbort();
}

void CatchSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

// Says what an abort left undone, even when quiet; returns the exit status of the signal.
int ReportAbort(const std::vector<app::ListRecord>& rows) {
  std::vector<const app::ListRecord*> left;
  for (const auto& r : rows)
    if (r.status != app::RowStatus::kConverted && r.status != app::RowStatus::kFailed)
      left.push_back(&r);
  std::fprintf(stderr, "stopped: %zu input%s not converted\n", left.size(),
               left.size() == 1 ? "" : "s");
  if (left.size() <= 20)
    for (const auto* r : left)
      std::fprintf(stderr, "  %s\n", cli::Shown(r->path).c_str());
  return 128 + (gSignal ? static_cast<int>(gSignal) : SIGINT);
}

int Convert(int argc, char** argv) {
  CatchSignals();
  cli::CommonOptions opt;
  std::vector<std::string> inputs;
  bool recursive = false;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (optionsEnded) {
      inputs.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    int used = cli::ParseCommonOption(argc, argv, i, opt);
    if (used < 0) return 2;
    if (used > 0) {
      i += used - 1;
      continue;
    }
    if (a == "--recursive") {
      recursive = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "pictofold convert: unknown option %s\n", a.c_str());
      return 2;
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "pictofold convert: no input given\n%s", kUsage);
    return 2;
  }
  std::string error;
  app::SettingsStore store("");
  app::RunOverrides overrides;
  if (!cli::OpenSettings(opt, store, error) || !cli::ParseOverrides(opt, overrides, error)) {
    std::fprintf(stderr, "pictofold convert: %s\n", error.c_str());
    return 2;
  }
  app::RunSettings run = app::LoadRunSettings(store);
  app::ApplyOverrides(run, overrides);
  app::LoadPlugin();
  app::CollectOptions collect;
  collect.recursive = recursive;
  std::vector<std::string> files =
      app::CollectInputs(inputs, app::CurrentSupportedTypes(), collect);
  std::string unreadable = app::UnreadableFolder(inputs);
  if (!unreadable.empty()) {
    std::fprintf(stderr, "pictofold convert: cannot read folder %s\n",
                 cli::Shown(unreadable).c_str());
    app::UnloadPlugin();
    return 2;
  }
  if (files.empty()) {
    std::fprintf(stderr, "pictofold convert: the inputs hold no image files\n");
    app::UnloadPlugin();
    return 2;
  }
  std::string refusal = app::CheckOutputs(run, files);
  if (!refusal.empty()) {
    std::fprintf(stderr, "pictofold convert: %s\n", refusal.c_str());
    app::UnloadPlugin();
    return 2;
  }

  app::EngineApi engine;
  TerminalFront front(static_cast<int>(files.size()), opt.quiet);
  app::JobDriver driver(engine, front, run);
  driver.createOutputFolders = true;
  gDriver = &driver;
  // A signal that came before the driver existed still aborts.
  if (gSignal) driver.RequestAbort();
  std::vector<app::ListRecord> rows;
  for (const auto& f : files)
    rows.push_back({f});
  app::RunResult result = driver.Run(rows, false);
  front.Finish();
  gDriver = nullptr;
  app::UnloadPlugin();
  if (result.aborted) return ReportAbort(rows);

  // No document could be written at all: the output is the fault, not the inputs.
  if (result.createFailed || (result.outputFailures > 0 && result.outputsWritten.empty())) {
    if (result.createFailed)
      std::fprintf(stderr, "pictofold: could not write %s\n",
                   cli::Shown(result.lastOutput).c_str());
    return 2;
  }
  if (!opt.quiet && run.mode == app::OutputMode::kMerge)
    std::fprintf(stderr, "%d of %zu converted into %s\n", result.converted, rows.size(),
                 result.outputsWritten.empty() ? "nothing (no page was added)"
                                               : cli::Shown(result.outputsWritten.back()).c_str());
  else if (!opt.quiet)
    std::fprintf(stderr, "%d of %zu converted\n", result.converted, rows.size());
  return result.failed > 0 || result.converted < static_cast<int>(rows.size()) ? 1 : 0;
}

int Info(int argc, char** argv) {
  if (argc == 0) {
    std::fprintf(stderr, "pictofold info: no file given\n");
    return 2;
  }
  app::LoadPlugin();
  int failed = 0;
  for (int i = 0; i < argc; ++i) {
    const char* path = argv[i];
    app::InputDescription d = app::DescribeInput(path);
    if (!d.ok) {
      std::printf("%s: %s\n", path, d.reason.c_str());
      ++failed;
      continue;
    }
    std::printf("%s: %s, %d frame%s, %d x %d pixels, %d x %d dpi, %d bits per pixel\n", path,
                d.typeName.c_str(), d.frames, d.frames == 1 ? "" : "s", d.width, d.height, d.xdpi,
                d.ydpi, d.bitsPerPixel);
  }
  app::UnloadPlugin();
  return failed ? 1 : 0;
}

} // namespace
int Watch(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cmd == "--version") {
    std::printf("Pictofold %s\n", app::kProductVersion);
    return 0;
  }
  if (cmd == "convert") return Convert(argc - 2, argv + 2);
  if (cmd == "info") return Info(argc - 2, argv + 2);
  if (cmd == "watch") return Watch(argc - 2, argv + 2);
  std::fprintf(stderr, "pictofold: unknown command %s\n%s", cmd.c_str(), kUsage);
  return 2;
}
