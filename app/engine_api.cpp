#include "engine_api.h"

#include "engine/engine.h"

namespace app {

int EngineApi::Create(const char* path) {
  return EngineCreate(path);
}
int EngineApi::OpenAppend(const char* path) {
  return EngineOpenAppend(path);
}
int EngineApi::Close(int handle) {
  return EngineClose(handle);
}
int EngineApi::SetInfo(int handle, const char* title, const char* subject, const char* author,
                       const char* keywords, const char* creator) {
  return EngineSetInfo(handle, title, subject, author, keywords, creator);
}
int EngineApi::SetOption(int handle, int key, int intA, int intB, const char* textA,
                         const char* textB) {
  return EngineSetOption(handle, key, intA, intB, textA, textB);
}
int EngineApi::Query(int handle, int key, int* outA, int* outB, char* textA, const char* textB) {
  return EngineQuery(handle, key, outA, outB, textA, textB);
}
int EngineApi::AddImage(int handle, const char* path) {
  return EngineAddImage(handle, path);
}
int EngineApi::DrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour) {
  return EngineDrawLine(handle, x1, y1, x2, y2, width, colour);
}
int EngineApi::DrawText(int handle, int x, int y, const char* text, int colour) {
  return EngineDrawText(handle, x, y, text, colour);
}

} // namespace app
