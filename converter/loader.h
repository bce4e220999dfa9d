// Loads the external converter plug-in ("zorvalex5.so", entry point "zorvalex5") and calls it.
//
// The program loads it once at start-up from the folder that holds its executable and
// unloads it at exit. When the plug-in is absent, CallConverter returns -1, so the
// converter route fails the way it does for a file the converter cannot read.
#pragma once

#include <string>

inline constexpr const char* kConverterFileName = "zorvalex5.so";

// Opens folder + "/zorvalex5.so" and finds its entry point. Once loaded, later calls do
// nothing and return true; after a failed attempt a later call tries again.
bool LoadConverter(const std::string& folder);

bool ConverterLoaded();

// Why the latest LoadConverter failed (the dynamic loader's message), or "".
std::string ConverterLoadError();

// Calls the entry point: argc 4, argv {module name, "convert", source, destination}.
// Returns the plug-in's result, >= 0 on success; any negative result, or no plug-in, is -1.
int CallConverter(int argc, char** argv);

// Closes the plug-in; CallConverter returns -1 afterwards until it is loaded again.
void UnloadConverter();

// The folder that holds the running executable (from /proc/self/exe), or "" when unknown.
std::string ExecutableFolder();
