#include "app/input_info.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <cstdio>
#include <mutex>
#include <vector>

#include "app/engine_api.h"
#include "app/supported_types.h"
#include "converter/loader.h"
#include "engine/engine.h"
#include "engine/image_type.h"
#include "imagelib/imagelib.h"

namespace app {

std::mutex& EngineMutex();

namespace {

// Why the file cannot be converted. The engine lock is held.
std::string ReasonLocked(const std::string& path, int result) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "no such file";
  if (S_ISDIR(st.st_mode)) return "is a folder";
  // Never opened: a pipe would wait for a writer for ever.
  if (S_ISFIFO(st.st_mode)) return "is a named pipe, not a file";
  if (S_ISSOCK(st.st_mode)) return "is a socket, not a file";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "is a device, not a file";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (std::FILE* f = std::fopen(path.c_str(), "rb"))
    std::fclose(f);
  else
    return std::string("cannot be read: ") + std::strerror(errno);
  int type = engine::SniffImageType(path.c_str());
  bool converterRoute = engine::RouteFor(type) == engine::Route::kPlugin;
  if (converterRoute && !converter::Plugin::Instance().Loaded()) {
    if (type == engine::kTypeUnknown && LowerExtension(path) != ".webp")
      return "not a recognised image";
    return "needs the converter plug-in, which is not installed";
  }
  if (type == engine::kTypeUnknown) return "not a recognised image";
  if (engine::LibraryReads(type)) {
    // The library's own words, from the header or from decoding the first frame.
    imagelib::ImageType t = imagelib::ImageTypeFromCode(type);
    imagelib::Image img;
    imagelib::LoadOptions opt;
    opt.headerOnly = true;
    imagelib::Result r = imagelib::Load(path, t, opt, img);
    if (r.ok()) {
      opt.headerOnly = false;
      imagelib::Image full;
      r = imagelib::Load(path, t, opt, full);
    }
    if (!r.ok() && !r.reason.empty()) return r.reason;
  }
  if (result < 0) return "the frame range or the converter could not be honoured";
  return std::string("this ") + ImageTypeName(type) + " file could not be converted";
}

} // namespace

const char* ImageTypeName(int type) {
  switch (type) {
  case engine::kTypeBmp:
    return "BMP";
  case engine::kTypeGif:
    return "GIF";
  case engine::kTypeJpeg:
    return "JPEG";
  case engine::kTypePng:
    return "PNG";
  case engine::kTypeIco:
    return "ICO";
  case engine::kTypeTiff:
    return "TIFF";
  case engine::kTypeTga:
    return "TGA";
  case engine::kTypePcx:
    return "PCX";
  case engine::kTypeWbmp:
    return "WBMP";
  case engine::kTypeWmf:
    return "WMF/EMF";
  case engine::kTypeJp2:
    return "JPEG 2000";
  case engine::kTypeJpc:
    return "JPEG 2000 code stream";
  case engine::kTypePgx:
    return "PGX";
  case engine::kTypePnm:
    return "PNM";
  case engine::kTypeRas:
    return "Sun raster";
  case engine::kTypeSka:
    return "SKA";
  case engine::kTypeRaw:
    return "camera raw";
  case engine::kTypePsd:
    return "PSD";
  default:
    return "unknown";
  }
}

std::string EngineApi::FailureReason(const std::string& path, int result) {
  std::lock_guard<std::mutex> lock(EngineMutex());
  return ReasonLocked(path, result);
}

InputDescription DescribeInput(const std::string& path) {
  std::lock_guard<std::mutex> lock(EngineMutex());
  InputDescription d;
  d.typeName = ImageTypeName(engine::SniffImageType(path.c_str()));
  int h = EngineCreate("/dev/null");
  if (!h) {
    d.reason = "the engine could not start";
    return d;
  }
  std::vector<char> text(path.begin(), path.end());
  text.push_back('\0');
  d.frames = EngineQuery(h, ENGINE_Q_FRAME_COUNT, nullptr, nullptr, text.data(), nullptr);
  if (d.frames > 0) {
    d.ok = true;
    EngineQuery(h, ENGINE_Q_IMAGE_WIDTH, &d.width, &d.height, text.data(), nullptr);
    EngineQuery(h, ENGINE_Q_X_RESOLUTION, &d.xdpi, &d.ydpi, text.data(), nullptr);
    d.bitsPerPixel =
        EngineQuery(h, ENGINE_Q_BITS_PER_PIXEL, nullptr, nullptr, text.data(), nullptr);
  } else {
    d.frames = 0;
    d.reason = ReasonLocked(path, 0);
  }
  EngineClose(h);
  return d;
}

} // namespace app
