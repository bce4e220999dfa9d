// Image XObjects: writing their objects, drawing them and listing them in page resources.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image_record.h"

namespace images {

// Starts the image XObject of one strip of `image` (`rows` rows): ends the page's open
// content stream, appends the list entry, writes the dictionary and opens the stream body.
// A deflated body (`deflate`) runs through the writer's deflate stream; otherwise the
// caller hands raw bytes to WriteRaw. `paletteObject` is the palette stream of indexed
// images.
class ImageStream {
public:
  ImageStream(const ImageContext& ctx, const ImageRecord& image, int rows, int paletteObject,
              bool deflate);
  ~ImageStream();
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;

  int index() const { return index_; }
  // Raw body bytes, encrypted with this object's key when security is on. `bytes` is
  // used as scratch and may be changed.
  void WriteRaw(uint8_t* bytes, size_t n);
  // Deflated body bytes.
  void WriteDeflated(const void* bytes, size_t n);
  // Closes the body, writes the length object, reopens the page's content stream.
  void Finish();

private:
  const ImageContext& ctx_;
  int object_ = 0;
  int lengthObject_ = 0;
  int index_ = -1;
  bool deflate_ = false;
  bool finished_ = false;
  int64_t start_ = 0;
};

// Writes the palette of an indexed image as a Flate stream; returns its object number.
int WritePaletteStream(const ImageContext& ctx, const ImageRecord& image);

// Draws the image with its lower-left corner at (x, y) and `scale` points per pixel; multi-
// strip images stack their strips from the top down.
// The components a colour profile describes (1 grey, 3 RGB, 4 CMYK), or 0 for any other
// profile or bytes that are none.
int IccComponents(const std::vector<uint8_t>& profile);
// Writes the image's colour profile as an ICC stream when it fits the image's colour space
// (the profile is dropped otherwise), before the image's own object begins.
void WriteIccStream(const ImageContext& ctx, ImageRecord& image);

void DrawImage(const ImageContext& ctx, const ImageRecord& image, float x, float y, float scale);

// The /XObject entry of the page's resource dictionary: every XObject drawn on the page
// since the last call.
void WritePageXObjects(pdf::Writer& w, XObjectList& list);

} // namespace images
