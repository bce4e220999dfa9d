#include "images/skew.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace images {

namespace {

// Each block of the detector's pool holds at least this much.
constexpr size_t kPoolBlockBytes = 32767;
// Text lines the detector follows at once.
constexpr size_t kMaxOpenLines = 256;

uint8_t* RowAt(const BitonalPage& page, int y) {
  int stored = page.order == RowOrder::kTopDown ? y : page.height - 1 - y;
  return page.bits + static_cast<ptrdiff_t>(stored) * page.stride;
}

struct Box {
  int left, top, right, bottom;
  bool excluded;
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
};

bool OverlapsVertically(const Box& a, const Box& b) {
  return !(a.bottom < b.top || b.bottom < a.top);
}
bool OverlapsHorizontally(const Box& a, const Box& b) {
  return !(a.right < b.left || b.right < a.left);
}
// Blank columns between two boxes; 0 when they overlap horizontally.
int HorizontalGap(const Box& a, const Box& b) {
  if (OverlapsHorizontally(a, b)) return 0;
  return std::max(a.left - b.right, b.left - a.right) - 1;
}
Box Union(const Box& a, const Box& b) {
  return Box{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
             std::max(a.bottom, b.bottom), false};
}

// One text line in the making: boxes in left-to-right order that never overlap horizontally.
struct Line {
  explicit Line(std::pmr::memory_resource* r) : boxes(r) {}
  std::pmr::vector<Box> boxes;
  int maxBottom = 0;
  int maxHeight = 0;
  bool open = false;
};

// Index of the first box whose left is not less than `left`.
size_t LowerBound(const std::pmr::vector<Box>& boxes, int left) {
  return static_cast<size_t>(std::lower_bound(boxes.begin(), boxes.end(), left,
                                              [](const Box& b, int l) { return b.left < l; }) -
                             boxes.begin());
}

class Detector {
public:
  Detector(const BitonalPage& page, int left, int right, std::pmr::memory_resource* pool)
      : page_(page), left_(left), n_(right - left + 1), first_(n_, 0, pool), count_(n_, 0, pool),
        ink_(n_ + 2, 0, pool), lines_(pool), pool_(pool) {}

  float Run(int top, int bottom) {
    for (int y = top; y <= bottom && angleCount_ < 2; ++y) {
      const bool ink = UnpackRow(y);
      EndSpans(y);
      if (ink) AddRow(y);
      CloseLines(y);
    }
    if (angleCount_ < 2) {
      // The region ends: every blob still open ends with it.
      std::fill(ink_.begin(), ink_.end(), uint8_t{0});
      EndSpans(bottom + 1);
      CloseLines(INT_MAX);
    }
    return angleCount_ ? static_cast<float>(angleSum_ / angleCount_) : 0.0f;
  }

private:
  // Copies row y into ink_, one byte per column; false when the row holds no ink at all.
  // Most of a page is paper, so whole paper bytes are skipped.
  bool UnpackRow(int y) {
    const uint8_t* row = RowAt(page_, y);
    const uint8_t flip = page_.ink == InkBit::kOneIsBlack ? 0 : 1;
    const uint8_t paperByte = flip ? 0xFF : 0x00;
    uint8_t* out = ink_.data() + 1;
    bool any = false;
    const int end = left_ + n_;
    for (int x = left_; x < end;) {
      if ((x & 7) == 0 && x + 8 <= end && row[x >> 3] == paperByte) {
        std::memset(out + (x - left_), 0, 8);
        x += 8;
        continue;
      }
      const uint8_t v = static_cast<uint8_t>(((row[x >> 3] >> (7 - (x & 7))) & 1) ^ flip);
      out[x - left_] = v;
      any |= v != 0;
      ++x;
    }
    return any;
  }

  void AddRow(int y) {
    const uint8_t* in = ink_.data() + 1;
    for (int i = 0; i < n_; ++i) {
      if (!in[i]) continue;
      if (count_[i] == 0) {
        first_[i] = y;
        ++activeColumns_;
      }
      ++count_[i];
    }
  }

