#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

std::string ExecutablePath() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ExecutableDir() {
  std::string exe = ExecutablePath();
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  std::string h;
  if (home && *home) {
    h = home;
  } else {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
      h = result->pw_dir;
  }
  while (h.size() > 1 && h.back() == '/')
    h.pop_back();
  return h;
}

std::string XdgConfigHome() {
  // Relative values are invalid by the XDG rules and must be ignored.
  const char* x = std::getenv("XDG_CONFIG_HOME");
  std::string v = x ? x : "";
  if (!v.empty() && v.front() == '/') {
    while (v.size() > 1 && v.back() == '/')
      v.pop_back();
    return v;
  }
  return HomeDir() + "/.config";
}

std::string TempDir() {
  const char* t = std::getenv("TMPDIR");
  if (t && *t) return t;
  return "/tmp";
}

} // namespace platform
