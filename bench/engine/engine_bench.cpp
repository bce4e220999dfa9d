// Engine spine benchmark: many empty pages, and pages that each carry a large content stream.
// Each case runs in its own child process so that its peak memory is its own.
//
//   engine_bench [OUTPUT_FOLDER]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/document.h"
#include "engine/engine.h"

namespace {

struct Case {
  const char* name;
  int pages;
  size_t contentBytes; // per page
};

int RunCase(const Case& c, const std::string& path) {
  int h = EngineCreate(path.c_str());
  if (!h) return 1;
  std::string ops;
  while (ops.size() < c.contentBytes)
    ops += "10 10 m 200 300 l S ";
  ops.resize(c.contentBytes);
  for (int i = 0; i < c.pages; ++i) {
    EngineSetOption(h, 109, 2, 2, nullptr, nullptr);
    if (!ops.empty()) engine::Lookup(h)->writer->WriteText(ops);
  }
  EngineClose(h);
  return 0;
}

void Measure(const Case& c, const std::string& folder) {
  std::string path = folder + "/bench_" + std::to_string(c.pages) + ".pdf";
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(RunCase(c, path));
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-34s %8d pages %8.3f s %8.2f ms/100 pages  peak %6.1f MB\n", c.name, c.pages,
              seconds, seconds * 1000.0 * 100.0 / c.pages, usage.ru_maxrss / 1024.0);
  std::remove(path.c_str());
}

} // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : "/tmp";
  const Case cases[] = {
      {"empty pages", 1000, 0},
      {"empty pages", 10000, 0},
      {"pages with a 100 KB content stream", 100, 100 * 1024},
      {"pages with a 100 KB content stream", 1000, 100 * 1024},
  };
  for (const Case& c : cases)
    Measure(c, folder);
  std::printf("peak memory should stay flat as pages grow: only the object table grows\n");
  return 0;
}
