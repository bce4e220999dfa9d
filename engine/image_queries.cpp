// The image queries: frames, size, resolution and depth of an input file.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "converter/loader.h"
#include "engine/document.h"
#include "engine/engine.h"
#include "engine/image_type.h"
#include "engine/routing.h"
#include "imagelib/imagelib.h"

namespace engine {
namespace {

bool Writable(const int* p) {
  return reinterpret_cast<uintptr_t>(p) > 1000;
}

struct FrameInfo {
  int width = 0, height = 0, bits = 0;
  double xres = 0, yres = 0;
  int orientation = 1; // as stored; TIFF pages are reported upright already
};

// What the converter made of the latest file it was asked about, so that the queries of one
// file (asked once per frame) convert it only once.
struct ConvertedInfo {
  std::string path;
  long long mtime = -1, size = -1;
  std::vector<FrameInfo> frames;
};

ConvertedInfo& Cache() {
  static ConvertedInfo cache;
  return cache;
}

bool HeaderOf(const std::string& path, imagelib::ImageType type, int frame, FrameInfo& info,
              int* frameCount) {
  imagelib::Image img;
  imagelib::LoadOptions opt;
  opt.headerOnly = true;
  opt.frame = frame;
  if (!imagelib::Load(path, type, opt, img)) return false;
  info.width = img.Width();
  info.height = img.Height();
  info.bits = img.BitsPerPixel();
  info.xres = img.XResolution();
  info.yres = img.YResolution();
  info.orientation = img.Orientation();
  if (frameCount) *frameCount = img.FrameCount();
  return true;
}

const ConvertedInfo* ThroughConverter(int handle, const char* path) {
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  ConvertedInfo& c = Cache();
  if (c.path == path && c.mtime == static_cast<long long>(st.st_mtime) &&
      c.size == static_cast<long long>(st.st_size))
    return c.frames.empty() ? nullptr : &c;
  c = ConvertedInfo{
      path, static_cast<long long>(st.st_mtime), static_cast<long long>(st.st_size), {}};
  if (!converter::Plugin::Instance().Loaded()) return nullptr;
  TempFile out(handle, "dacp", ".tif", true);
  if (ConvertWithPlugin(handle, path, out) < 0) return nullptr;
  out.Unname();
  int n = 0;
  FrameInfo first;
  if (!HeaderOf(out.path(), imagelib::ImageType::kTiff, 0, first, &n)) return nullptr;
  c.frames.push_back(first);
  for (int f = 1; f < n; ++f) {
    FrameInfo info;
    if (!HeaderOf(out.path(), imagelib::ImageType::kTiff, f, info, nullptr)) break;
    c.frames.push_back(info);
  }
  return &c;
}

} // namespace

int ImageQuery(EngineDocument& doc, int key, int* outA, int* outB, char* textA, const char* textB) {
  if (!textA || !*textA || IsSpecialFile(textA)) return 0;
  const char* path = textA;
  int type = SniffImageType(path);
  int frame = textB && *textB ? std::atoi(textB) : 1;
  if (frame < 1) frame = 1;

  FrameInfo info;
  int frames = 0;
  bool ok = false;
  bool isTiff = type == kTypeTiff;
  bool libraryType = LibraryReads(type);
  if (libraryType) {
    // Frame numbers matter for TIFF files only.
    ok = HeaderOf(path, imagelib::ImageTypeFromCode(type), isTiff ? frame - 1 : 0, info, &frames);
    if (ok && !isTiff && frames > 1) ok = false; // several images: the converter's job
  }
  if (!ok && !isTiff) {
    // GIF, PSD and whatever the library cannot read: what the converter makes of it. Without
    // the plug-in a recognised type still counts one frame, and an unknown one none.
    // Its temporary TIFF belongs to no document: handle 0 in the name.
    const ConvertedInfo* c = ThroughConverter(0, path);
    if (c) {
      frames = static_cast<int>(c->frames.size());
      info = c->frames.front();
      ok = true;
    } else if (key == ENGINE_Q_FRAME_COUNT) {
      return Recognised(type) ? 1 : 0;
    }
  }
  if (!ok) return 0;
  // JPEG photos drawn upright report their upright size.
  if (doc.autoRotate && type == kTypeJpeg && info.orientation >= 5) {
    std::swap(info.width, info.height);
    std::swap(info.xres, info.yres);
  }
  switch (key) {
  case ENGINE_Q_FRAME_COUNT:
    return frames > 0 ? frames : 1;
  case ENGINE_Q_IMAGE_WIDTH:
  case ENGINE_Q_IMAGE_HEIGHT:
    if (Writable(outA)) *outA = info.width;
    if (Writable(outB)) *outB = info.height;
    return key == ENGINE_Q_IMAGE_WIDTH ? info.width : info.height;
  case ENGINE_Q_X_RESOLUTION:
  case ENGINE_Q_Y_RESOLUTION: {
    int x = static_cast<int>(info.xres + 0.5), y = static_cast<int>(info.yres + 0.5);
    if (!isTiff) {
      if (x < 1) x = 72;
      if (y < 1) y = 72;
    }
    if (Writable(outA)) *outA = x;
    if (Writable(outB)) *outB = y;
    return key == ENGINE_Q_X_RESOLUTION ? x : y;
  }
  case ENGINE_Q_BITS_PER_PIXEL:
    return info.bits;
  default:
    return 0;
  }
}

} // namespace engine
