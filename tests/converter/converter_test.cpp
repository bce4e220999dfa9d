// The plug-in, called the way the engine calls it: through the loader, with the argument
// list {module name, "convert", source, destination}, judged by reading its TIFF back.
#include <gif_lib.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/loader.h"
#include "test_images.h"
#include "test_support.h"

namespace fs = std::filesystem;
using convtest::GifFrame;
using convtest::GifSpec;
using convtest::Letters;
using convtest::PsdSpec;
using convtest::ReadTiff;
using convtest::TiffPage;
using Grid = std::vector<std::string>;

namespace {

std::string PluginFolder() {
  return fs::path(testsupport::BinPath(converter::kConverterFileName)).parent_path().string();
}

int Convert(const std::string& source, const std::string& destination,
            const std::string& verb = "convert", int argc = 4) {
  std::vector<std::string> args = {"zorvalex5", verb, source, destination};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  return converter::Plugin::Instance().Call(argc, argv.data());
}

class ConverterTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(converter::Plugin::Instance().Load(PluginFolder()))
        << converter::Plugin::Instance().LoadError();
  }
  // Writes `bytes` as the input, converts it and returns the pages written.
  std::vector<TiffPage> ConvertBytes(const std::string& bytes, const std::string& name) {
    std::string in = dir_.file(name), out = dir_.file("out.tif");
    testsupport::WriteFile(in, bytes);
    int result = Convert(in, out);
    EXPECT_GE(result, 0) << name;
    if (result < 0) return {};
    return ReadTiff(out);
  }
  testsupport::ScratchDir dir_;
};

// Screen 6x4; '_' is transparent, '.' blank (white).
GifSpec AnimatedGif() {
  GifSpec spec;
  spec.width = 6;
  spec.height = 4;
  spec.frames = {
      {0, 0, {"RRRRRR", "RRRRRR", "RRRRRR", "RRRRR_"}, DISPOSE_DO_NOT, true},
      {1, 1, {"G_G", "GGG"}, DISPOSE_PREVIOUS, true},
      {2, 0, {"BBB", "BBB", "_BB"}, DISPOSE_BACKGROUND, true},
      {0, 2, {"KY", "YK"}, -1, false, true}, // no control block, own colour table
  };
  return spec;
}

TEST_F(ConverterTest, AnimatedGifFramesAreCompositedByDisposalAndTransparency) {
  auto pages = ConvertBytes(convtest::MakeGif(AnimatedGif()), "anim.gif");
  ASSERT_EQ(pages.size(), 4u);
  const std::vector<Grid> expected = {
      {"RRRRRR", "RRRRRR", "RRRRRR", "RRRRR."},
      {"RRRRRR", "RGRGRR", "RGGGRR", "RRRRR."}, // then restored to the previous screen
      {"RRBBBR", "RRBBBR", "RRRBBR", "RRRRR."}, // then cleared to blank
      {"RR...R", "RR...R", "KY...R", "YKRRR."},
  };
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].width, 6u);
    EXPECT_EQ(pages[i].height, 4u);
    EXPECT_EQ(pages[i].samples, 3);
    EXPECT_EQ(pages[i].bits, 8);
    EXPECT_EQ(pages[i].photometric, PHOTOMETRIC_RGB);
    EXPECT_TRUE(pages[i].compression == COMPRESSION_ADOBE_DEFLATE ||
                pages[i].compression == COMPRESSION_LZW);
    EXPECT_EQ(Letters(pages[i]), expected[i]) << "page " << i + 1;
  }
}

