// A recording stand-in for the engine, shared by the app-level suites: calls become lines of text;
// frame sizes are fixed and text measures 10 points per byte and 20 points high.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/engine_calls.h"

namespace testing_support_fake {

using Calls = std::vector<std::string>;

class FakeEngine : public app::EngineCalls {
public:
  int iw = 1000, ih = 500;
  int frames = 1;      // answer of the frame-count query
  int addResult = 1;   // answer of AddImage
  int closeResult = 1; // answer of Close
  std::vector<std::string> calls;
  std::string lastCreated; // the path the engine was asked to write
  int pages = 0;           // pages added to the open document, as query 206 tells

  int Create(const char* path) override {
    lastCreated = path;
    pages = 0;
    calls.push_back("create");
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    std::fputs("new", f);
    std::fclose(f);
    return 1;
  }
  int OpenAppend(const char* path) override {
    lastCreated = path;
    pages = 0;
    calls.push_back("append");
    std::FILE* f = std::fopen(path, "ab");
    if (!f) return 0;
    std::fputs("+more", f);
    std::fclose(f);
    return 1;
  }
  int Close(int) override {
    calls.push_back("close");
    return closeResult;
  }
  int SetInfo(int, const char* t, const char* s, const char* a, const char* k,
              const char* c) override {
    calls.push_back(std::string("info ") + t + "|" + s + "|" + a + "|" + k + "|" + c);
    return 1;
  }

  int SetOption(int, int key, int a, int b, const char* ta, const char* tb) override {
    std::string s =
        "opt " + std::to_string(key) + " " + std::to_string(a) + " " + std::to_string(b);
    if (ta) s += std::string(" ") + ta;
    if (tb) s += std::string(" ") + tb;
    calls.push_back(s);
    return 1;
  }
  int Query(int, int key, int* outA, int* outB, char* textA, const char*) override {
    if (key == ENGINE_Q_IMAGE_WIDTH) {
      *outA = iw;
      *outB = ih;
      return iw;
    }
    if (key == ENGINE_Q_TEXT_WIDTH && textA)
      return static_cast<int>(std::string(textA).size()) * 10;
    if (key == ENGINE_Q_TEXT_HEIGHT && textA) return 20;
    if (key == ENGINE_Q_FRAME_COUNT) return frames;
    if (key == ENGINE_Q_PAGE_COUNT) return pages;
    return 0;
  }
  int AddImage(int, const char* path) override {
    calls.push_back(std::string("add ") + path);
    if (addResult > 0) ++pages;
    return addResult;
  }
  int DrawText(int, int x, int y, const char* text, int colour) override {
    calls.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + text + " c" +
                    std::to_string(colour));
    return 1;
  }
  int DrawLine(int, int x1, int y1, int x2, int y2, int w, int c) override {
    calls.push_back("line " + std::to_string(x1) + "," + std::to_string(y1) + "-" +
                    std::to_string(x2) + "," + std::to_string(y2) + " w" + std::to_string(w) +
                    " c" + std::to_string(c));
    return 1;
  }
  // Only the calls of one kind, e.g. "opt 104".
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
};

} // namespace testing_support_fake
