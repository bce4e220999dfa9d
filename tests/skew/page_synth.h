// Synthetic scanned pages for the skew tests and benchmark: lines of character-like shapes
// drawn at a known slope straight into a 1-bit buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "images/skew.h"

namespace skewtest {

// A page buffer with the library's layout (rows padded to 32 pixels) plus guard bytes after
// the last row, so that writes past the page can be seen.
struct PageBuffer {
  PageBuffer(int width, int height, images::RowOrder order, images::InkBit ink,
             int extraStrideBytes = 0);
  PageBuffer(const PageBuffer& other) : page(other.page), bytes(other.bytes) {
    page.bits = bytes.data();
  }
  PageBuffer& operator=(const PageBuffer&) = delete;
  images::BitonalPage page;
  std::vector<uint8_t> bytes;
  static constexpr size_t kGuardBytes = 64;
  static constexpr uint8_t kGuardValue = 0xA5;

  void Clear();              // every pixel paper, padding bits zero
  void SetInk(int x, int y); // visual coordinates, row 0 at the top
  bool IsInk(int x, int y) const;
  bool GuardIntact() const;
  long CountInk() const;
};

struct TextLayout {
  int margin = 150;
  int lineSpacing = 60;
  int firstBaseline = 0; // 0: margin + lineSpacing
  int lastBaseline = 0;  // 0: height - margin
  int textLeft = 0;      // 0: margin
  int textRight = 0;     // 0: width - margin
  int centreY = -1;      // row the page turns about; -1: the middle of the page
};

// Draws lines of "characters" (filled and hollow boxes of widths 6..20 and heights 12..30 on a
// common baseline, with letter and word gaps) rotated by `angle` radians about the page centre
// (positive: lines descend to the right), about the middle of the page unless the layout says.
void DrawTextPage(PageBuffer& buf, double angle, unsigned seed, const TextLayout& layout = {});

// Scatters about density x width x height ink dots at random places.
void DrawNoise(PageBuffer& buf, double density, unsigned seed);

} // namespace skewtest
