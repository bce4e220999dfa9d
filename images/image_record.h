// The document's image XObject list and the records of the images being embedded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdfwriter/assembly.h"
#include "pdfwriter/graphics_state.h"
#include "pdfwriter/writer.h"

namespace images {

// One image XObject of the document. Its position in the list is its index, which names it
// "/I<index>"; entries are never removed, so names stay unique within a document.
struct XObjectEntry {
  enum Flags : int32_t { kDefined = 1, kUsedOnPage = 2 };
  int32_t objectNumber = 0; // without the writer's base number
  int32_t flags = 0;
  int32_t kind = 1; // 1 image
};

struct XObjectList {
  std::vector<XObjectEntry> entries;
  int Append(int objectNumber);
};

enum class Filter { kNone, kDct, kLzw, kRunLength, kFax, kFlate };

enum ColourClass : int32_t {
  kGrey = 0,
  kRgb = 1,
  kCmyk = 2,
  kIndexed = 6,
  kStencilMask = 9,
};

struct ImageRecord {
  std::string path;
  float width = 0, height = 0; // the whole image, in pixels
  int32_t bitsPerComponent = 0;
  int32_t componentCount = 0;
  Filter filter = Filter::kNone;
  int32_t colourClass = kGrey;
  bool invertDecode = false;
  int32_t maskImage = -1;
  int32_t stripCount = 1;  // XObjects the image is made of, drawn from the top down
  int32_t stripHeight = 1; // rows per XObject, the last may hold fewer
  float xResolution = 0, yResolution = 0;
  bool loaded = false;
  bool passThrough = false;
  int64_t dataStart = 0;
  int32_t xobjectIndex = -1; // the first of stripCount consecutive entries
  // How the stored rows are turned (TIFF Orientation values): drawn upright by the image
  // matrix, the data left as stored. 5 to 8 exchange width and height on the page.
  int32_t orientation = 1;

  // Embedded colour profile (ICC) for grey, RGB and CMYK images, and its stream object once
  // written (0 before).
  std::vector<uint8_t> iccProfile;
  int32_t iccObject = 0;

  // TIFF only.
  std::vector<uint8_t> palette; // 3 bytes per entry
  int32_t predictor = 1;
  std::string faxParameters;
};

// The document's image records; released records are reused.
struct ImageTable {
  std::vector<ImageRecord> records;
  int Acquire();
  void Release(int index);
  ImageRecord* Get(int index);
};

// What the image writers act on: the document's writer, page data, XObject list and
// graphics state.
struct ImageContext {
  pdf::Writer& writer;
  pdf::DocumentData& data;
  XObjectList& xobjects;
  pdf::GraphicsStack& graphics;
  bool autoRotate = false; // JPEG data drawn upright by its Exif orientation
};

} // namespace images
