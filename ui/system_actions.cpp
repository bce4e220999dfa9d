#include "ui/system_actions.h"

namespace ui {

namespace {

class InertActions : public platform::SystemActions {
public:
  void PowerOff() override {}
  void Suspend() override {}
  void Reboot() override {}
  void LogOff() override {}
  void ExitProgram() override {}
  void Open(const std::string&) override {}
};

InertActions g_inert;
platform::SystemActions* g_actions = nullptr;

} // namespace

platform::SystemActions& CurrentSystemActions() {
  return g_actions ? *g_actions : g_inert;
}

void SetSystemActions(platform::SystemActions* actions) {
  g_actions = actions;
}

} // namespace ui
