// The real engine behind the EngineCalls interface.
#pragma once

#include "app/engine_calls.h"

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
};

} // namespace app
