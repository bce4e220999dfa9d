#include "app/run_checks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <utility>

#include "app/job_driver.h"

namespace app {

std::string UnreadableFolder(const std::vector<std::string>& named) {
  for (const std::string& path : named) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    DIR* d = ::opendir(path.c_str());
    if (!d) return path;
    ::closedir(d);
  }
  return "";
}

std::string CheckOutputs(const RunSettings& run, const std::vector<std::string>& inputs) {
  if (run.mode == OutputMode::kMerge) {
    const std::string& out = run.outPath0;
    struct stat st {};
    bool folder = !out.empty() &&
                  (out.back() == '/' || (::stat(out.c_str(), &st) == 0 && S_ISDIR(st.st_mode)));
    if (folder) return out + " is a folder; name the PDF file";
  }
  std::set<std::pair<dev_t, ino_t>> ids;
  for (const std::string& in : inputs) {
    struct stat st {};
    if (::stat(in.c_str(), &st) == 0) ids.insert({st.st_dev, st.st_ino});
  }
  for (const std::string& in : inputs) {
    std::string out = ExpectedOutput(run, in);
    struct stat st {};
    if (::stat(out.c_str(), &st) == 0 && ids.count({st.st_dev, st.st_ino}))
      return "the output " + out + " is also an input";
  }
  return "";
}

std::string EscapeControls(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

} // namespace app
