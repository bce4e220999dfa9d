// The desktop actions after a run (power, log-off, exit, open). The program installs the real
// ones at start; until then, and in tests, every action does nothing.
#pragma once

#include "platform/system_actions.h"

namespace ui {

platform::SystemActions& CurrentSystemActions();
// The caller keeps ownership; nullptr restores the inert default.
void SetSystemActions(platform::SystemActions* actions);

} // namespace ui