TEST_F(ConverterTest, StillGifsGiveOnePage) {
  // Interlaced rows arrive out of order; a frame reaching past the screen is clipped; a file
  // without its trailer byte is still whole; a frame without any colour table is grey.
  struct Case {
    const char* name;
    GifSpec spec;
    Grid expected;
  };
  const Case cases[] = {
      {"interlaced",
       {3,
        10,
        {{0,
          0,
          {"RRR", "GGG", "BBB", "KKK", "YYY", "CCC", "MMM", "OOO", "RGB", "KYC"},
          -1,
          false,
          false,
          true}}},
       {"RRR", "GGG", "BBB", "KKK", "YYY", "CCC", "MMM", "OOO", "RGB", "KYC"}},
      {"clipped", {4, 2, {{2, 1, {"GGG", "GGG"}, DISPOSE_DO_NOT, false}}}, {"....", "..GG"}},
      {"no trailer", {2, 2, {{0, 0, {"RG", "BK"}}}, false}, {"RG", "BK"}},
      // No colour table anywhere: a grey ramp, so index 0 is black.
      {"no colour table", {2, 1, {{0, 0, {"RR"}}}, true, false}, {"KK"}},
  };
  for (const Case& c : cases) {
    auto pages = ConvertBytes(convtest::MakeGif(c.spec), "still.gif");
    ASSERT_EQ(pages.size(), 1u) << c.name;
    EXPECT_EQ(Letters(pages[0]), c.expected) << c.name;
    EXPECT_FLOAT_EQ(pages[0].xres, 72.0f) << c.name;
  }
}

struct PsdCase {
  const char* name;
  PsdSpec spec;
  uint16_t samples;
  std::vector<uint8_t> pixels; // expected, interleaved
  float dpi;
};

void PrintTo(const PsdCase& c, std::ostream* os) {
  *os << c.name;
}

class PsdTest : public ConverterTest, public ::testing::WithParamInterface<PsdCase> {};

TEST_P(PsdTest, CompositeBecomesOnePage) {
  const PsdCase& c = GetParam();
  auto pages = ConvertBytes(convtest::MakePsd(c.spec), "image.psd");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].width, c.spec.width);
  EXPECT_EQ(pages[0].height, c.spec.height);
  EXPECT_EQ(pages[0].samples, c.samples);
  EXPECT_EQ(pages[0].photometric, c.samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  EXPECT_EQ(pages[0].pixels, c.pixels);
  EXPECT_FLOAT_EQ(pages[0].xres, c.dpi);
  EXPECT_FLOAT_EQ(pages[0].yres, c.dpi);
}

std::vector<uint8_t> Palette() {
  std::vector<uint8_t> p(768, 0);
  p[1] = 10, p[256 + 1] = 20, p[512 + 1] = 30; // index 1
  p[255] = 200, p[256 + 255] = 100, p[512 + 255] = 50;
  return p;
}

