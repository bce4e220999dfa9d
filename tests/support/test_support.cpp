#include "test_support.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace testsupport {

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "pictofold-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

RunResult Run(const std::string& command) {
  RunResult r;
  std::string full = command + " 2>&1";
  FILE* p = popen(full.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string BinPath(const std::string& name) {
  if (const char* env = std::getenv("PICTOFOLD_BIN")) return std::string(env) + "/" + name;
  return std::string(PICTOFOLD_BINARY_DIR) + "/bin/" + name;
}

std::string SourcePath(const std::string& relative) {
  return std::string(PICTOFOLD_SOURCE_DIR) + "/" + relative;
}

::testing::AssertionResult QpdfCheckClean(const std::string& pdf) {
  RunResult r = Run("qpdf --check " + Quote(pdf));
  // qpdf exits 0 when clean, 3 on warnings, 2 on errors.
  if (r.status == 0 && r.out.find("WARNING") == std::string::npos)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "qpdf --check " << pdf << " exited " << r.status << ":\n"
                                       << r.out;
}

RunResult Pikepdf(const std::string& pdf, const std::string& python) {
  std::string script = "import sys, pikepdf\n" + python + "\n";
  return Run("/usr/bin/python3 -c " + Quote(script) + " " + Quote(pdf));
}

} // namespace testsupport
