// End-to-end conversion benchmark. Every figure is a ratio against another program or
// library measured in the same run on the same files.
//
//   convert_bench [--count N] [--keep DIR]
//
// Goals: JPEG merge with quality 0 at most 1.5 x `cat` and at least 10 x faster than img2pdf;
// quality 75 at most 1.25 x a libjpeg decode+encode loop and at least 2 x faster than
// ImageMagick; BMP/PNG inputs at most 1.25 x decode+encode; 50-page G4 TIFF at most 2 x
// tiff2pdf; peak memory of a 150 MB JPEG merge at most 64 MB. Missing tools are skipped.
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Timed {
  double seconds = 0;
  double peakMb = 0;
  int status = 0;
};

// Runs a shell command in a child and measures its wall time and peak memory.
Timed RunTimed(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  Timed t;
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.peakMb = usage.ru_maxrss / 1024.0;
  t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return t;
}

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A photo-like picture: smooth gradients with texture, so JPEG sizes are realistic.
std::vector<uint8_t> Photo(int w, int h, int seed) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  unsigned noise = 12345u + static_cast<unsigned>(seed) * 7919u;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      noise = noise * 1103515245u + 12345u;
      int n = static_cast<int>((noise >> 16) & 31) - 16;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(std::clamp((x * 255) / w + n, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp((y * 255) / h + n, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(((x + y + seed * 40) % 255) + n, 0, 255));
    }
  return rgb;
}

void WriteJpeg(const std::string& path, const std::vector<uint8_t>& rgb, int w, int h, int q) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  FILE* f = std::fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, q, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[static_cast<size_t>(c.next_scanline) * w * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

std::vector<uint8_t> ReadJpeg(const std::string& path, int& w, int& h) {
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  FILE* f = std::fopen(path.c_str(), "rb");
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  w = static_cast<int>(d.output_width);
  h = static_cast<int>(d.output_height);
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(d.output_scanline) * w * 3];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return rgb;
}

void WriteBmp(const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
  int stride = (w * 3 + 3) & ~3;
  uint32_t size = 54 + static_cast<uint32_t>(stride) * h;
  uint8_t hdr[54] = {'B', 'M'};
  auto le32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
      hdr[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  le32(2, size);
  le32(10, 54);
  le32(14, 40);
  le32(18, static_cast<uint32_t>(w));
  le32(22, static_cast<uint32_t>(h));
  hdr[26] = 1;
  hdr[28] = 24;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<char*>(hdr), 54);
  std::vector<char> row(static_cast<size_t>(stride), 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      row[x * 3] = static_cast<char>(p[2]);
      row[x * 3 + 1] = static_cast<char>(p[1]);
      row[x * 3 + 2] = static_cast<char>(p[0]);
    }
    out.write(row.data(), stride);
  }
}

