// Where the program and the user's files live on this desktop.
#pragma once

#include <string>

namespace platform {

// Absolute path of the running executable, or empty when it cannot be found.
std::string ExecutablePath();

// Folder holding the executable, with a trailing '/'; empty when unknown.
std::string ExecutableDir();

// The user's home folder without a trailing '/': $HOME, else the password database.
std::string HomeDir();

// $XDG_CONFIG_HOME when it is an absolute path, else HomeDir() + "/.config".
std::string XdgConfigHome();

// $TMPDIR when set and non-empty, else "/tmp".
std::string TempDir();

} // namespace platform
