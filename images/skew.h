// Skew correction of scanned 1-bit pages: estimate the slope of the text lines and turn the
// page's pixels back by it, in place, keeping the page's size.
//
// Works on a plain pixel buffer so that it does not depend on the image library:
//   - 1 bit per pixel, most significant bit first (pixel x is bit 7 - x % 8 of byte x / 8);
//   - `stride` bytes per row, at least (width + 7) / 8; the library's rows are padded to a
//     multiple of 32 pixels, so its stride is w32 / 8 with w32 = (width + 31) / 32 * 32;
//   - rows stored top-down or bottom-up (the library keeps them bottom-up);
//   - either bit value may be ink, as the page's palette says; the other one is paper.
// Only the first `width` pixels of a row are read or written; padding bits stay as they are.
//
// Angles are in radians in the page's visual coordinates (x to the right, y downwards, row 0 at
// the top whatever the storage order): a positive angle means text lines that descend to the
// right. DetectSkew returns that slope, and RotateBits(page, a) turns a line of slope s into one
// of slope s + a, so RotateBits(page, -DetectSkew(page)) makes the text horizontal.
#pragma once

#include <cstdint>
#include <memory_resource>

namespace images {

enum class RowOrder { kTopDown, kBottomUp };

// Which bit value marks ink (black) pixels.
enum class InkBit { kOneIsBlack, kZeroIsBlack };

struct BitonalPage {
  uint8_t* bits = nullptr;
  int width = 0;  // pixels per row
  int height = 0; // rows
  int stride = 0; // bytes from one stored row to the next
  RowOrder order = RowOrder::kBottomUp;
  InkBit ink = InkBit::kOneIsBlack;
};

// Pages taller than this, or wider once rounded up to 32 pixels, are never corrected.
inline constexpr int kSkewMaxSide = 10240;
// Only angles strictly inside (-kSkewMaxAngle, kSkewMaxAngle) are corrected (about 25.8 deg).
inline constexpr float kSkewMaxAngle = 0.45f;
// Rotations smaller than this leave the page as it is.
inline constexpr float kSkewMinAngle = 0.0001f;

// True when the buffer describes a page these functions can work on (non-null bits, positive
// size, stride large enough for the width).
bool IsValidBitonalPage(const BitonalPage& page);

// Detects the skew of the whole page and straightens it. True when the pixels were rotated;
// false when the page is invalid or too large, the angle is out of range or too small to
// matter, or working memory ran out (the buffer is then untouched).
bool SkewCorrectPage(const BitonalPage& page);

// Slope of the first text lines found in the region [left, right] x [top, bottom] (inclusive,
// visual coordinates, clipped to the page), or 0 when no line could be measured. All working
// memory comes from one pool over `upstream`, released when the call returns; when it runs out
// the result is 0. Never throws.
float DetectSkew(const BitonalPage& page, int left, int top, int right, int bottom,
                 std::pmr::memory_resource* upstream = std::pmr::get_default_resource());
float DetectSkew(const BitonalPage& page);

// Rotates the page's pixels in place about its centre by `angle` (nearest source pixel, 16.16
// fixed-point steps). Areas the rotated page no longer covers become paper. Nothing happens when
// |angle| < kSkewMinAngle, when the page is invalid, or when the working rows cannot be
// allocated from `memory`. True when the pixels were rotated. Never throws.
bool RotateBits(const BitonalPage& page, float angle,
                std::pmr::memory_resource* memory = std::pmr::get_default_resource());

} // namespace images
