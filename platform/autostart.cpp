#include "platform/autostart.h"

#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace platform {

namespace {

// Quotes a path for an Exec key: the argument is double-quoted with ", `, $ and \ escaped,
// then the value's own escape rule doubles every backslash; % is written as %%.
std::string ExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '%')
      out += "%%";
    else
      out += c;
  }
  return out;
}

} // namespace

std::string AutostartEntryPath() {
  return XdgConfigHome() + "/autostart/pictofold.desktop";
}

std::string AutostartEntryText(const std::string& programPath) {
  if (programPath.empty() || programPath.front() != '/') return {};
  for (char c : programPath)
    if (c == '\n' || c == '\r' || c == '\0') return {};
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Pictofold\n"
         "Comment=Convert images to PDF\n"
         "Exec=" +
         ExecArgument(programPath) +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(bool enabled, const std::string& programPath) {
  std::string path = AutostartEntryPath();
  if (!enabled) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !ec;
  }
  std::string text = AutostartEntryText(programPath);
  if (text.empty()) return false;
  return WriteFileAtomically(path, text);
}

bool IsAutostartEnabled() {
  std::error_code ec;
  return std::filesystem::is_regular_file(AutostartEntryPath(), ec);
}

} // namespace platform
