// Requests the program makes of the desktop session: power, log-off, ending the process and
// opening a file or folder with its default application. Code takes a SystemActions& so that
// tests pass a recording fake; the real implementation lives in a separate library
// (pictofold_platform_system, platform/system_actions_real.h) that only programs link.
#pragma once

#include <string>

namespace platform {

class SystemActions {
public:
  virtual ~SystemActions() = default;
  virtual void PowerOff() = 0;
  virtual void Suspend() = 0;
  virtual void Reboot() = 0;
  virtual void LogOff() = 0;
  // Flushes C and C++ output streams, then ends the process with status 0 at once.
  virtual void ExitProgram() = 0;
  // Opens a file, folder or address with the desktop's default application.
  virtual void Open(const std::string& location) = 0;
};

} // namespace platform