INSTANTIATE_TEST_SUITE_P(
    Composites, PsdTest,
    ::testing::Values(
        PsdCase{"rgb_raw",
                {1,
                 3,
                 8,
                 3,
                 2,
                 {{10, 40, 70, 100, 130, 160},
                  {20, 50, 80, 110, 140, 170},
                  {30, 60, 90, 120, 150, 180}}},
                3,
                {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 180},
                72},
        // Repeats and literals in one row; the fourth channel (alpha) is not part of the image.
        PsdCase{"rgb_packbits_with_alpha",
                {1,
                 3,
                 8,
                 5,
                 2,
                 {{200, 200, 200, 200, 200, 1, 2, 3, 3, 3},
                  {0, 0, 0, 0, 0, 4, 5, 6, 6, 6},
                  {9, 9, 9, 9, 9, 7, 8, 9, 9, 9},
                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                 1,
                 {},
                 150},
                3,
                {200, 0, 9, 200, 0, 9, 200, 0, 9, 200, 0, 9, 200, 0, 9,
                 1,   4, 7, 2,   5, 8, 3,   6, 9, 3,   6, 9, 3,   6, 9},
                150},
        PsdCase{"grey_raw",
                {1, 1, 8, 4, 2, {{0, 64, 128, 255, 1, 2, 3, 4}}},
                1,
                {0, 64, 128, 255, 1, 2, 3, 4},
                72},
        PsdCase{"grey_packbits",
                {1, 1, 8, 3, 3, {{7, 7, 7, 1, 2, 3, 9, 8, 8}}, 1},
                1,
                {7, 7, 7, 1, 2, 3, 9, 8, 8},
                72},
        // 16-bit samples keep their high byte.
        PsdCase{"grey_16bit", {1, 1, 16, 2, 1, {{0x12, 0x34, 0xFF, 0x01}}}, 1, {0x12, 0xFF}, 72},
        PsdCase{"psb_packbits", {2, 1, 8, 3, 1, {{5, 5, 6}}, 1}, 1, {5, 5, 6}, 72},
        // Stored inverted: 255 is no ink. Product of colour and black.
        PsdCase{
            "cmyk_raw",
            {1,
             4,
             8,
             4,
             1,
             {{255, 0, 255, 255}, {255, 255, 255, 0}, {255, 255, 255, 255}, {255, 255, 0, 128}}},
            3,
            {255, 255, 255, 0, 255, 255, 0, 0, 0, 128, 0, 128},
            72},
        // One bit a pixel, a set bit black; rows are padded to whole bytes.
        PsdCase{"bitmap_packbits",
                {1, 0, 1, 10, 2, {{0xA0, 0x40, 0xFF, 0xC0}}, 1},
                1,
                {0, 255, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                72},
        PsdCase{"indexed",
                {1, 2, 8, 2, 1, {{1, 255}}, 0, Palette()},
                3,
                {10, 20, 30, 200, 100, 50},
                72}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConverterTest, WebpIsFlattenedOntoWhite) {
  const std::vector<uint8_t> rgba = {
      255, 0,   0, 255, 0, 0, 0,   0,   0,  0,  0,  51, // red, clear, black at 20%
      0,   255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 255,
  };
  auto pages = ConvertBytes(convtest::MakeWebp(3, 2, rgba), "still.webp");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].width, 3u);
  EXPECT_EQ(pages[0].height, 2u);
  const std::vector<uint8_t> expected = {255, 0,   0, 255, 255, 255, 204, 204, 204,
                                         0,   255, 0, 0,   0,   255, 10,  20,  30};
  EXPECT_EQ(pages[0].pixels, expected);
}

TEST_F(ConverterTest, AnimatedWebpGivesOnePagePerFrame) {
  const std::vector<std::vector<uint8_t>> frames = {
      {255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0},
      {255, 0, 0, 0, 0, 255, 0, 255, 0, 255, 255, 0},
  };
  auto pages = ConvertBytes(convtest::MakeAnimatedWebp(2, 2, frames), "anim.webp");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].pixels, frames[0]);
  EXPECT_EQ(pages[1].pixels, frames[1]);
}

