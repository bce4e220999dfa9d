// The real desktop actions: systemctl, loginctl and xdg-open. Only main() of a program makes
// one; this header belongs to pictofold_platform_system, which no test links.
#pragma once

#include <memory>

#include "platform/system_actions.h"

namespace platform {

std::unique_ptr<SystemActions> CreateSystemActionsForProgram();

} // namespace platform
