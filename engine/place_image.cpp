// Placing the images of a JPEG or TIFF file on pages.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "document.h"
#include "engine.h"
#include "images/jpeg_xobject.h"
#include "images/tiff_reader.h"
#include "images/xobject.h"
#include "temp_file.h"

namespace engine {
namespace {

// Pages of PDF 1.4 readers end at 14400 points; larger images are scaled down to fit.
constexpr float kMaxPageSide = 14400.0f;
// A file has at most this many directories worth reading; beyond is a damaged chain.
constexpr int kMaxDirectories = 65535;

enum class FileKind { kUnreadable, kJpeg, kTiff };

FileKind Sniff(const char* path) {
  if (IsSpecialFile(path)) return FileKind::kUnreadable;
  FILE* f = std::fopen(path, "rb");
  if (!f) return FileKind::kUnreadable;
  unsigned char head[10];
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  if (n < sizeof head) return FileKind::kUnreadable;
  if ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))
    return FileKind::kTiff;
  return FileKind::kJpeg;
}

images::ImageContext Context(EngineDocument& doc) {
  return images::ImageContext{*doc.writer, doc.data, doc.xobjects, doc.graphics};
}

void Place(EngineDocument& doc, const images::ImageRecord& image) {
  PageState& ps = doc.page;
  const float w = image.width, h = image.height;
  bool capped = false;
  float s = 1;
  if (!ps.pageOpen) {
    int pageW = static_cast<int>(w), pageH = static_cast<int>(h);
    if (w >= kMaxPageSide || h >= kMaxPageSide) {
      s = std::min(kMaxPageSide / w, kMaxPageSide / h);
      pageW = std::max(1, static_cast<int>(w * s));
      pageH = std::max(1, static_cast<int>(h * s));
      capped = true;
    }
    // The box set before the page began still applies to the automatic page.
    int box[4] = {ps.boxX, ps.boxY, ps.boxW, ps.boxH};
    BeginPage(doc, pageW, pageH, false);
    ps.boxX = box[0];
    ps.boxY = box[1];
    ps.boxW = box[2];
    ps.boxH = box[3];
    if (capped) {
      ps.boxX = ps.boxY = 0;
      ps.boxW = pageW;
      ps.boxH = pageH;
    }
    ps.pageKind = 1;
  }

  float sx = ps.boxW != 0 ? static_cast<float>(ps.boxW) / w : 1.0f;
  float sy = ps.boxH != 0 ? static_cast<float>(ps.boxH) / h : 1.0f;
  if (capped) sx = sy = s;
  // A box of natural height keeps the image's top edge at the box's top.
  float boxH = ps.boxH != 0 ? static_cast<float>(ps.boxH) : h;

  images::ImageContext ctx = Context(doc);
  pdf::Writer& wr = *doc.writer;
  if (doc.graphics.Save(wr)) {
    if (sx != 1.0f || sy != 1.0f) {
      pdf::Matrix m;
      m.a = sx;
      m.d = sy;
      doc.graphics.Concat(wr, m);
    }
    float x = static_cast<float>(ps.boxX) / sx;
    float y = (static_cast<float>(ps.pageHeight) - static_cast<float>(ps.boxY) - boxH) / sy;
    images::DrawImage(ctx, image, x, y, 1.0f);
    doc.graphics.Restore(wr);
  }

  if (ps.pageKind == 1) EndPage(doc);
}

} // namespace
} // namespace engine

namespace engine {

int PlaceTiffDirectory(int handle, const char* path, int directory) {
  EngineDocument* doc = Lookup(handle);
  if (!doc || !path || !*path || directory < 1) return 0;
  images::ImageContext ctx = Context(*doc);
  int index = images::OpenTiffImage(ctx, doc->images, path, directory);
  if (index < 0) return 0;
  Place(*doc, *doc->images.Get(index));
  doc->images.Release(index);
  return 1;
}

} // namespace engine

extern "C" int PlaceImageFile(int handle, const char* path) {
  engine::EngineDocument* doc = engine::Lookup(handle);
  if (!doc || !path || !*path) return 0;
  engine::FileKind kind = engine::Sniff(path);
  if (kind == engine::FileKind::kUnreadable) return 0;
  images::ImageContext ctx = engine::Context(*doc);
  for (int k = 1; k <= engine::kMaxDirectories; ++k) {
    int index = kind == engine::FileKind::kTiff ? images::OpenTiffImage(ctx, doc->images, path, k)
                                                : images::LoadJpegImage(ctx, doc->images, path);
    if (index < 0) return k == 1 ? 0 : 1;
    engine::Place(*doc, *doc->images.Get(index));
    doc->images.Release(index);
    if (kind == engine::FileKind::kJpeg) break;
  }
  return 1;
}
