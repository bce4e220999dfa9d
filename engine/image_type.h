// The one image-type classification of input files and the one rule for which reader gets
// each type. The type codes are the image library's (imagelib::ImageType); an input file is
// recognised by its first bytes or, for formats without a signature, by its extension.
// No state: any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagelib/imagelib.h"

namespace engine {

using imagelib::ImageType;

// The codes as plain integers, as the engine's tables and queries use them.
inline constexpr int kTypeUnknown = static_cast<int>(ImageType::kUnknown);
inline constexpr int kTypeBmp = static_cast<int>(ImageType::kBmp);
inline constexpr int kTypeGif = static_cast<int>(ImageType::kGif);
inline constexpr int kTypeJpeg = static_cast<int>(ImageType::kJpeg);
inline constexpr int kTypePng = static_cast<int>(ImageType::kPng);
inline constexpr int kTypeIco = static_cast<int>(ImageType::kIco);
inline constexpr int kTypeTiff = static_cast<int>(ImageType::kTiff);
inline constexpr int kTypeTga = static_cast<int>(ImageType::kTga);
inline constexpr int kTypePcx = static_cast<int>(ImageType::kPcx);
inline constexpr int kTypeWbmp = static_cast<int>(ImageType::kWbmp);
inline constexpr int kTypeWmf = static_cast<int>(ImageType::kMetafile);
inline constexpr int kTypeJp2 = static_cast<int>(ImageType::kJp2);
inline constexpr int kTypeJpc = static_cast<int>(ImageType::kJpc);
inline constexpr int kTypePgx = static_cast<int>(ImageType::kPgx);
inline constexpr int kTypePnm = static_cast<int>(ImageType::kPnm);
inline constexpr int kTypeRas = static_cast<int>(ImageType::kSunRaster);
inline constexpr int kTypeSka = static_cast<int>(ImageType::kSka);
inline constexpr int kTypeRaw = static_cast<int>(ImageType::kCameraRaw);
inline constexpr int kTypePsd = static_cast<int>(ImageType::kPsd);

// Classifies the first bytes of a file (up to 128) and its name.
int SniffImageBytes(const uint8_t* head, size_t n, const char* path);

// Opens the file and classifies it; -1 when it cannot be opened.
int SniffImageType(const char* path);

// Which reader a type goes to first. Library types the library then cannot read, and every
// other type, go to the converter plug-in.
enum class Route {
  kJpeg,    // JPEG data, passed through or re-encoded
  kTiff,    // TIFF pages, never handed to the plug-in
  kLibrary, // the image library
  kPlugin,  // the converter plug-in (GIF, PSD and unknown files)
};
constexpr Route RouteFor(int type) {
  if (type == kTypeJpeg) return Route::kJpeg;
  if (type == kTypeTiff) return Route::kTiff;
  if (type >= kTypeBmp && type <= kTypeRaw && type != kTypeGif) return Route::kLibrary;
  return Route::kPlugin;
}
// Read by the image library, TIFF and JPEG included.
constexpr bool LibraryReads(int type) {
  return RouteFor(type) != Route::kPlugin;
}
// A type the engine recognises (the plug-in's PSD included); 0 frames for the others.
constexpr bool Recognised(int type) {
  return type >= kTypeBmp && type <= kTypePsd;
}

} // namespace engine
