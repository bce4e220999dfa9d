// Checks a front end makes before a run starts, so that a run never destroys its own inputs
// or writes somewhere the user did not mean. No state: any thread.
#pragma once

#include <string>
#include <vector>

#include "app/run_settings.h"

namespace app {

// The first named folder that exists but cannot be read, or "".
std::string UnreadableFolder(const std::vector<std::string>& named);

// Why the run's outputs cannot be used, or "": in merge mode an output that is a folder
// ("X is a folder; name the PDF file"), and in every mode an output that is one of the inputs.
std::string CheckOutputs(const RunSettings& run, const std::vector<std::string>& inputs);

// Text for a terminal: control characters shown as \xHH, so that a name cannot move the
// cursor or change colours.
std::string EscapeControls(const std::string& text);

} // namespace app
