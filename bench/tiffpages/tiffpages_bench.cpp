// Time of a many-page TIFF, converted page by page the way the job driver calls the engine:
// the frame count once, then per page its size, a page, the frame range and EngineAddImage.
// The time per page must not grow with the page count.
//
//   tiffpages_bench [PAGES...]      default: 2000 8000 20000; goal: 20000 pages in under 10 s
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace fs = std::filesystem;

namespace {

// Small bitonal pages in Group 4, so that the time is spent on reaching pages, not on pixels.
bool MakeTiff(const std::string& path, int pages) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  const uint32_t w = 64, h = 64;
  std::vector<uint8_t> row(w / 8);
  for (int p = 0; p < pages; ++p) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_PAGENUMBER, p, pages);
    for (uint32_t y = 0; y < h; ++y) {
      for (size_t x = 0; x < row.size(); ++x)
        row[x] = static_cast<uint8_t>(((y + x + static_cast<uint32_t>(p)) % 7) == 0 ? 0xF0 : 0);
      if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
        TIFFClose(t);
        return false;
      }
    }
    if (!TIFFWriteDirectory(t)) {
      TIFFClose(t);
      return false;
    }
  }
  TIFFClose(t);
  return true;
}

// Returns the number of pages added.
int Convert(const std::string& tiff, const std::string& pdf) {
  int h = EngineCreate(pdf.c_str());
  if (h <= 0) return -1;
  std::string path = tiff;
  int frames = EngineQuery(h, 201, nullptr, nullptr, path.data(), nullptr);
  int added = 0;
  for (int j = 0; j < frames; ++j) {
    int iw = 0, ih = 0;
    std::string frame = std::to_string(j + 1);
    EngineQuery(h, 202, &iw, &ih, path.data(), frame.c_str());
    EngineSetOption(h, ENGINE_OPT_PAGE, 2, 2, nullptr, nullptr);
    EngineSetOption(h, ENGINE_OPT_PLACEMENT_BOX, 0, 0, "594", "792");
    EngineSetOption(h, ENGINE_OPT_FRAME_RANGE, j + 1, 1, nullptr, nullptr);
    if (EngineAddImage(h, path.c_str()) > 0) ++added;
    EngineSetOption(h, ENGINE_OPT_PAGE, 0, 0, nullptr, nullptr);
  }
  return EngineClose(h) == 1 ? added : -1;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i)
    counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {2000, 8000, 20000};
  fs::path dir = fs::temp_directory_path() / ("tiffpages_bench." + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("%8s %10s %12s\n", "pages", "seconds", "ms per page");
  for (int n : counts) {
    std::string tiff = (dir / "pages.tif").string(), pdf = (dir / "pages.pdf").string();
    if (!MakeTiff(tiff, n)) {
      std::fprintf(stderr, "cannot write %s\n", tiff.c_str());
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    int added = Convert(tiff, pdf);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (added != n) std::fprintf(stderr, "only %d of %d pages added\n", added, n);
    std::printf("%8d %10.2f %12.3f%s\n", n, s, 1000.0 * s / n,
                n == 20000 ? (s < 10 ? "   goal met (< 10 s)" : "   goal missed (>= 10 s)") : "");
    std::fflush(stdout);
  }
  fs::remove_all(dir);
  return 0;
}
