// Writes the fuzz seeds of fuzz/imagelib_load/seeds from the test fixtures: for every format a
// small valid file and a truncated one, each behind the byte that selects the reader.
#include <cstdio>
#include <fstream>
#include <string>

#include "fixtures.h"

namespace {
void Put(const std::string& dir, const std::string& name, int selector, const std::string& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.put(static_cast<char>(selector));
  out << bytes;
}
} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s seed-folder\n", argv[0]);
    return 2;
  }
  using namespace fixtures;
  const std::string dir = argv[1];
  struct Seed {
    const char* name;
    int selector; // index into the fuzzer's type table
    std::string bytes;
  };
  const Seed seeds[] = {
      {"bmp24", 0, Bmp({24})},
      {"bmp_rle8", 0, Bmp({8, 40, false, 8})},
      {"bmp_rle4", 0, Bmp({4, 40, false, 4})},
      {"bmp32_v4", 0, Bmp({32, 108, false, 0, true})},
      {"bmp_core", 0, Bmp({8, 12})},
      {"png_rgba_interlaced", 1, Png({6, 8, false, true})},
      {"png_palette_trns", 1, Png({3, 4, true})},
      {"png_grey16", 1, Png({0, 16})},
      {"jpeg_rgb", 2, Jpeg(false, 75, 300)},
      {"jpeg_grey", 2, Jpeg(true)},
      {"jpeg_exif", 2, JpegWithExif(300, 2, true)},
      {"tiff_g4_two_pages", 3, Tiff({TiffPage{1, 1, 0, 4}, TiffPage{8, 3, 2, 5}})},
      {"tiff_jpeg_ycbcr", 3, Tiff({TiffPage{8, 3, 6, 7}})},
      {"tiff_tiled_alpha", 3, Tiff({TiffPage{8, 3, 2, 8, true, false, true}})},
      {"jp2_rgb", 4, Jpeg2000(3, false)},
      {"jpc_grey", 5, Jpeg2000(1, true)},
      {"pnm_p1", 6, Pnm(1)},
      {"pnm_p3", 6, Pnm(3)},
      {"pnm_p6", 6, Pnm(6, 65535)},
      {"pam_rgba", 6, Pam(4)},
      {"tga_rle", 7, Tga({10, 32})},
      {"tga_mapped", 7, Tga({1, 8})},
      {"pcx_256", 8, Pcx(8, 1)},
      {"pcx_ega", 8, Pcx(1, 4)},
      {"ico_two", 9, Ico("8p")},
      {"wbmp", 10, Wbmp()},
      {"sun_rle", 11, Sun(8, true, true)},
      {"sun24", 11, Sun(24, false, false)},
      {"pgx16", 12, Pgx(16, false, true)},
  };
  for (const Seed& s : seeds) {
    Put(dir, std::string(s.name) + ".bin", s.selector, s.bytes);
    Put(dir, std::string(s.name) + "_cut.bin", s.selector,
        s.bytes.substr(0, s.bytes.size() * 2 / 3));
  }
  return 0;
}
