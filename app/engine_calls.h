// The engine operations the application layer makes, behind an interface so that layout and
// driver logic can be checked call by call without writing PDFs.
#pragma once

#include <string>

namespace app {

class EngineCalls {
 public:
  virtual ~EngineCalls() = default;
  virtual int Create(const char* path) = 0;
  virtual int OpenAppend(const char* path) = 0;
  virtual int Close(int handle) = 0;
  virtual int SetInfo(int handle, const char* title, const char* subject, const char* author,
                      const char* keywords, const char* creator) = 0;
  virtual int SetOption(int handle, int key, int intA, int intB, const char* textA,
                        const char* textB) = 0;
  virtual int Query(int handle, int key, int* outA, int* outB, char* textA,
                    const char* textB) = 0;
  virtual int AddImage(int handle, const char* path) = 0;
  virtual int DrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) = 0;
  virtual int DrawText(int handle, int x, int y, const char* text, int colour) = 0;
};

}  // namespace app
