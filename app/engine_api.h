// The real engine behind the EngineCalls interface.
//
// Threads: the engine keeps process-wide state (its document table, the converter's cache),
// so every call through any EngineApi, and DescribeInput, holds one process-wide lock. A
// file-list run and a monitor pass on two threads therefore never call the engine at once.
#pragma once

#include <string>

#include "app/engine_calls.h"
#include "app/supported_types.h"

namespace app {

class EngineApi : public EngineCalls {
public:
  int Create(const char* path) override;
  int OpenAppend(const char* path) override;
  int Close(int handle) override;
  int SetInfo(int handle, const char* title, const char* subject, const char* author,
              const char* keywords, const char* creator) override;
  int SetOption(int handle, int key, int intA, int intB, const char* textA,
                const char* textB) override;
  int Query(int handle, int key, int* outA, int* outB, char* textA, const char* textB) override;
  int AddImage(int handle, const char* path) override;
  int DrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) override;
  int DrawText(int handle, int x, int y, const char* text, int colour) override;
  // The image library's own reason where it has one, e.g. "unsupported TIFF: ...".
  std::string FailureReason(const std::string& path, int result) override;
};

// The converter plug-in beside the executable: loaded once by the first call, released by
// UnloadPlugin (at exit). Any thread.
bool LoadPlugin();
void UnloadPlugin();

// The supported types with the plug-in's when it is loaded.
SupportedTypes CurrentSupportedTypes();

} // namespace app