  // Walks the spans of neighbouring columns that hold a blob. A span whose columns (and the
  // columns either side) have no ink in row y has ended: it becomes a character box unless it
  // is a speck. A span that grows too large for a character is cut off as a box at once.
  void EndSpans(int y) {
    if (activeColumns_ == 0) return;
    int c = 0;
    while (c < n_) {
      if (count_[c] == 0) {
        ++c;
        continue;
      }
      const int a = c;
      long total = 0;
      int maxCount = 0;
      int top = INT_MAX;
      for (; c < n_ && count_[c] > 0; ++c) {
        total += count_[c];
        maxCount = std::max(maxCount, count_[c]);
        top = std::min(top, first_[c]);
      }
      const int b = c - 1;
      const int width = b - a + 1;
      bool inkNow = false;
      for (int i = a; i <= b + 2 && !inkNow; ++i)
        inkNow = ink_[i] != 0; // ink_ is offset by 1
      bool emit = false;
      if (!inkNow) {
        const bool speck = total <= 48 && width <= 5 && maxCount <= 5;
        emit = !speck;
      } else {
        const bool large = width > 64 || maxCount > 64 || (width > 48 && maxCount > 4) ||
                           (maxCount > 48 && width > 4) || (width >= 25 && maxCount > 24);
        if (!large) continue;
        emit = true;
      }
      if (emit && y - 1 >= top) AddBox(Box{left_ + a, top, left_ + b, y - 1, false});
      for (int i = a; i <= b; ++i)
        count_[i] = 0;
      activeColumns_ -= width;
    }
  }

  // Whether `box` can join `line`: one of its horizontal neighbours there overlaps it
  // vertically and is near enough. A piece cut off the same character may sit a few rows
  // above, so boxes in the same columns get some slack. Gives the gap and that neighbour.
  static bool Reaches(const Line& line, const Box& box, int* gap, Box* neighbour) {
    const auto& boxes = line.boxes;
    const size_t pos = LowerBound(boxes, box.left);
    bool found = false;
    for (size_t k = pos == 0 ? 0 : pos - 1; k <= pos && k < boxes.size(); ++k) {
      const Box& other = boxes[k];
      const int slack = OverlapsHorizontally(box, other) ? 3 : 0;
      if (box.bottom + slack < other.top || other.bottom + slack < box.top) continue;
      const int g = HorizontalGap(box, other);
      if (g > 4 * std::max(box.Height(), other.Height())) continue;
      if (!found || g < *gap) {
        *gap = g;
        *neighbour = other;
        found = true;
      }
    }
    return found;
  }

  // Puts a box into the line whose nearest box reaches it. At a steep slope a neighbouring
  // line can reach the same rows far away, hence the nearest one. Boxes of one text line can
  // arrive in pieces that started lines of their own; a box that bridges such lines, level
  // with the boxes on both sides, joins them.
  void AddBox(const Box& box) {
    Line* best = nullptr;
    int bestGap = INT_MAX;
    Box bestNeighbour{};
    for (Line& line : lines_) {
      int gap = 0;
      Box neighbour{};
      if (line.open && Reaches(line, box, &gap, &neighbour) && gap < bestGap) {
        best = &line;
        bestGap = gap;
        bestNeighbour = neighbour;
      }
    }
    if (!best) {
      best = FreeLine();
      best->boxes.clear();
      best->maxBottom = box.bottom;
      best->maxHeight = box.Height();
      best->open = true;
    } else {
      for (Line& line : lines_) {
        int gap = 0;
        Box neighbour{};
        if (&line == best || !line.open || !Reaches(line, box, &gap, &neighbour) ||
            !OverlapsVertically(neighbour, bestNeighbour))
          continue;
        for (const Box& b : line.boxes)
          Insert(*best, b);
        line.boxes.clear();
        line.open = false;
      }
    }
    Insert(*best, box);
  }

