// Header, footer, text watermark and image watermark of a finished page.
#pragma once

#include <functional>
#include <string>

#include "app/engine_calls.h"

namespace app {

struct DecorationSettings {
  int header = 0, hpos = 0, hcolor = 0;
  std::string hWatermark;
  int footer = 0, fpos = 0, fcolor = 0;
  std::string fWatermark;
  int text = 0, tpos = 0, tcolor = 0, tsize = 0;
  std::string tWatermark;
  int image = 0, imgpos = 4, imgWidth = 100, imgHeight = 100;
  std::string imgWatermark;
  // Font of header, footer and text watermark.
  std::string font = "Helvetica";
};

struct Point {
  int x = 0, y = 0;
};

// Top-left corner of a w x h decoration at position 0..8 on a W x H page, 3 points in from
// the edges; other positions act as 0.
Point NinePosition(int position, int W, int H, int w, int h);

// Size of header and footer text on a page W points wide.
int HeaderFooterSize(int W);

// Header and footer texts go through `expand` (macros and page-text encoding); the text
// watermark only through `encode`. When `unicodeFont` is set, text that the single-byte code
// page cannot hold is drawn as UTF-8 (header and footer after `expandUtf8`) in an installed
// font: `unicodeFont` gets the configured font and the text and names the family that shows
// every character (empty when there is none).
struct TextFilters {
  std::function<std::string(const std::string&)> expand;
  std::function<std::string(const std::string&)> encode;
  std::function<std::string(const std::string&)> expandUtf8;
  std::function<std::string(const std::string& font, const std::string& utf8)> unicodeFont;
};

void DrawPageDecorations(EngineCalls& engine, int handle, int W, int H, const DecorationSettings& s,
                         const TextFilters& filters);

} // namespace app
