#include "decorations.h"

#include <strings.h>

#include <algorithm>
#include <vector>

#include "app/text_encoding.h"

namespace app {
namespace {

constexpr int kDecorationFont = ENGINE_FONT_HELVETICA;
constexpr int kInset = 3;

int MeasureWidth(EngineCalls& e, int handle, const std::string& t) {
  return e.TextWidth(handle, t);
}
int MeasureHeight(EngineCalls& e, int handle, const std::string& t) {
  return e.TextHeight(handle, t);
}

int AlignedX(int alignment, int W, int w) {
  if (alignment == 1) return W / 2 - w / 2;
  if (alignment == 2) return W - w;
  return kInset;
}

std::string Apply(const std::function<std::string(const std::string&)>& f, const std::string& s) {
  return f ? f(s) : s;
}

// A decoration's font choices, tried in turn until the engine can measure the text in one;
// the last, the standard font of today's decorations, always can.
struct Candidate {
  enum { kIdentity, kEmbedded, kNamed, kDefault } how;
  std::string family;
  const std::string* text;
};

void Select(EngineCalls& e, int handle, const Candidate& c, int size) {
  switch (c.how) {
  case Candidate::kIdentity:
    e.SetOption(handle, ENGINE_OPT_FONT, 1, size, c.family.c_str(), nullptr);
    e.SetOption(handle, ENGINE_OPT_FONT_ENCODING, 1, 0, "Identity-H", nullptr);
    break;
  case Candidate::kEmbedded:
    e.SetOption(handle, ENGINE_OPT_FONT, 1, size, c.family.c_str(), nullptr);
    e.SetOption(handle, ENGINE_OPT_FONT_ENCODING, 1, 0, "WinAnsiEncoding", nullptr);
    break;
  case Candidate::kNamed:
    e.SetOption(handle, ENGINE_OPT_FONT, 1, size, c.family.c_str(), nullptr);
    break;
  case Candidate::kDefault:
    e.SetOption(handle, ENGINE_OPT_FONT, kDecorationFont, size, nullptr, nullptr);
    break;
  }
}

// Selects the first font that takes the text at this size; returns the bytes to draw.
const std::string& SelectFont(EngineCalls& e, int handle, const DecorationSettings& s,
                              const TextFilters& f, const std::string& utf8,
                              const std::string& encoded, int size,
                              std::vector<Candidate>& candidates) {
  candidates.clear();
  if (f.unicodeFont && !FitsWin1252(utf8)) {
    std::string family = f.unicodeFont(s.font, utf8);
    if (!family.empty()) candidates.push_back({Candidate::kIdentity, family, &utf8});
  }
  bool standard = s.font.empty() || strcasecmp(s.font.c_str(), "Helvetica") == 0;
  if (!standard) {
    // An installed font is embedded; a standard one is not and takes the second choice.
    candidates.push_back({Candidate::kEmbedded, s.font, &encoded});
    candidates.push_back({Candidate::kNamed, s.font, &encoded});
  }
  candidates.push_back({Candidate::kDefault, {}, &encoded});
  for (size_t i = 0; i + 1 < candidates.size(); ++i) {
    Select(e, handle, candidates[i], size);
    if (MeasureWidth(e, handle, *candidates[i].text) > 0) return *candidates[i].text;
  }
  Select(e, handle, candidates.back(), size);
  return encoded;
}

} // namespace

Point NinePosition(int position, int W, int H, int w, int h) {
  if (position < 0 || position > 8) position = 0;
  int column = position % 3, row = position / 3;
  Point p;
  p.x = column == 0 ? kInset : column == 1 ? W / 2 - w / 2 : W - w;
  p.y = row == 0 ? kInset : row == 1 ? H / 2 - h / 2 : H - h;
  return p;
}

int HeaderFooterSize(int W) {
  return 6 * std::max(W / 100, 1);
}

void DrawPageDecorations(EngineCalls& e, int handle, int W, int H, const DecorationSettings& s,
                         const TextFilters& filters) {
  const int size = HeaderFooterSize(W);
  std::vector<Candidate> candidates;
  if (s.header > 0 && !s.hWatermark.empty()) {
    std::string raw = Apply(filters.expandUtf8, s.hWatermark);
    std::string encoded = Apply(filters.expand, s.hWatermark);
    const std::string& t = SelectFont(e, handle, s, filters, raw, encoded, size, candidates);
    int w = MeasureWidth(e, handle, t);
    e.DrawText(handle, AlignedX(s.hpos, W, w), kInset, t.c_str(), s.hcolor);
  }
  if (s.footer > 0 && !s.fWatermark.empty()) {
    std::string raw = Apply(filters.expandUtf8, s.fWatermark);
    std::string encoded = Apply(filters.expand, s.fWatermark);
    const std::string& t = SelectFont(e, handle, s, filters, raw, encoded, size, candidates);
    int w = MeasureWidth(e, handle, t);
    int h = MeasureHeight(e, handle, t);
    e.DrawText(handle, AlignedX(s.fpos, W, w), H - h, t.c_str(), s.fcolor);
  }
  if (s.text > 0 && !s.tWatermark.empty()) {
    std::string encoded = Apply(filters.encode, s.tWatermark);
    const std::string& t =
        SelectFont(e, handle, s, filters, s.tWatermark, encoded, s.tsize, candidates);
    int w = MeasureWidth(e, handle, t);
    int h = MeasureHeight(e, handle, t);
    Point p = NinePosition(s.tpos, W, H, w, h);
    e.DrawText(handle, p.x, p.y, t.c_str(), s.tcolor);
  }
  if (s.image > 0 && !s.imgWatermark.empty() && s.imgWidth > 0 && s.imgHeight > 0) {
    Point p = NinePosition(s.imgpos, W, H, s.imgWidth, s.imgHeight);
    std::string ws = std::to_string(s.imgWidth), hs = std::to_string(s.imgHeight);
    e.SetOption(handle, ENGINE_OPT_PLACEMENT_BOX, p.x, p.y, ws.c_str(), hs.c_str());
    e.AddImage(handle, s.imgWatermark.c_str());
  }
}

} // namespace app
