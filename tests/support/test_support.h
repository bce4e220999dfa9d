// Small helpers shared by the test suites: scratch folders, whole-file reads, and running
// the independent PDF tools (qpdf, pikepdf, poppler, mupdf) that judge our output.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system temporary folder, removed when the object dies.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

struct RunResult {
  int status = -1; // exit status, or -1 when the program could not be run
  std::string out; // standard output and standard error together
};

// Runs a shell command line; output is captured.
RunResult Run(const std::string& command);

// Quotes a string for the shell.
std::string Quote(const std::string& s);

// Path of a program built into build/bin (or build-*/bin).
std::string BinPath(const std::string& name);

// Path of a file under the source tree.
std::string SourcePath(const std::string& relative);

// qpdf --check; passes only when qpdf reports no error and no warning.
::testing::AssertionResult QpdfCheckClean(const std::string& pdf);

// Runs a Python snippet with pikepdf imported as `pikepdf` and `sys.argv[1]` = pdf.
RunResult Pikepdf(const std::string& pdf, const std::string& python);

} // namespace testsupport
