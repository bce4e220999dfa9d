#include "xobject.h"

#include <cstring>

#include "image_names.h"
#include "pdfwriter/names.h"

namespace images {

int XObjectList::Append(int objectNumber) {
  if (entries.size() == entries.capacity())
    entries.reserve(entries.empty() ? 16 : entries.size() * 2);
  XObjectEntry e;
  e.objectNumber = objectNumber;
  e.flags = XObjectEntry::kDefined;
  e.kind = 1;
  entries.push_back(e);
  return static_cast<int>(entries.size()) - 1;
}

int ImageTable::Acquire() {
  for (size_t i = 0; i < records.size(); ++i)
    if (!records[i].loaded) {
      records[i] = ImageRecord{};
      records[i].loaded = true;
      return static_cast<int>(i);
    }
  if (records.size() == records.capacity())
    records.reserve(records.empty() ? 4 : records.size() * 2);
  records.emplace_back();
  records.back().loaded = true;
  return static_cast<int>(records.size()) - 1;
}

void ImageTable::Release(int index) {
  if (ImageRecord* r = Get(index)) *r = ImageRecord{};
}

ImageRecord* ImageTable::Get(int index) {
  if (index < 0 || static_cast<size_t>(index) >= records.size()) return nullptr;
  return &records[static_cast<size_t>(index)];
}

namespace {

const char* FilterName(Filter f) {
  switch (f) {
  case Filter::kDct:
    return names::kDctFilter;
  case Filter::kLzw:
    return names::kLzwFilter;
  case Filter::kRunLength:
    return names::kRunLengthFilter;
  case Filter::kFax:
    return names::kFaxFilter;
  case Filter::kFlate:
    return names::kFlateFilter;
  case Filter::kNone:
    break;
  }
  return nullptr;
}

void WriteDecodeParms(pdf::Writer& w, const ImageRecord& image, int rows) {
  if (image.filter == Filter::kDct) {
    w.WriteText(names::kEmptyDecodeParms);
    return;
  }
  if (!image.passThrough) return;
  bool predicted =
      image.predictor != 1 && (image.filter == Filter::kLzw || image.filter == Filter::kFlate);
  bool fax = image.filter == Filter::kFax;
  if (!predicted && !fax && image.faxParameters.empty()) return;
  int width = static_cast<int>(image.width);
  w.WriteText(names::kDecodeParmsOpen);
  w.WriteText(image.faxParameters);
  if (predicted) {
    w.WriteFormatted(names::kPredictor, {image.predictor});
    w.WriteFormatted(names::kColumns, {width});
    if (image.bitsPerComponent != 8) w.WriteFormatted(names::kDecodeBits, {image.bitsPerComponent});
    if (image.colourClass == kRgb) w.WriteFormatted(names::kColors, {3});
    if (image.colourClass == kCmyk) w.WriteFormatted(names::kColors, {4});
  }
  if (fax) {
    if (width != names::kFaxDefaultColumns) w.WriteFormatted(names::kColumns, {width});
    w.WriteFormatted(names::kRows, {rows});
  }
  w.WriteText(pdf::names::kDictClose);
}

} // namespace

ImageStream::ImageStream(const ImageContext& ctx, const ImageRecord& image, int rows,
                         int paletteObject, bool deflate)
    : ctx_(ctx), deflate_(deflate) {
  pdf::Writer& w = ctx.writer;
  if (ctx.data.inPage) w.EndContentStream();
  object_ = w.BeginObject(0);
  index_ = ctx.xobjects.Append(object_);
  lengthObject_ = w.NewObjectNumber();

  w.WriteText(pdf::names::kDictOpen);
  w.WriteFormatted(names::kWidth, {static_cast<int>(image.width)});
  w.WriteFormatted(names::kHeight, {rows});
  w.WriteFormatted(names::kBitsPerComponent, {image.bitsPerComponent});
  w.WriteText(names::kImageType);
  int components = 1;
  if (image.colourClass == kIndexed) {
    int hival = static_cast<int>(image.palette.size() / 3) - 1;
    w.WriteFormatted(names::kIndexed, {hival, w.Ref(paletteObject)});
  } else {
    int space = image.colourClass == kCmyk ? 2 : image.colourClass == kRgb ? 1 : 0;
    components = space == 2 ? 4 : space == 1 ? 3 : 1;
    if (image.iccObject > 0) {
      w.WriteFormatted(names::kIccBased, {w.Ref(image.iccObject)});
    } else {
      w.WriteText(names::kColorSpace);
      w.WriteText(names::kDeviceSpaces[space]);
    }
  }
  w.WriteFormatted(pdf::names::kLengthEntry, {w.Ref(lengthObject_)});
  if (const char* filter = FilterName(image.filter)) {
    w.WriteText(names::kFilter);
    w.WriteText(filter);
  }
  WriteDecodeParms(w, image, rows);
  if (image.invertDecode) {
    w.WriteText(names::kDecodeOpen);
    for (int i = 0; i < components; ++i)
      w.WriteText(names::kDecodePair);
    w.WriteText(pdf::names::kArrayClose);
  }
  w.WriteText(pdf::names::kDictClose);
  w.WriteText(pdf::names::kStreamOpen);
  start_ = w.CurrentOffset();
  if (deflate_)
    w.BeginDeflate(object_, 0);
  else if (w.encryptor)
    w.encryptor->SelectObjectKey(w.Ref(object_), 0);
}

ImageStream::~ImageStream() {
  Finish();
}

void ImageStream::WriteRaw(uint8_t* bytes, size_t n) {
  if (finished_ || n == 0) return;
  if (ctx_.writer.encryptor) ctx_.writer.encryptor->EncryptBytes(bytes, n);
  ctx_.writer.WriteBytes(bytes, n);
}

void ImageStream::WriteDeflated(const void* bytes, size_t n) {
  if (finished_ || n == 0) return;
  ctx_.writer.WriteBytes(bytes, n);
}

void ImageStream::Finish() {
  if (finished_) return;
  finished_ = true;
  pdf::Writer& w = ctx_.writer;
  if (deflate_) w.EndDeflate();
  int64_t length = w.CurrentOffset() - start_;
  w.WriteText(pdf::names::kStreamClose);
  w.WriteText(pdf::names::kEndObj);
  w.BeginObject(lengthObject_);
  w.WriteFormatted(pdf::names::kImageLengthLine, {length});
  w.WriteText(pdf::names::kEndObj);
  if (ctx_.data.inPage) w.BeginContentStream();
}

int IccComponents(const std::vector<uint8_t>& profile) {
  if (profile.size() < 132 || std::memcmp(profile.data() + 36, "acsp", 4) != 0) return 0;
  const uint8_t* space = profile.data() + 16;
  if (std::memcmp(space, "GRAY", 4) == 0) return 1;
  if (std::memcmp(space, "RGB ", 4) == 0) return 3;
  if (std::memcmp(space, "CMYK", 4) == 0) return 4;
  return 0;
}

namespace {

// A Flate stream object with an indirect length; entries() writes the dictionary's own keys.
// The page's content stream is closed first: an object written inside it would land in the
// middle of it, and the page's content goes on in a stream of its own after the image.
template <typename Entries>
int WriteFlateObject(const ImageContext& ctx, const std::vector<uint8_t>& bytes, Entries entries) {
  pdf::Writer& w = ctx.writer;
  if (w.contentOpen()) w.EndContentStream();
  int object = w.BeginObject(0);
  int lengthObject = w.NewObjectNumber();
  w.WriteText(pdf::names::kDictOpen);
  entries(w);
  w.WriteFormatted(pdf::names::kLengthEntry, {w.Ref(lengthObject)});
  w.WriteText(pdf::names::kFlateFilter);
  w.WriteText(pdf::names::kDictClose);
  w.WriteText(pdf::names::kStreamOpen);
  int64_t start = w.CurrentOffset();
  w.BeginDeflate(object, 0);
  w.WriteBytes(bytes.data(), bytes.size());
  w.EndDeflate();
  int64_t length = w.CurrentOffset() - start;
  w.WriteText(pdf::names::kStreamClose);
  w.WriteText(pdf::names::kEndObj);
  w.BeginObject(lengthObject);
  w.WriteFormatted(pdf::names::kImageLengthLine, {length});
  w.WriteText(pdf::names::kEndObj);
  return object;
}

} // namespace

void WriteIccStream(const ImageContext& ctx, ImageRecord& image) {
  image.iccObject = 0;
  int n = IccComponents(image.iccProfile);
  int wanted = image.colourClass == kCmyk   ? 4
               : image.colourClass == kRgb  ? 3
               : image.colourClass == kGrey ? 1
                                            : 0;
  if (n == 0 || n != wanted) {
    image.iccProfile.clear();
    return;
  }
  image.iccObject = WriteFlateObject(ctx, image.iccProfile, [n](pdf::Writer& w) {
    w.WriteFormatted(names::kIccComponents, {n});
    w.WriteText(names::kIccAlternate);
    w.WriteText(names::kDeviceSpaces[n == 4 ? 2 : n == 3 ? 1 : 0]);
  });
}

int WritePaletteStream(const ImageContext& ctx, const ImageRecord& image) {
  return WriteFlateObject(ctx, image.palette, [](pdf::Writer&) {});
}

void DrawImage(const ImageContext& ctx, const ImageRecord& image, float x, float y, float scale) {
  pdf::Writer& w = ctx.writer;
  if (!ctx.data.inPage) return;
  pdf::GraphicsStack::EndText(w);
  if (!w.contentOpen()) w.BeginContentStream();
  switch (image.colourClass) {
  case kGrey:
  case kStencilMask:
    ctx.data.procSets |= pdf::kProcImageB;
    break;
  case kIndexed:
    ctx.data.procSets |= pdf::kProcImageC | pdf::kProcImageI;
    break;
  default:
    ctx.data.procSets |= pdf::kProcImageC;
    break;
  }
  // A turned image is drawn as stored inside a matrix that turns it upright into its box.
  bool turned = image.orientation >= 2 && image.orientation <= 8;
  if (turned) {
    if (!ctx.graphics.Save(w)) return;
    const float sw = image.width, sh = image.height;
    float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    switch (image.orientation) {
    case 2:
      a = -1, e = sw;
      break;
    case 3:
      a = -1, d = -1, e = sw, f = sh;
      break;
    case 4:
      d = -1, f = sh;
      break;
    case 5:
      a = 0, b = -1, c = -1, d = 0, e = sh, f = sw;
      break;
    case 6:
      a = 0, b = -1, c = 1, d = 0, f = sw;
      break;
    case 7:
      a = 0, b = 1, c = 1, d = 0;
      break;
    default:
      a = 0, b = 1, c = -1, d = 0, e = sh;
      break;
    }
    pdf::Matrix m;
    m.a = a * scale, m.b = b * scale, m.c = c * scale, m.d = d * scale;
    m.e = e * scale + x, m.f = f * scale + y;
    ctx.graphics.Concat(w, m);
    x = 0, y = 0, scale = 1;
  }
  const float fullHeight = image.height;
  const float strip = image.stripCount > 1 ? static_cast<float>(image.stripHeight) : fullHeight;
  float rows = 0;
  for (int s = 0; s < image.stripCount && rows < fullHeight; ++s) {
    int index = image.xobjectIndex + s;
    if (index < 0 || static_cast<size_t>(index) >= ctx.xobjects.entries.size()) break;
    float t = fullHeight - rows < strip ? fullHeight - rows : strip;
    if (!ctx.graphics.Save(w)) break;
    pdf::Matrix m;
    m.a = image.width * scale;
    m.d = t * scale;
    m.e = x;
    m.f = y + scale * (fullHeight - rows - t);
    ctx.graphics.Concat(w, m);
    w.WriteFormatted(names::kDoImage, {names::kNameInfix, index});
    ctx.graphics.Restore(w);
    ctx.xobjects.entries[static_cast<size_t>(index)].flags |= XObjectEntry::kUsedOnPage;
    rows += strip;
  }
  if (turned) ctx.graphics.Restore(w);
  if (image.maskImage >= 0 && static_cast<size_t>(image.maskImage) < ctx.xobjects.entries.size())
    ctx.xobjects.entries[static_cast<size_t>(image.maskImage)].flags |= XObjectEntry::kUsedOnPage;
}

void WritePageXObjects(pdf::Writer& w, XObjectList& list) {
  bool any = false;
  for (const XObjectEntry& e : list.entries)
    if (e.flags & XObjectEntry::kUsedOnPage) any = true;
  if (!any) return;
  w.WriteText(names::kXObjectOpen);
  for (size_t i = 0; i < list.entries.size(); ++i) {
    XObjectEntry& e = list.entries[i];
    if (!(e.flags & XObjectEntry::kUsedOnPage)) continue;
    w.WriteFormatted(names::kXObjectEntry,
                     {names::kNameInfix, static_cast<int>(i), w.Ref(e.objectNumber)});
    e.flags &= ~XObjectEntry::kUsedOnPage;
  }
  w.WriteText(pdf::names::kDictClose);
}

} // namespace images
