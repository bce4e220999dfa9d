// Skew detection and rotation on an A4 page at 300 dpi (2480 x 3508) of synthetic text.
//
//   skew_bench [REPEATS]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "images/skew.h"
#include "page_synth.h"

namespace {

double Millis(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

} // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const double degrees[] = {0.0, 0.5, 2.0, -5.0};
  std::printf("%-10s %12s %12s %12s %12s\n", "angle", "detected", "detect ms", "rotate ms",
              "blank ms");
  for (double deg : degrees) {
    skewtest::PageBuffer buf(2480, 3508, images::RowOrder::kBottomUp, images::InkBit::kOneIsBlack);
    skewtest::DrawTextPage(buf, deg * std::numbers::pi / 180.0, 7);
    double detectMs = 0, rotateMs = 0;
    float angle = 0;
    for (int i = 0; i < repeats; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      angle = images::DetectSkew(buf.page);
      detectMs += Millis(t0);
    }
    for (int i = 0; i < repeats; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      images::RotateBits(buf.page, i % 2 ? -0.035f : 0.035f);
      rotateMs += Millis(t0);
    }
    skewtest::PageBuffer blank(2480, 3508, images::RowOrder::kBottomUp,
                               images::InkBit::kOneIsBlack);
    auto t0 = std::chrono::steady_clock::now();
    images::DetectSkew(blank.page);
    double blankMs = Millis(t0);
    std::printf("%-10.2f %12.4f %12.2f %12.2f %12.2f\n", deg, angle * 180.0 / std::numbers::pi,
                detectMs / repeats, rotateMs / repeats, blankMs);
  }
  return 0;
}