TEST_F(ConverterTest, SuccessReplacesAnExistingDestination) {
  std::string in = dir_.file("a.gif"), out = dir_.file("out.tif");
  testsupport::WriteFile(in, convtest::MakeGif(AnimatedGif()));
  testsupport::WriteFile(out, "old");
  ASSERT_EQ(Convert(in, out), 0);
  EXPECT_EQ(ReadTiff(out).size(), 4u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

// ---- failures: -1, and nothing left behind ----

std::string Cut(const std::string& s, double fraction) {
  return s.substr(0, static_cast<size_t>(s.size() * fraction));
}

enum class Source { kFile, kMissing, kFifo, kFolder };

struct FailureCase {
  const char* name;
  std::string input{}; // the source's bytes when it is a file
  Source source = Source::kFile;
  std::string destination{}; // relative to the scratch folder
};

std::vector<FailureCase> FailureCases() {
  std::string gif = convtest::MakeGif(AnimatedGif());
  PsdSpec raw{
      1, 3,
      8, 8,
      8, {std::vector<uint8_t>(64, 1), std::vector<uint8_t>(64, 2), std::vector<uint8_t>(64, 3)}};
  PsdSpec rle = raw;
  rle.compression = 1;
  PsdSpec lab = raw;
  lab.mode = 9;
  std::string zip = convtest::MakePsd(raw);
  zip[zip.size() - 3 * 64 - 1] = 2; // compression word: ZIP
  std::vector<uint8_t> rgba(16 * 16 * 4);
  for (size_t i = 0; i < rgba.size(); ++i)
    rgba[i] = static_cast<uint8_t>(i * 7);
  std::string webp = convtest::MakeWebp(16, 16, rgba);
  std::string frameless = gif.substr(0, 13 + 8 * 3) + ";"; // header, screen, colours only

  return {
      {"truncated_gif", Cut(gif, 0.7)},
      {"truncated_gif_header", gif.substr(0, 10)},
      {"gif_without_frames", frameless},
      {"truncated_psd_raw", Cut(convtest::MakePsd(raw), 0.8)},
      {"truncated_psd_packbits", Cut(convtest::MakePsd(rle), 0.9)},
      {"truncated_psd_header", "8BPS\x00\x01"},
      {"psd_lab", convtest::MakePsd(lab)},
      {"psd_zip", zip},
      {"truncated_webp", Cut(webp, 0.6)},
      {"text_file", "This is a text file, not an image.\n"},
      {"empty_file", ""},
      {"missing_input", "", Source::kMissing},
      {"input_is_a_fifo", "", Source::kFifo},
      {"input_is_a_folder", "", Source::kFolder},
      {"output_folder_missing", gif, Source::kFile, "no/such/folder/out.tif"},
      {"output_under_a_file", gif, Source::kFile, "in.bin/out.tif"},
      {"output_is_a_folder", gif, Source::kFile, "folder"},
  };
}

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FailureTest : public ConverterTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, FailsAndLeavesNoOutput) {
  const FailureCase& c = GetParam();
  std::string in = dir_.file("in.bin");
  switch (c.source) {
  case Source::kFile:
    testsupport::WriteFile(in, c.input);
    break;
  case Source::kMissing:
    break;
  case Source::kFifo:
    ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
    break;
  case Source::kFolder:
    fs::create_directory(in);
    break;
  }
  fs::create_directory(dir_.file("folder"));
  std::string dest = c.destination.empty() ? "out.tif" : c.destination;
  std::string out = dir_.file(dest);

  EXPECT_EQ(Convert(in, out), -1);

  EXPECT_FALSE(fs::is_regular_file(out));
  // Only what the test made is there: no partial or temporary file beside the output.
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
    names.push_back(fs::relative(e.path(), dir_.path()).string());
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"folder"};
  if (c.source != Source::kMissing) expected.insert(expected.begin(), "in.bin");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(BadInput, FailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConverterTest, FailureKeepsAnExistingDestinationIntact) {
  std::string in = dir_.file("in.gif"), out = dir_.file("out.tif");
  testsupport::WriteFile(in, Cut(convtest::MakeGif(AnimatedGif()), 0.5));
  testsupport::WriteFile(out, "keep me");
  EXPECT_EQ(Convert(in, out), -1);
  EXPECT_EQ(testsupport::ReadFile(out), "keep me");
}

TEST_F(ConverterTest, MalformedCallsFail) {
  std::string in = dir_.file("in.gif"), out = dir_.file("out.tif");
  testsupport::WriteFile(in, convtest::MakeGif(AnimatedGif()));
  EXPECT_EQ(Convert(in, out, "convert", 3), -1);
  EXPECT_EQ(Convert(in, out, "convert", 5), -1);
  EXPECT_EQ(Convert(in, out, "Convert"), -1);
  EXPECT_EQ(Convert(in, out, "info"), -1);
  EXPECT_EQ(Convert(in, ""), -1);
  EXPECT_EQ(Convert("", out), -1);
  char* null_args[] = {nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(converter::Plugin::Instance().Call(4, null_args), -1);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(Convert(in, out), 0); // the same call well formed
}

} // namespace
