// Speed goals of the image library: hostile headers are refused at once, header-only loads do
// not decode, and page-sized images load and re-encode in reasonable time.
// Run: build/bin/imagelib_bench   (exit status 1 when a goal is missed)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "imagelib/imagelib.h"

using namespace imagelib;

namespace {

double Millis(const std::function<void()>& f, int repeat = 1) {
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < repeat; ++i)
    f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() /
         repeat;
}

std::string HugeBmpHeader() {
  std::string s = "BM";
  auto le32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      s.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto le16 = [&](int v) {
    s.push_back(static_cast<char>(v)), s.push_back(static_cast<char>(v >> 8));
  };
  le32(0), le32(0), le32(54), le32(40), le32(200000), le32(200000), le16(1), le16(24);
  for (int i = 0; i < 6; ++i)
    le32(0);
  s.append(1024, '\0');
  return s;
}

int failures = 0;
void Goal(const char* what, double ms, double limit) {
  bool ok = ms <= limit;
  std::printf("%-48s %9.3f ms  (goal %g ms)%s\n", what, ms, limit, ok ? "" : "  MISSED");
  if (!ok) ++failures;
}

} // namespace

int main() {
  char dirTmpl[] = "/tmp/imagelib-bench-XXXXXX";
  if (!mkdtemp(dirTmpl)) return 2;
  const std::string dir = dirTmpl;

  const std::string huge = HugeBmpHeader();
  std::span<const uint8_t> hugeSpan(reinterpret_cast<const uint8_t*>(huge.data()), huge.size());
  Goal("refuse 200000 x 200000 bitmap header",
       Millis(
           [&] {
             Image img;
             LoadFromMemory(hugeSpan, ImageType::kBmp, {}, img);
           },
           1000),
       1);

  // An A4 page at 300 dpi: 2480 x 3508.
  Image page;
  Image::Create(2480, 3508, 24, page);
  for (int y = 0; y < page.Height(); ++y)
    for (size_t x = 0; x < page.Stride(); ++x)
      page.Row(y)[x] = static_cast<uint8_t>(x ^ y);
  page.SetWriteCompression(kCompressionLzw);
  const std::string tif = dir + "/page.tif", jpg = dir + "/page.jpg", g4 = dir + "/page_g4.tif";
  Goal("write 24-bit A4 page as LZW TIFF", Millis([&] { page.WriteTiff(tif); }), 3000);
  Goal("write 24-bit A4 page as JPEG", Millis([&] { page.WriteJpeg(jpg); }), 1500);
  Goal("header-only load of the TIFF",
       Millis(
           [&] {
             Image img;
             LoadOptions o;
             o.headerOnly = true;
             Load(tif, ImageType::kTiff, o, img);
           },
           50),
       5);
  Goal("full load of the TIFF", Millis([&] {
         Image img;
         Load(tif, ImageType::kTiff, {}, img);
       }),
       2000);
  Goal("full load of the JPEG", Millis([&] {
         Image img;
         Load(jpg, ImageType::kJpeg, {}, img);
       }),
       1000);

  Image bits;
  Image::Create(2480, 3508, 1, bits);
  for (int y = 0; y < bits.Height(); y += 40)
    for (int x = 0; x < 2000; x += 3)
      bits.Row(y + x % 20)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  bits.SetWriteCompression(kCompressionCcittG4);
  Goal("write bitonal A4 page as CCITT G4", Millis([&] { bits.WriteTiff(g4); }), 500);

  for (const std::string& f : {tif, jpg, g4})
    std::remove(f.c_str());
  rmdir(dir.c_str());
  return failures ? 1 : 0;
}
