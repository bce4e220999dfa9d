// Recognises an input image file by its first bytes or, for formats without a signature, by
// its extension.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// Image type codes of the image library.
enum ImageType : int {
  kTypeUnknown = -1,
  kTypeBmp = 1,
  kTypeGif = 2,
  kTypeJpeg = 3,
  kTypePng = 4,
  kTypeIco = 5,
  kTypeTiff = 6,
  kTypeTga = 7,
  kTypePcx = 8,
  kTypeWbmp = 9,
  kTypeWmf = 10,
  kTypeJp2 = 11,
  kTypeJpc = 12,
  kTypePgx = 13,
  kTypePnm = 14,
  kTypeRas = 15,
  kTypeSka = 18,
  kTypeRaw = 19,
  kTypePsd = 20,
};

// Classifies the first bytes of a file (up to 128) and its name.
int SniffImageBytes(const uint8_t* head, size_t n, const char* path);

// Opens the file and classifies it; -1 when it cannot be opened.
int SniffImageType(const char* path);

}  // namespace engine
