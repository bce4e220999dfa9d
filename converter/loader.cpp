#include "converter/loader.h"

#include <dlfcn.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

using Entry = int (*)(int, char**);

std::mutex g_mutex; // start-up and exit only; calls read the entry point atomically
void* g_module = nullptr;
std::atomic<Entry> g_entry{nullptr};
std::string g_error;

} // namespace

bool LoadConverter(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_module) return true;
  std::string path = (folder.empty() ? std::string(".") : folder) + "/" + kConverterFileName;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    g_error = why ? why : "cannot open " + path;
    return false;
  }
  dlerror();
  auto entry = reinterpret_cast<Entry>(dlsym(module, "zorvalex5"));
  if (!entry) {
    const char* why = dlerror();
    g_error = why ? why : path + " has no entry point zorvalex5";
    dlclose(module);
    return false;
  }
  g_module = module;
  g_entry.store(entry);
  g_error.clear();
  return true;
}

bool ConverterLoaded() {
  return g_entry.load() != nullptr;
}

std::string ConverterLoadError() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_error;
}

int CallConverter(int argc, char** argv) {
  Entry entry = g_entry.load();
  if (!entry) return -1;
  int result = entry(argc, argv);
  return result < 0 ? -1 : result;
}

void UnloadConverter() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entry.store(nullptr);
  if (g_module) dlclose(g_module);
  g_module = nullptr;
}

std::string ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return "";
  return exe.parent_path().string();
}
