// What happens when a conversion run ends without being stopped.
#pragma once

#include <string>

#include "app/conversion_settings.h"
#include "platform/system_actions.h"

namespace app {

// Performs the action for the value of the `after` setting. location is the merge output file
// or the output folder of the other modes; "Open Output" with an empty location does nothing.
// Values outside the table do nothing. The run's log must be flushed before this is called:
// "Exit Program" does not return.
void PerformAfterAction(platform::SystemActions& actions, AfterAction action,
                        const std::string& location);

} // namespace app
