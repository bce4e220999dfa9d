// The format readers behind Load. Each fills `out` (geometry, palette, pixels, resolution,
// frame information) or returns the reason it could not.
#pragma once

#include "imagelib/imagelib.h"
#include "imagelib/source.h"

namespace imagelib::detail {

Result ReadBmp(Source& src, const LoadOptions& opt, Image& out);
// A device-independent bitmap at `offset` (info header first). In icon mode the height is that
// of the colour and mask bitmaps together and the mask gives the transparency.
Result ReadDib(Source& src, uint64_t offset, uint64_t pixelOffset, bool iconMode,
               const LoadOptions& opt, Image& out);
Result ReadPng(Source& src, const LoadOptions& opt, Image& out);
Result ReadJpeg(Source& src, const LoadOptions& opt, Image& out);
Result ReadTiff(Source& src, const LoadOptions& opt, Image& out);
Result ReadJpeg2000(Source& src, bool codestream, const LoadOptions& opt, Image& out);
Result ReadPnm(Source& src, const LoadOptions& opt, Image& out);
Result ReadTga(Source& src, const LoadOptions& opt, Image& out);
Result ReadPcx(Source& src, const LoadOptions& opt, Image& out);
Result ReadIco(Source& src, const LoadOptions& opt, Image& out);
Result ReadWbmp(Source& src, const LoadOptions& opt, Image& out);
Result ReadSun(Source& src, const LoadOptions& opt, Image& out);
Result ReadPgx(Source& src, const LoadOptions& opt, Image& out);

// kTooLarge when an image of this size would exceed the limits.
Result CheckLimits(int width, int height, int bitsPerPixel, bool withAlpha, const Limits& limits);

// Drops an alpha plane that is everywhere 255, or with zeroToo also one that is everywhere 0
// (bitmaps that leave the fourth byte unset).
void DropTrivialAlpha(Image& img, bool zeroToo = false);

} // namespace imagelib::detail
