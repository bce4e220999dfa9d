// A stand-in for the desktop actions that only records what was asked.
#pragma once

#include <string>
#include <vector>

#include "platform/system_actions.h"

namespace apptest {

class RecordingActions final : public platform::SystemActions {
public:
  void PowerOff() override { calls.push_back("poweroff"); }
  void Suspend() override { calls.push_back("suspend"); }
  void Reboot() override { calls.push_back("reboot"); }
  void LogOff() override { calls.push_back("logoff"); }
  void ExitProgram() override { calls.push_back("exit"); }
  void Open(const std::string& location) override { calls.push_back("open " + location); }

  std::vector<std::string> calls;
};

} // namespace apptest
