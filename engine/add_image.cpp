// EngineAddImage: recognises an input file and routes it. JPEG data passes through (or is
// re-encoded at the chosen quality), TIFF pages are re-saved page by page under the document's
// compression choices, other formats the image library reads are re-saved as JPEG or CCITT G4
// TIFF, and everything else goes through the converter plug-in, which makes a TIFF.
#include <strings.h>

#include <cstring>
#include <string>

#include "converter/loader.h"
#include "engine/document.h"
#include "engine/engine.h"
#include "engine/image_type.h"
#include "engine/routing.h"
#include "engine/temp_file.h"
#include "imagelib/imagelib.h"
#include "images/skew.h"

namespace engine {
namespace {

using imagelib::Image;

using imagelib::LoadOptions;

// Frames first..last (from 1) of an input with n frames, or false when out of reach.
struct FrameRange {
  int first = 1, last = 1;
};

bool SelectFrames(EngineDocument& doc, int n, FrameRange& range) {
  int first = doc.page.frameFirst, count = doc.page.frameCount;
  if (first <= 0 || count <= 0) {
    range = {1, n};
    return true;
  }
  range = {first, first + count - 1};
  return range.last <= n;
}

int CompressionFor(const char* name, int recorded) {
  if (std::strcmp(name, "lzw") == 0) return imagelib::kCompressionLzw;
  if (std::strcmp(name, "zip") == 0) return imagelib::kCompressionDeflate;
  if (std::strcmp(name, "packbits") == 0) return imagelib::kCompressionPackBits;
  if (std::strcmp(name, "jpeg") == 0) return imagelib::kCompressionJpeg;
  if (std::strcmp(name, "g3") == 0) return imagelib::kCompressionCcittG3;
  if (std::strcmp(name, "g4") == 0) return imagelib::kCompressionCcittG4;
  return recorded;
}

// Palette pages become 24-bit, or grey when they are too large for a colour copy.
bool FlattenPalette(Image& img) {
  bool huge = img.Width() > 10000 || img.Height() > 10000;
  return huge ? img.ConvertToGrey8().ok() : img.ExpandTo24().ok();
}

bool IsPalette(const Image& img) {
  if (img.BitsPerPixel() == 1) return !img.IsBlackAndWhite();
  return (img.BitsPerPixel() == 4 || img.BitsPerPixel() == 8) && !img.IsGreyscale();
}

bool IsWritableWithoutLoss(int code) {
  return code == imagelib::kCompressionLzw || code == imagelib::kCompressionDeflate ||
         code == imagelib::kCompressionAdobeDeflate || code == imagelib::kCompressionPackBits;
}

// Lossless pages: Deflate with horizontal differencing, which the TIFF reader copies as
// Flate; palettes stay palettes.
void SetDeflate(Image& img) {
  img.SetWriteCompression(imagelib::kCompressionDeflate);
  img.SetWritePredictor(IsPalette(img) ? 1 : 2);
}

// The compression a grey or colour TIFF page is written with under the user's name for its
// class. Without loss, JPEG (chosen or recorded) and compressions the writer cannot produce
// become Deflate.
int GreyOrColourCompression(const EngineDocument& doc, const char* name, int recorded) {
  int code = CompressionFor(name, recorded);
  if (doc.lossless && !IsWritableWithoutLoss(code)) return imagelib::kCompressionDeflate;
  return code;
}

int BitonalCompression(const EngineDocument& doc, int recorded) {
  int code = CompressionFor(doc.compression[0], recorded);
  bool ccitt = code == imagelib::kCompressionCcittG3 || code == imagelib::kCompressionCcittG4;
  if (doc.lossless && !ccitt && !IsWritableWithoutLoss(code)) return imagelib::kCompressionCcittG4;
  return code;
}

// Chooses how one TIFF page is written, from its depth and the document's names. The
// library writes its photometric interpretation with the data, so no page needs inverting to
// stay black on white.
bool PrepareTiffPage(EngineDocument& doc, Image& img) {
  int recorded = img.RecordedCompression();
  if (IsPalette(img)) {
    // Two colours that are not black and white always keep their colours.
    if (doc.lossless || img.BitsPerPixel() == 1) {
      SetDeflate(img);
    } else {
      if (!FlattenPalette(img)) return false;
      img.SetWriteCompression(imagelib::kCompressionJpeg);
    }
  } else if (img.BitsPerPixel() == 1) {
    img.SetWriteCompression(BitonalCompression(doc, recorded));
  } else if (img.IsGreyscale()) {
    img.SetWriteCompression(GreyOrColourCompression(doc, doc.compression[1], recorded));
  } else if (img.BitsPerPixel() == 24) {
    img.SetWriteCompression(GreyOrColourCompression(doc, doc.compression[2], recorded));
  } else {
    img.SetWriteCompression(imagelib::kCompressionLzw);
  }
  if (doc.lossless && img.WriteCompression() == imagelib::kCompressionDeflate) SetDeflate(img);
  int q = doc.jpegQuality;
  img.SetJpegQuality(q >= 1 && q <= 100 ? q : 75);
  if (doc.skewCorrection && img.BitsPerPixel() == 1 && img.IsBlackAndWhite()) {
    images::BitonalPage page;
    page.bits = img.Pixels();
    page.width = img.Width();
    page.height = img.Height();
    page.stride = static_cast<int>(img.Stride());
    page.order = images::RowOrder::kTopDown;
    page.ink = images::InkBit::kOneIsBlack;
    images::SkewCorrectPage(page);
  }
  return true;
}

} // namespace

namespace {

// A page whose chosen compression is the one it already has needs no rewriting: its strips
// can be copied straight from the input, which gives the same image in the PDF.
bool CanCopyPage(const EngineDocument& doc, const Image& page) {
  int recorded = page.RecordedCompression();
  if (recorded == imagelib::kCompressionAdobeDeflate) recorded = imagelib::kCompressionDeflate;
  bool copyable =
      recorded == imagelib::kCompressionCcittG3 || recorded == imagelib::kCompressionCcittG4 ||
      recorded == imagelib::kCompressionLzw || recorded == imagelib::kCompressionDeflate ||
      recorded == imagelib::kCompressionPackBits;
  if (!copyable || IsPalette(page)) return false;
  if (page.BitsPerPixel() == 1) {
    if (doc.skewCorrection) return false;
    return BitonalCompression(doc, recorded) == recorded;
  }
  const char* name = page.IsGreyscale()          ? doc.compression[1]
                     : page.BitsPerPixel() == 24 ? doc.compression[2]
                                                 : nullptr;
  if (!name) return false;
  return GreyOrColourCompression(doc, name, recorded) == recorded;
}

} // namespace

int AddTiffPages(int handle, const char* path) {
  EngineDocument* doc = Lookup(handle);
  if (!doc || !path || !*path) return 0;
  TempFile temp(handle, "dabp");
  if (!temp.ok()) return 0;
  Image header;
  LoadOptions opt;
  opt.headerOnly = true;
  if (!imagelib::Load(path, imagelib::ImageType::kTiff, opt, header)) return 0;
  int n = header.FrameCount();
  if (n <= 0) return 0;
  FrameRange range;
  if (!SelectFrames(*doc, n, range)) return -1;
  int result = 0;
  for (int p = range.first; p <= range.last; ++p) {
    Image pageHeader;
    LoadOptions headerOnly;
    headerOnly.headerOnly = true;
    headerOnly.frame = p - 1;
    if (imagelib::Load(path, imagelib::ImageType::kTiff, headerOnly, pageHeader) &&
        CanCopyPage(*doc, pageHeader)) {
      result = PlaceTiffDirectory(handle, path, p);
      if (result > 0) continue;
    }
    Image img;
    LoadOptions full;
    full.frame = p - 1;
    if (!imagelib::Load(path, imagelib::ImageType::kTiff, full, img) || !img.IsValid() ||
        !PrepareTiffPage(*doc, img)) {
      result = 0;
      continue;
    }
    bool written = img.Write(temp.path()).ok();
    img.Release();
    result = written ? PlaceImageFile(handle, temp.path().c_str()) : 0;
  }
  return result;
}

namespace {

int LibraryRoute(EngineDocument& doc, int handle, const char* path, int type, const TempFile& temp,
                 bool& taken);

int JpegRoute(EngineDocument& doc, int handle, const char* path, const TempFile& temp) {
  int q = doc.jpegQuality;
  if (q < 1 || q > 100) {
    int placed = PlaceImageFile(handle, path);
    if (placed > 0) return placed;
    // Data a PDF reader cannot decode (arithmetic coding, say) is decoded here instead and
    // written like any other picture.
    bool taken = false;
    return LibraryRoute(doc, handle, path, kTypeJpeg, temp, taken);
  }
  Image img;
  if (!imagelib::Load(path, imagelib::ImageType::kJpeg, LoadOptions{}, img) || !img.IsValid())
    return 0;
  // The new file carries no Exif block, so it is written upright.
  if (doc.autoRotate && !img.ApplyOrientation()) return 0;
  img.SetJpegQuality(q);
  if (!img.WriteJpeg(temp.path())) return 0;
  return PlaceImageFile(handle, temp.path().c_str());
}

// The library route; false in `taken` sends the file on to the converter.
int LibraryRoute(EngineDocument& doc, int handle, const char* path, int type, const TempFile& temp,
                 bool& taken) {
  taken = false;
  Image header;
  LoadOptions opt;
  opt.headerOnly = true;
  imagelib::ImageType t = imagelib::ImageTypeFromCode(type);
  if (!imagelib::Load(path, t, opt, header) || header.FrameCount() > 1) return 0;
  taken = true;
  int first = doc.page.frameFirst, count = doc.page.frameCount;
  if (first > 0 && count > 0 && first + count - 1 > 1) return -1;
  Image img;
  if (!imagelib::Load(path, t, LoadOptions{}, img) || !img.IsValid()) return 0;
  // Transparent pixels land on white paper.
  if (img.HasAlpha() && !img.CompositeOnWhite()) return 0;
  if (img.BitsPerPixel() == 1 && img.IsBlackAndWhite()) {
    img.SetWriteCompression(imagelib::kCompressionCcittG4);
  } else if (doc.lossless || img.BitsPerPixel() == 1) {
    SetDeflate(img);
  } else if (img.BitsPerPixel() == 24 || img.IsGreyscale()) {
    img.SetWriteCompression(imagelib::kCompressionJpeg);
    img.SetJpegQuality(75);
  } else {
    if (!FlattenPalette(img)) return 0;
    img.SetWriteCompression(imagelib::kCompressionJpeg);
  }
  if (!img.Write(temp.path())) return 0;
  return PlaceImageFile(handle, temp.path().c_str());
}

} // namespace

int ConvertWithPlugin(int handle, const char* path, TempFile& output) {
  if (!converter::Plugin::Instance().Loaded() || !output.ok()) return -1;
  std::string module = "zorvalex5", verb = "convert", src = path, dst = output.path();
  char* argv[4] = {module.data(), verb.data(), src.data(), dst.data()};
  return converter::Plugin::Instance().Call(4, argv) < 0 ? -1 : 1;
}

} // namespace engine

using engine::EngineDocument;

extern "C" int EngineAddImage(int handle, const char* path) {
  // Checked before any temporary file is made, so a refused call leaves nothing behind.
  EngineDocument* doc = engine::Lookup(handle);
  if (!doc || !path || !*path || engine::IsSpecialFile(path)) return 0;
  engine::TempFile work(handle, "daap");
  if (!work.ok()) return 0;
  int type = engine::SniffImageType(path);
  engine::Route route = engine::RouteFor(type);
  if (route == engine::Route::kJpeg) return engine::JpegRoute(*doc, handle, path, work);
  if (route == engine::Route::kTiff) return engine::AddTiffPages(handle, path);
  if (route == engine::Route::kLibrary) {
    bool taken = false;
    int r = engine::LibraryRoute(*doc, handle, path, type, work, taken);
    if (taken) return r;
  }
  work.Remove();
  engine::TempFile converted(handle, "dacp", ".tif", true);
  int r = engine::ConvertWithPlugin(handle, path, converted);
  if (r < 0) return r;
  converted.Unname();
  return engine::AddTiffPages(handle, converted.path().c_str());
}
