// The engine operations the application layer makes, behind an interface so that layout and
// driver logic can be checked call by call without writing PDFs. An implementation is used by
// one thread at a time unless it says otherwise (EngineApi may be shared).
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

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
  virtual int Query(int handle, int key, int* outA, int* outB, char* textA, const char* textB) = 0;
  virtual int AddImage(int handle, const char* path) = 0;
  virtual int DrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) = 0;
  virtual int DrawText(int handle, int x, int y, const char* text, int colour) = 0;

  // Why an input could not be added (result is what adding it returned), in words fit for a
  // user; "" when nothing more is known than that it failed.
  virtual std::string FailureReason(const std::string& path, int result) { return ""; }

  // Typed forms of the queries the application asks.
  int FrameCount(int handle, const std::string& path) {
    return QueryText(handle, ENGINE_Q_FRAME_COUNT, nullptr, nullptr, path);
  }
  // Width and height in pixels of the first frame; false when the type is not recognised.
  bool ImageSize(int handle, const std::string& path, int& width, int& height) {
    width = height = 0;
    return QueryText(handle, ENGINE_Q_IMAGE_WIDTH, &width, &height, path) > 0;
  }
  int TextWidth(int handle, const std::string& text) {
    return QueryText(handle, ENGINE_Q_TEXT_WIDTH, nullptr, nullptr, text);
  }
  int TextHeight(int handle, const std::string& text) {
    return QueryText(handle, ENGINE_Q_TEXT_HEIGHT, nullptr, nullptr, text);
  }

private:
  // The query's text argument is an in-out buffer: hand it a private copy.
  int QueryText(int handle, int key, int* outA, int* outB, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return Query(handle, key, outA, outB, buffer.data(), nullptr);
  }
};

} // namespace app
