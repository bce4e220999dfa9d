#include "engine_api.h"

#include <mutex>

#include "converter/loader.h"
#include "engine/engine.h"

namespace app {

std::mutex& EngineMutex() {
  static std::mutex m;
  return m;
}

namespace {
using Lock = std::lock_guard<std::mutex>;
} // namespace

int EngineApi::Create(const char* path) {
  Lock lock(EngineMutex());
  return EngineCreate(path);
}
int EngineApi::OpenAppend(const char* path) {
  Lock lock(EngineMutex());
  return EngineOpenAppend(path);
}
int EngineApi::Close(int handle) {
  Lock lock(EngineMutex());
  return EngineClose(handle);
}
int EngineApi::SetInfo(int handle, const char* title, const char* subject, const char* author,
                       const char* keywords, const char* creator) {
  Lock lock(EngineMutex());
  return EngineSetInfo(handle, title, subject, author, keywords, creator);
}
int EngineApi::SetOption(int handle, int key, int intA, int intB, const char* textA,
                         const char* textB) {
  Lock lock(EngineMutex());
  return EngineSetOption(handle, key, intA, intB, textA, textB);
}
int EngineApi::Query(int handle, int key, int* outA, int* outB, char* textA, const char* textB) {
  Lock lock(EngineMutex());
  return EngineQuery(handle, key, outA, outB, textA, textB);
}
int EngineApi::AddImage(int handle, const char* path) {
  Lock lock(EngineMutex());
  return EngineAddImage(handle, path);
}
int EngineApi::DrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) {
  Lock lock(EngineMutex());
  return EngineDrawLine(handle, x1, y1, x2, y2, width, colour);
}
int EngineApi::DrawText(int handle, int x, int y, const char* text, int colour) {
  Lock lock(EngineMutex());
  return EngineDrawText(handle, x, y, text, colour);
}

bool LoadPlugin() {
  Lock lock(EngineMutex());
  return converter::Plugin::Instance().Load(converter::ExecutableFolder());
}

void UnloadPlugin() {
  Lock lock(EngineMutex());
  converter::Plugin::Instance().Unload();
}

SupportedTypes CurrentSupportedTypes() {
  Lock lock(EngineMutex());
  return SupportedTypes(converter::Plugin::Instance().Loaded());
}

} // namespace app
