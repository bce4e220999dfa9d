#include "app/after_action.h"

namespace app {

void PerformAfterAction(platform::SystemActions& actions, AfterAction action,
                        const std::string& location) {
  switch (action) {
  case AfterAction::kShutDown:
    actions.PowerOff();
    break;
  case AfterAction::kStandBy:
    actions.Suspend();
    break;
  case AfterAction::kRestart:
    actions.Reboot();
    break;
  case AfterAction::kLogOff:
    actions.LogOff();
    break;
  case AfterAction::kExitProgram:
    actions.ExitProgram();
    break;
  case AfterAction::kOpenOutput:
    if (!location.empty()) actions.Open(location);
    break;
  default:
    break;
  }
}

} // namespace app
