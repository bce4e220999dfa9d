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

#include "app/conversion_settings.h"
#include "app/engine_api.h"
#include "app/job_driver.h"
#include "app/output_paths.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "cli/cli_common.h"
#include "converter/loader.h"
#include "engine/engine.h"
#include "engine/sniff.h"

namespace fs = std::filesystem;

namespace {

constexpr char kVersion[] = "Pictofold 1.0.0";

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

// The image extensions a folder input contributes.
bool IsImageName(const fs::path& p) {
  static const char* const kExtensions[] = {".jpg",  ".jpeg", ".jpe", ".bmp", ".dib", ".png",
                                            ".tif",  ".tiff", ".gif", ".ico", ".tga", ".pcx",
                                            ".wbmp", ".jp2",  ".j2k", ".jpc", ".pgx", ".pnm",
                                            ".pbm",  ".pgm",  ".ppm", ".ras", ".psd", ".webp"};
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  for (const char* e : kExtensions)
    if (ext == e) return true;
  return false;
}

// Files of the inputs, folders expanded to their images in name order.
bool CollectInputs(const std::vector<std::string>& inputs, bool recursive,
                   std::vector<std::string>& files) {
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (!fs::is_directory(in, ec)) {
      files.push_back(in);
      continue;
    }
    std::vector<std::string> found;
    auto take = [&](const fs::directory_entry& e) {
      if (e.is_regular_file() && IsImageName(e.path())) found.push_back(e.path().string());
    };
    if (recursive) {
      for (const auto& e : fs::recursive_directory_iterator(in, ec))
        take(e);
    } else {
      for (const auto& e : fs::directory_iterator(in, ec))
        take(e);
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return true;
}

class TerminalFront : public app::DriverFrontEnd {
public:
  TerminalFront(int total, bool quiet) : total_(total), quiet_(quiet), tty_(isatty(2)) {}

  void FileDone(int row, const std::string& path, int result) override {
    ++done_;
    if (result <= 0) {
      ClearBar();
      std::fprintf(stderr, "%s: %s\n", path.c_str(), cli::FailureReason(path, result).c_str());
    } else if (!quiet_ && !tty_) {
      std::fprintf(stderr, "converted %s\n", path.c_str());
    }
    if (!quiet_ && tty_) DrawBar(path);
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

app::JobDriver* gDriver = nullptr;
void OnSignal(int) {
  if (gDriver) gDriver->stopRequested = true;
}

int Convert(int argc, char** argv) {
  cli::CommonOptions opt;
  std::vector<std::string> inputs;
  bool recursive = false;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
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
  app::RunSettings run;
  std::string error;
  if (!cli::BuildRunSettings(opt, run, error)) {
    std::fprintf(stderr, "pictofold convert: %s\n", error.c_str());
    return 2;
  }
  std::vector<std::string> files;
  CollectInputs(inputs, recursive, files);
  if (files.empty()) {
    std::fprintf(stderr, "pictofold convert: the inputs hold no image files\n");
    return 2;
  }
  LoadConverter(ExecutableFolder());

  app::EngineApi engine;
  TerminalFront front(static_cast<int>(files.size()), opt.quiet);
  app::JobDriver driver(engine, front, run);
  gDriver = &driver;
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  std::vector<app::ListRecord> rows;
  for (const auto& f : files)
    rows.push_back({f});
  driver.Run(rows, false);
  front.Finish();
  gDriver = nullptr;
  UnloadConverter();

  int failed = 0, converted = 0;
  for (const auto& r : rows) {
    if (r.status == "Succeed") ++converted;
    if (r.status == "Failed") ++failed;
  }
  if (driver.runLog().find("[State]: Create Failed") != std::string::npos) {
    std::fprintf(stderr, "pictofold: could not write %s\n", driver.lastOutput().c_str());
    return 2;
  }
  if (!opt.quiet && run.mode == app::OutputMode::kMerge)
    std::fprintf(stderr, "%d of %zu converted into %s\n", converted, rows.size(),
                 driver.lastOutput().c_str());
  else if (!opt.quiet)
    std::fprintf(stderr, "%d of %zu converted\n", converted, rows.size());
  return failed > 0 || converted < static_cast<int>(rows.size()) ? 1 : 0;
}

int Info(int argc, char** argv) {
  if (argc == 0) {
    std::fprintf(stderr, "pictofold info: no file given\n");
    return 2;
  }
  LoadConverter(ExecutableFolder());
  int h = EngineCreate("/dev/null");
  if (!h) {
    std::fprintf(stderr, "pictofold info: the engine could not start\n");
    return 2;
  }
  int failed = 0;
  for (int i = 0; i < argc; ++i) {
    char* path = argv[i];
    int type = engine::SniffImageType(path);
    int frames = EngineQuery(h, 201, nullptr, nullptr, path, nullptr);
    if (frames <= 0) {
      std::printf("%s: %s\n", path, cli::FailureReason(path, 0).c_str());
      ++failed;
      continue;
    }
    int w = 0, hgt = 0, xr = 0, yr = 0;
    EngineQuery(h, 202, &w, &hgt, path, nullptr);
    EngineQuery(h, 204, &xr, &yr, path, nullptr);
    int bits = EngineQuery(h, 211, nullptr, nullptr, path, nullptr);
    std::printf("%s: %s, %d frame%s, %d x %d pixels, %d x %d dpi, %d bits per pixel\n", path,
                cli::TypeName(type), frames, frames == 1 ? "" : "s", w, hgt, xr, yr, bits);
  }
  EngineClose(h);
  UnloadConverter();
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
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (cmd == "convert") return Convert(argc - 2, argv + 2);
  if (cmd == "info") return Info(argc - 2, argv + 2);
  if (cmd == "watch") return Watch(argc - 2, argv + 2);
  std::fprintf(stderr, "pictofold: unknown command %s\n%s", cmd.c_str(), kUsage);
  return 2;
}
