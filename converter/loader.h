// Loads the external converter plug-in ("zorvalex5.so", entry point "zorvalex5") and calls it.
//
// The program loads it once at start-up from the folder that holds its executable and
// unloads it at exit (app::LoadPlugin and app::UnloadPlugin do that for front ends). When the
// plug-in is absent, Call returns -1, so the converter route fails the way it does for a file
// the converter cannot read.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace converter {

inline constexpr const char* kConverterFileName = "zorvalex5.so";

// The one owner of the loaded plug-in. Load and Unload belong to start-up and exit; Call and
// Loaded may come from any thread.
class Plugin {
public:
  static Plugin& Instance();

  // Opens folder + "/zorvalex5.so" and finds its entry point. Once loaded, later calls do
  // nothing and return true; after a failed attempt a later call tries again.
  bool Load(const std::string& folder);
  bool Loaded() const { return entry_.load() != nullptr; }
  // Why the latest Load failed (the dynamic loader's message), or "".
  std::string LoadError() const;
  // Calls the entry point: argc 4, argv {module name, "convert", source, destination}.
  // Returns the plug-in's result, >= 0 on success; any negative result, or no plug-in, is -1.
  int Call(int argc, char** argv) const;
  // Closes the plug-in; Call returns -1 afterwards until it is loaded again.
  void Unload();

private:
  using Entry = int (*)(int, char**);
  Plugin() = default;

  mutable std::mutex mutex_;
  void* module_ = nullptr;
  std::atomic<Entry> entry_{nullptr};
  std::string error_;
};

// The folder that holds the running executable, without a trailing '/'; "" when unknown.
std::string ExecutableFolder();

} // namespace converter
