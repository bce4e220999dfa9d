// Windows icons and cursors: a directory of images, each a PNG or a bitmap with its mask.
#include <algorithm>

#include "imagelib/readers.h"

namespace imagelib::detail {

Result ReadIco(Source& src, const LoadOptions& opt, Image& out) {
  Cursor c(src);
  int reserved = c.U16LE(), type = c.U16LE(), count = c.U16LE();
  if (c.Short()) return Truncated();
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return Corrupt("not an icon file");
  if (6 + 16ull * count > src.Size()) return Truncated();
  if (opt.frame >= count)
    return Result::Fail(Status::kNoSuchFrame,
                        "the icon has only " + std::to_string(count) + " images");
  c.Seek(6 + 16ull * opt.frame + 8);
  uint32_t size = c.U32LE(), offset = c.U32LE();
  if (c.Short()) return Truncated();
  if (offset < 6 + 16ull * count || offset >= src.Size()) return Truncated();
  if (size > src.Size() - offset) {
    if (!opt.headerOnly) return Truncated();
    size = static_cast<uint32_t>(src.Size() - offset);
  }
  SubSource sub(src, offset, size);
  uint8_t sig[8] = {};
  sub.ReadAt(0, sig, 8);
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Result r =
      std::equal(sig, sig + 8, kPng) ? ReadPng(sub, opt, out) : ReadDib(sub, 0, 0, true, opt, out);
  if (!r) return r;
  out.SetFrameInfo(ImageType::kIco, opt.frame, count);
  return r;
}

} // namespace imagelib::detail