void WritePng(const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
  FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y)
    png_write_row(png, const_cast<uint8_t*>(&rgb[static_cast<size_t>(y) * w * 3]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void WriteG4Tiff(const std::string& path, int pages, int w, int h) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  std::vector<uint8_t> row(static_cast<size_t>((w + 7) / 8));
  for (int p = 0; p < pages; ++p) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    for (int y = 0; y < h; ++y) {
      std::memset(row.data(), 0, row.size());
      if ((y / 40) % 2 == 0 && y % 40 > 10)
        for (int x = 100; x < w - 100; ++x)
          if ((x / 12 + p + y / 40) % 5 != 0) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
      TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

void Ratio(const char* what, const Timed& ours, const Timed& theirs, const char* goal) {
  std::printf("%-46s %7.2f s vs %7.2f s  ratio %5.2f  (goal: %s)\n", what, ours.seconds,
              theirs.seconds, theirs.seconds > 0 ? ours.seconds / theirs.seconds : 0.0, goal);
}

} // namespace

int main(int argc, char** argv) {
  int count = 100;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--count") && i + 1 < argc) count = std::atoi(argv[++i]);
    if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
  }
  fs::path self = fs::canonical("/proc/self/exe").parent_path();
  std::string pictofold = (self.parent_path() / "bin" / "pictofold").string();
  std::string dir = keep.empty() ? "/tmp/pictofold-bench" : keep;
  fs::create_directories(dir + "/jpeg");
  fs::create_directories(dir + "/raster");
  std::string settings = dir + "/empty.ini";
  std::ofstream(settings).close();
  std::string base = Quote(pictofold) + " convert -q --settings " + Quote(settings) +
                     " --exists overwrite --set pageSize=0 ";

  std::printf("making %d camera-size JPEGs and %d BMP/PNG files in %s ...\n", count, count,
              dir.c_str());
  const int w = 2600, h = 1950;
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/jpeg/photo%03d.jpg", i);
    if (!fs::exists(dir + name)) WriteJpeg(dir + name, Photo(w, h, i), w, h, 92);
    std::snprintf(name, sizeof name, "/raster/photo%03d.%s", i, i % 2 ? "png" : "bmp");
    if (!fs::exists(dir + name)) {
      auto rgb = Photo(1600, 1200, i);
      if (i % 2)
        WritePng(dir + name, rgb, 1600, 1200);
      else
        WriteBmp(dir + name, rgb, 1600, 1200);
    }
  }
  uintmax_t total = 0;
  for (const auto& e : fs::directory_iterator(dir + "/jpeg"))
    total += e.file_size();
  std::printf("JPEG input: %.1f MB\n", total / 1e6);

  // Warm the page cache so every contender reads from memory.
  RunTimed("cat " + Quote(dir) + "/jpeg/* > /dev/null");

  Timed cat = RunTimed("cat " + Quote(dir) + "/jpeg/* > " + Quote(dir + "/cat.out"));
  Timed q0 =
      RunTimed(base + "--set quality=0 -o " + Quote(dir + "/q0.pdf") + " " + Quote(dir + "/jpeg"));
  Ratio("JPEG merge, quality 0 (data copied) vs cat", q0, cat, "<= 1.5");
  std::printf("  peak memory of the merge: %.1f MB (goal: <= 64 MB)\n", q0.peakMb);
  if (Have("img2pdf")) {
    Timed other = RunTimed("img2pdf " + Quote(dir) + "/jpeg/*.jpg -o " + Quote(dir + "/i2p.pdf"));
    Ratio("JPEG merge, quality 0 vs img2pdf", q0, other, "<= 0.1");
  } else {
    std::printf("  img2pdf not installed: skipped\n");
  }

  Timed q75 = RunTimed(base + "--set quality=75 -o " + Quote(dir + "/q75.pdf") + " " +
                       Quote(dir + "/jpeg"));
  auto start = std::chrono::steady_clock::now();
  for (const auto& e : fs::directory_iterator(dir + "/jpeg")) {
    int iw = 0, ih = 0;
    auto rgb = ReadJpeg(e.path().string(), iw, ih);
    WriteJpeg(dir + "/loop.jpg", rgb, iw, ih, 75);
  }
  Timed loop;
  loop.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Ratio("JPEG merge, quality 75 vs decode+encode loop", q75, loop, "<= 1.25");
  if (Have("convert") &&
      RunTimed("convert -version 2>/dev/null | grep -q ImageMagick").status == 0) {
    Timed other =
        RunTimed("convert " + Quote(dir) + "/jpeg/*.jpg -quality 75 " + Quote(dir + "/im.pdf"));
    Ratio("JPEG merge, quality 75 vs ImageMagick", q75, other, "<= 0.5");
  } else {
    std::printf("  ImageMagick not installed: skipped\n");
  }

  Timed raster = RunTimed(base + "-o " + Quote(dir + "/raster.pdf") + " " + Quote(dir + "/raster"));
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    auto rgb = Photo(1600, 1200, i); // the same pixels, already decoded: a lower bound
    WriteJpeg(dir + "/loop.jpg", rgb, 1600, 1200, 75);
  }
  Timed encode;
  encode.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Ratio("BMP/PNG to PDF vs JPEG encode of the pixels", raster, encode, "<= 1.25");

  std::string tif = dir + "/scan50.tif";
  if (!fs::exists(tif)) WriteG4Tiff(tif, 50, 2480, 3508);
  Timed g4 = RunTimed(base + "--set bwTif=0 -o " + Quote(dir + "/g4.pdf") + " " + Quote(tif));
  if (Have("tiff2pdf")) {
    Timed other = RunTimed("tiff2pdf -o " + Quote(dir + "/t2p.pdf") + " " + Quote(tif));
    Ratio("50-page G4 TIFF vs tiff2pdf", g4, other, "<= 2, aim 1");
  } else {
    std::printf("  tiff2pdf not installed: skipped\n");
  }
  if (keep.empty()) fs::remove_all(dir);
  return 0;
}