  // A slot for a new line. Pages of halftone dots or patterns give many small lines at once;
  // beyond a bound the line that reaches least far down is finished early, which keeps such
  // pages linear in cost and never happens on text.
  Line* FreeLine() {
    Line* oldest = nullptr;
    size_t open = 0;
    for (Line& line : lines_) {
      if (!line.open) return &line;
      ++open;
      if (!oldest || line.maxBottom < oldest->maxBottom) oldest = &line;
    }
    if (open >= kMaxOpenLines) {
      oldest->open = false;
      MeasureLine(*oldest);
      return oldest;
    }
    lines_.emplace_back(pool_);
    return &lines_.back();
  }

  static void Insert(Line& line, const Box& box) {
    auto& boxes = line.boxes;
    const size_t pos = LowerBound(boxes, box.left);
    // Boxes that overlap horizontally are one character cut in pieces: merge them, in place
    // where possible so that a line that keeps growing in the same columns stays cheap.
    size_t i;
    if (pos > 0 && OverlapsHorizontally(boxes[pos - 1], box)) {
      i = pos - 1;
      boxes[i] = Union(boxes[i], box);
    } else if (pos < boxes.size() && OverlapsHorizontally(boxes[pos], box)) {
      i = pos;
      boxes[i] = Union(boxes[i], box);
    } else {
      i = pos;
      boxes.insert(boxes.begin() + static_cast<ptrdiff_t>(pos), box);
    }
    size_t from = i, to = i; // boxes [from, to] become one
    while (from > 0 && OverlapsHorizontally(boxes[from - 1], boxes[i])) {
      boxes[i] = Union(boxes[i], boxes[--from]);
    }
    while (to + 1 < boxes.size() && OverlapsHorizontally(boxes[i], boxes[to + 1])) {
      boxes[i] = Union(boxes[i], boxes[++to]);
    }
    if (from < to) {
      boxes[from] = boxes[i];
      boxes.erase(boxes.begin() + static_cast<ptrdiff_t>(from + 1),
                  boxes.begin() + static_cast<ptrdiff_t>(to + 1));
      i = from;
    }
    line.maxBottom = std::max(line.maxBottom, boxes[i].bottom);
    line.maxHeight = std::max(line.maxHeight, boxes[i].Height());
  }

  // A line is complete once the scan is far enough below it that no new box can reach it.
  void CloseLines(int y) {
    for (Line& line : lines_) {
      if (!line.open || angleCount_ >= 2) continue;
      if (y != INT_MAX && y - 1 <= line.maxBottom + 2 * line.maxHeight + 2) continue;
      line.open = false;
      MeasureLine(line);
    }
  }

  // Cuts the line at gaps wider than twice its average box width and measures the long parts.
  void MeasureLine(Line& line) {
    auto& boxes = line.boxes;
    const int n = static_cast<int>(boxes.size());
    if (n < 2) return;
    long widthSum = 0;
    for (const Box& b : boxes)
      widthSum += b.Width();
    const long w = widthSum / n;
    int start = 0;
    for (int i = 1; i <= n && angleCount_ < 2; ++i) {
      if (i < n && boxes[i].left - boxes[i - 1].right <= 2 * w) continue;
      const int count = i - start;
      long heightSum = 0;
      for (int k = start; k < i; ++k)
        heightSum += boxes[k].Height();
      const long h = heightSum / count;
      const long extent = boxes[i - 1].right - boxes[start].left;
      if (count >= 12 || extent >= 12 * h) MeasurePart(boxes.data() + start, count);
      start = i;
    }
  }

  void MeasurePart(Box* boxes, int n) {
    long widthSum = 0, heightSum = 0, gapSum = 0;
    for (int i = 0; i < n; ++i) {
      widthSum += boxes[i].Width();
      heightSum += boxes[i].Height();
      if (i > 0) gapSum += boxes[i].left - boxes[i - 1].right - 1;
    }
    const long W = widthSum / n;
    const long H = heightSum / n;
    const long G = n > 1 ? gapSum / (n - 1) : 0;
    const long L = boxes[n - 1].right - boxes[0].left + 1;
    if (!((H < 3 * W || G > 1) && ((L >= 12 * H && n > 1) || (L > 35 && n > 11)))) return;
    // Rows of boxes a few pixels high are rules, underlines or their cut-off pieces, not text.
    if (H < 4) return;

    // Leave out boxes that are not ordinary characters of this part: capitals and descenders
    // that are too tall, punctuation that is too small.
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      Box& b = boxes[i];
      const long bh = b.Height(), bw = b.Width();
      b.excluded = 5 * bh < 4 * H || 2 * bh > 3 * H || (5 * bw < 4 * W && G > 1);
      if (!b.excluded) ++kept;
    }
    if (!(kept > 11 || 5 * kept >= 4 * n) || kept < 2) return;

