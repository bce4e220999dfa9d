#include "converter/loader.h"

#include <dlfcn.h>

#include "platform/paths.h"

namespace converter {

Plugin& Plugin::Instance() {
  static Plugin plugin;
  return plugin;
}

bool Plugin::Load(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (module_) return true;
  std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kConverterFileName;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    error_ = why ? why : "cannot open " + path;
    return false;
  }
  dlerror();
  auto entry = reinterpret_cast<Entry>(dlsym(module, "zorvalex5"));
  if (!entry) {
    const char* why = dlerror();
    error_ = why ? why : path + " has no entry point zorvalex5";
    dlclose(module);
    return false;
  }
  module_ = module;
  entry_.store(entry);
  error_.clear();
  return true;
}

std::string Plugin::LoadError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

int Plugin::Call(int argc, char** argv) const {
  Entry entry = entry_.load();
  if (!entry) return -1;
  int result = entry(argc, argv);
  return result < 0 ? -1 : result;
}

void Plugin::Unload() {
  std::lock_guard<std::mutex> lock(mutex_);
  entry_.store(nullptr);
  if (module_) dlclose(module_);
  module_ = nullptr;
}

std::string ExecutableFolder() {
  std::string dir = platform::ExecutableDir();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

} // namespace converter
