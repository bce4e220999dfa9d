// Starting the program with the desktop session: an XDG autostart entry.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME/autostart/pictofold.desktop
std::string AutostartEntryPath();

// Writes the entry (Exec = programPath, which must be absolute) or removes it. Returns false
// when the entry could not be written or removed, or programPath is not usable.
bool SetAutostart(bool enabled, const std::string& programPath);

// True when the entry exists.
bool IsAutostartEnabled();

// The entry's text for a program path; empty when the path cannot be expressed in an Exec line
// (relative, or holding a line break or NUL).
std::string AutostartEntryText(const std::string& programPath);

} // namespace platform
