// Speed and memory of image placement.
//
//   images_bench [--jpegs N] [--pages N] [--pictures N]
//
// 1. N camera-size JPEGs (about 1.5 MB each) placed into one document, against cat of the same
//    files into one output file.
// 2. An N-page 300 dpi CCITT Group 4 TIFF placed into one document, against tiff2pdf when it
//    is installed.
// 3. N pictures that are not JPEG files (a screenshot and a photograph, as 24-bit BMP) added
//    through the lossless route against the JPEG route: time and PDF size of each.
// Each engine run happens in a child process so its peak memory is its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "engine/engine.h"

namespace fs = std::filesystem;

namespace {

struct Measure {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

// Runs `work` in a child process; its exit status is work's result.
Measure InChild(const std::function<int()>& work) {
  Measure m;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) std::_Exit(work());
  int status = 0;
  rusage ru{};
  wait4(pid, &status, 0, &ru);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakKiB = ru.ru_maxrss;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return m;
}

Measure Shell(const std::string& command) {
  return InChild([&] { return std::system(command.c_str()) == 0 ? 0 : 1; });
}

// The faster of two runs, each after the page cache's dirty pages reached the disk, so one
// run's writes do not slow the next.
Measure Best(const std::function<Measure()>& run) {
  Measure best;
  for (int i = 0; i < 2; ++i) {
    sync();
    Measure m = run();
    if (i == 0 || m.seconds < best.seconds) best = m;
  }
  return best;
}

std::string CameraJpeg(int width, int height) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::mt19937 rng(7);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      int noise = static_cast<int>(rng() % 10);
      row[x * 3] = static_cast<unsigned char>((x / 7 + y / 5 + noise) & 0xFF);
      row[x * 3 + 1] = static_cast<unsigned char>((x * y / 4096 + noise) & 0xFF);
      row[x * 3 + 2] = static_cast<unsigned char>((255 - x / 16 + noise) & 0xFF);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(mem), size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

bool FaxTiff(const std::string& path, int pages) {
  const uint32_t width = 2480, height = 3508; // A4 at 300 dpi
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  std::vector<unsigned char> row(width / 8);
  std::mt19937 rng(11);
  for (int p = 0; p < pages; ++p) {
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    // Lines of "text": short black runs on white, like a printed page.
    for (uint32_t y = 0; y < height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      bool inLine = (y % 60) > 20 && (y % 60) < 50 && y > 200 && y < height - 200;
      if (inLine)
        for (uint32_t x = 200; x + 40 < width - 200; x += 8 + rng() % 24)
          if (rng() % 3) row[x / 8] |= static_cast<unsigned char>(0xF0 >> (rng() % 4));
      if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
        TIFFClose(t);
        return false;
      }
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
  return true;
}

// A 24-bit bottom-up BMP; `pixel` gives R, G, B for (x, y).
bool WriteBmp(const std::string& path, int width, int height,
              const std::function<void(int, int, unsigned char*)>& pixel) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
  const uint32_t dataSize = stride * static_cast<uint32_t>(height);
  std::string h(54, '\0');
  auto put = [&h](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      h[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  h[0] = 'B', h[1] = 'M';
  put(2, 54 + dataSize, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(width), 4);
  put(22, static_cast<uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, dataSize, 4);
  std::ofstream out(path, std::ios::binary);
  out << h;
  std::vector<unsigned char> row(stride, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      unsigned char rgb[3];
      pixel(x, y, rgb);
      row[static_cast<size_t>(x) * 3] = rgb[2];
      row[static_cast<size_t>(x) * 3 + 1] = rgb[1];
      row[static_cast<size_t>(x) * 3 + 2] = rgb[0];
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(stride));
  }
  return static_cast<bool>(out);
}

int AddAll(const std::string& pdf, const std::vector<std::string>& files, int lossless) {
  int h = EngineCreate(pdf.c_str());
  if (!h) return 1;
  EngineSetOption(h, ENGINE_OPT_LOSSLESS, lossless, 0, nullptr, nullptr);
  int ok = 1;
  for (const std::string& f : files)
    ok &= EngineAddImage(h, f.c_str()) == 1 ? 1 : 0;
  EngineClose(h);
  return ok == 1 ? 0 : 1;
}

int PlaceAll(const std::string& pdf, const std::vector<std::string>& files) {
  int h = EngineCreate(pdf.c_str());
  if (!h) return 1;
  int ok = 1;
  for (const std::string& f : files)
    ok &= PlaceImageFile(h, f.c_str());
  EngineClose(h);
  return ok == 1 ? 0 : 1;
}

bool HaveProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
  int jpegs = 100, pages = 50, pictures = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--jpegs") == 0) jpegs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--pages") == 0) pages = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--pictures") == 0) pictures = std::atoi(argv[i + 1]);
  }
  std::string tmpl = (fs::temp_directory_path() / "pictofold-bench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 1;
  fs::path dir = tmpl;

  std::printf("generating %d JPEG files...\n", jpegs);
  std::string jpeg = CameraJpeg(4000, 3000);
  std::vector<std::string> files;
  for (int i = 0; i < jpegs; ++i) {
    std::string path = (dir / ("photo" + std::to_string(i) + ".jpg")).string();
    // The same picture with a comment of its own, so no two files are equal.
    std::string comment = "photo " + std::to_string(i);
    std::string seg = std::string("\xFF\xFE", 2);
    seg += static_cast<char>((comment.size() + 2) >> 8);
    seg += static_cast<char>((comment.size() + 2) & 0xFF);
    seg += comment;
    std::ofstream(path, std::ios::binary) << jpeg.substr(0, 2) + seg + jpeg.substr(2);
    files.push_back(path);
  }
  std::string pdf = (dir / "photos.pdf").string();
  std::string catCommand = "cat";
  for (const auto& f : files)
    catCommand += " '" + f + "'";
  catCommand += " > '" + (dir / "cat.out").string() + "'";
  Shell(catCommand); // warm the page cache for both runs
  Measure engine = Best([&] { return InChild([&] { return PlaceAll(pdf, files); }); });
  Measure cat = Best([&] { return Shell(catCommand); });
  std::printf("jpeg: %d files of %.2f MB: engine %.3f s (peak %ld KiB, %s), cat %.3f s, "
              "ratio %.2f\n",
              jpegs, jpeg.size() / 1e6, engine.seconds, engine.peakKiB,
              engine.status == 0 ? "ok" : "FAILED", cat.seconds, engine.seconds / cat.seconds);

  std::printf("generating a %d-page Group 4 TIFF...\n", pages);
  std::string tiff = (dir / "fax.tif").string();
  if (!FaxTiff(tiff, pages)) return 1;
  std::string faxPdf = (dir / "fax.pdf").string();
  Measure fax = Best([&] { return InChild([&] { return PlaceAll(faxPdf, {tiff}); }); });
  std::printf("tiff: %d pages, %.2f MB: engine %.3f s (peak %ld KiB, %s)", pages,
              static_cast<double>(fs::file_size(tiff)) / 1e6, fax.seconds, fax.peakKiB,
              fax.status == 0 ? "ok" : "FAILED");
  if (HaveProgram("tiff2pdf")) {
    std::string command = "tiff2pdf -o '" + (dir / "t2p.pdf").string() + "' '" + tiff + "'";
    Measure other = Best([&] { return Shell(command); });
    std::printf(", tiff2pdf %.3f s (peak %ld KiB), ratio %.2f\n", other.seconds, other.peakKiB,
                fax.seconds / other.seconds);
  } else {
    std::printf(", tiff2pdf not installed\n");
  }
  std::printf("generating %d screenshots and photographs as BMP...\n", pictures);
  struct Kind {
    const char* name;
    std::function<void(int, int, unsigned char*)> pixel;
  };
  std::mt19937 noise(5);
  const Kind kinds[] = {
      {"screenshot",
       [](int x, int y, unsigned char* c) {
         // Flat panels, a title bar and rows of thin dark "text".
         bool text = (y % 24) > 8 && (y % 24) < 18 && (x % 9) < 5 && x > 40 && y > 60;
         unsigned char v = y < 40 ? 60 : (x < 300 ? 235 : 250);
         c[0] = text ? 20 : v, c[1] = text ? 20 : v, c[2] = text ? 30 : (y < 40 ? 120 : v);
       }},
      {"photograph",
       [&noise](int x, int y, unsigned char* c) {
         int n = static_cast<int>(noise() % 24);
         c[0] = static_cast<unsigned char>((x / 9 + y / 13 + n) & 0xFF);
         c[1] = static_cast<unsigned char>((x * y / 5000 + n) & 0xFF);
         c[2] = static_cast<unsigned char>((200 - x / 12 + n) & 0xFF);
       }},
  };
  bool picturesOk = true;
  for (const Kind& k : kinds) {
    std::vector<std::string> inputs;
    std::string first = (dir / (std::string(k.name) + "0.bmp")).string();
    if (!WriteBmp(first, 1920, 1080, k.pixel)) return 1;
    inputs.push_back(first);
    for (int i = 1; i < pictures; ++i) {
      std::string path = (dir / (std::string(k.name) + std::to_string(i) + ".bmp")).string();
      fs::copy_file(first, path, fs::copy_options::overwrite_existing);
      inputs.push_back(path);
    }
    std::string losslessPdf = (dir / (std::string(k.name) + "_lossless.pdf")).string();
    std::string jpegPdf = (dir / (std::string(k.name) + "_jpeg.pdf")).string();
    Measure lossless =
        Best([&] { return InChild([&] { return AddAll(losslessPdf, inputs, 1); }); });
    Measure jpegRoute = Best([&] { return InChild([&] { return AddAll(jpegPdf, inputs, 0); }); });
    double ls = static_cast<double>(fs::file_size(losslessPdf)) / 1e6;
    double js = static_cast<double>(fs::file_size(jpegPdf)) / 1e6;
    std::printf("%s: %d of 1920 x 1080: lossless %.3f s, %.2f MB (%s); JPEG %.3f s, %.2f MB "
                "(%s); size ratio %.2f, time ratio %.2f\n",
                k.name, pictures, lossless.seconds, ls, lossless.status == 0 ? "ok" : "FAILED",
                jpegRoute.seconds, js, jpegRoute.status == 0 ? "ok" : "FAILED", ls / js,
                lossless.seconds / jpegRoute.seconds);
    picturesOk = picturesOk && lossless.status == 0 && jpegRoute.status == 0;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return engine.status == 0 && fax.status == 0 && picturesOk ? 0 : 1;
}