    // Least squares through the box centres. The final slope is the estimate: an average of
    // the slopes along the way is dominated by the first few centres, which lie close together,
    // and strays by a degree on ordinary text.
    int64_t sx = 0, sy = 0, sxx = 0, sxy = 0, k = 0;
    const int x0 = (boxes[0].left + boxes[0].right) / 2;
    const int y0 = (boxes[0].top + boxes[0].bottom) / 2;
    for (int i = 0; i < n; ++i) {
      const Box& b = boxes[i];
      if (b.excluded) continue;
      const int64_t x = (b.left + b.right) / 2 - x0;
      const int64_t y = (b.top + b.bottom) / 2 - y0;
      ++k;
      sx += x;
      sy += y;
      sxx += x * x;
      sxy += x * y;
    }
    const int64_t den = k * sxx - sx * sx;
    const double angle =
        den == 0 ? std::numbers::pi / 2
                 : std::atan(static_cast<double>(k * sxy - sx * sy) / static_cast<double>(den));
    if (angle == 0) return;
    const int weight = (G < 2 && H < 12) ? 2 : 1;
    angleSum_ += weight * angle;
    angleCount_ += weight;
  }

  const BitonalPage& page_;
  const int left_;
  const int n_;                         // columns of the region
  std::pmr::vector<int> first_, count_; // per column: first row and pixels of its blob
  std::pmr::vector<uint8_t> ink_;       // the current row, one byte per column, one blank each side
  std::pmr::vector<Line> lines_;
  std::pmr::memory_resource* pool_;
  int activeColumns_ = 0; // columns whose count is not 0
  double angleSum_ = 0;
  int angleCount_ = 0;
};

// Working memory of RotateBits from a caller-chosen resource, returned on every path.
class Scratch {
public:
  Scratch(std::pmr::memory_resource* r, size_t bytes) : r_(r), bytes_(bytes) {
    try {
      p_ = static_cast<uint8_t*>(r_->allocate(bytes_, 1));
    } catch (...) {
      p_ = nullptr;
    }
  }
  ~Scratch() {
    if (p_) r_->deallocate(p_, bytes_, 1);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  uint8_t* get() const { return p_; }

private:
  std::pmr::memory_resource* r_;
  size_t bytes_;
  uint8_t* p_ = nullptr;
};

} // namespace

bool IsValidBitonalPage(const BitonalPage& page) {
  return page.bits != nullptr && page.width > 0 && page.height > 0 &&
         page.stride >= (static_cast<long>(page.width) + 7) / 8;
}

float DetectSkew(const BitonalPage& page, int left, int top, int right, int bottom,
                 std::pmr::memory_resource* upstream) {
  if (!IsValidBitonalPage(page) || upstream == nullptr) return 0.0f;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, page.width - 1);
  bottom = std::min(bottom, page.height - 1);
  if (left > right || top > bottom) return 0.0f;
  try {
    std::pmr::monotonic_buffer_resource pool(kPoolBlockBytes, upstream);
    Detector detector(page, left, right, &pool);
    return detector.Run(top, bottom);
  } catch (...) {
    return 0.0f;
  }
}

float DetectSkew(const BitonalPage& page) {
  return DetectSkew(page, 0, 0, page.width - 1, page.height - 1);
}

bool RotateBits(const BitonalPage& page, float angle, std::pmr::memory_resource* memory) {
  if (!IsValidBitonalPage(page) || memory == nullptr || !std::isfinite(angle)) return false;
  if (std::fabs(angle) < kSkewMinAngle) return false;
  const int w = page.width;
  const int h = page.height;
  // Flipping the rows flips the sense of rotation.
  const double r = page.order == RowOrder::kTopDown ? angle : -static_cast<double>(angle);
  const double c = std::cos(r), s = std::sin(r);
  const int64_t cosF = std::llround(c * 65536.0);
  const int64_t sinF = std::llround(s * 65536.0);

  // Target row y reads source rows within `reach` of y. Rows below y are still the original
  // ones; rows above were already replaced, so the last `reach` originals are kept in a ring.
  const double reachF = std::fabs(s) * (w - 1) / 2.0 + (1.0 - c) * (h - 1) / 2.0;
  const long reach = static_cast<long>(std::ceil(reachF)) + 2;
  const size_t ringRows = static_cast<size_t>(std::min<long>(reach + 1, h));
  const size_t rowBytes = (static_cast<size_t>(w) + 7) / 8;
  Scratch scratch(memory, (ringRows + 1) * rowBytes);
  if (!scratch.get()) return false;
  uint8_t* ring = scratch.get();
  uint8_t* out = ring + ringRows * rowBytes;

  const int paper = page.ink == InkBit::kOneIsBlack ? 0 : 1;
  const int64_t cx = static_cast<int64_t>(w - 1) << 15; // centre, 16.16
  const int64_t cy = static_cast<int64_t>(h - 1) << 15;
  for (int y = 0; y < h; ++y) {
    uint8_t* target = page.bits + static_cast<ptrdiff_t>(y) * page.stride;
    std::memcpy(out, target, rowBytes); // keeps the padding bits of the last byte
    const int64_t dy = (static_cast<int64_t>(y) << 16) - cy;
    const int64_t dx = -cx;
    // Inverse rotation of the row's first pixel; each step right adds (cos, -sin).
    int64_t srcX = cx + ((dx * cosF + dy * sinF) >> 16);
    int64_t srcY = cy + ((dy * cosF - dx * sinF) >> 16);
    int64_t rowOf = INT64_MIN; // source row whose pointer is in `src`
    const uint8_t* src = nullptr;
    unsigned acc = 0;
    for (int x = 0; x < w; ++x, srcX += cosF, srcY -= sinF) {
      const int64_t ix = (srcX + 0x8000) >> 16;
      const int64_t iy = (srcY + 0x8000) >> 16;
      if (iy != rowOf) {
        rowOf = iy;
        if (iy < 0 || iy >= h)
          src = nullptr;
        else if (iy >= y)
          src = page.bits + static_cast<ptrdiff_t>(iy) * page.stride;
        else if (y - iy <= static_cast<int64_t>(ringRows))
          src = ring + (static_cast<size_t>(iy) % ringRows) * rowBytes;
        else
          src = nullptr;
      }
      unsigned v = static_cast<unsigned>(paper);
      if (src && ix >= 0 && ix < w) v = (src[ix >> 3] >> (7 - (ix & 7))) & 1;
      acc = (acc << 1) | v;
      if ((x & 7) == 7) {
        out[x >> 3] = static_cast<uint8_t>(acc);
        acc = 0;
      }
    }
    if (w & 7) {
      // The last byte keeps its padding bits.
      const int used = w & 7;
      const uint8_t mask = static_cast<uint8_t>(0xFF00 >> used);
      uint8_t& last = out[rowBytes - 1];
      last = static_cast<uint8_t>((last & ~mask) | ((acc << (8 - used)) & mask));
    }
    std::memcpy(ring + (static_cast<size_t>(y) % ringRows) * rowBytes, target, rowBytes);
    std::memcpy(target, out, rowBytes);
  }
  return true;
}

bool SkewCorrectPage(const BitonalPage& page) {
  if (!IsValidBitonalPage(page)) return false;
  const long w32 = (static_cast<long>(page.width) + 31) / 32 * 32;
  if (page.height > kSkewMaxSide || w32 > kSkewMaxSide) return false;
  const float a = DetectSkew(page);
  if (!(a > -kSkewMaxAngle && a < kSkewMaxAngle)) return false;
  return RotateBits(page, -a);
}

} // namespace images
