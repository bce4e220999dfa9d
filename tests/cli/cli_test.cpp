// The pictofold command end to end: settings file, options, output files, exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinPath;
using testsupport::Pikepdf;
using testsupport::QpdfCheckClean;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

class Cli : public ::testing::Test {
protected:
  void SetUp() override {
    in_ = dir_.file("in");
    fs::create_directory(in_);
    // Keep the user's own settings and output folders out of the way.
    setenv("HOME", dir_.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    auto r = testsupport::Run("/usr/bin/python3 -c " + Quote(R"(
import sys
from PIL import Image, ImageDraw
out = sys.argv[1]
for i, colour in enumerate([(200, 40, 40), (40, 200, 40), (40, 40, 200), (200, 200, 40), (40, 200, 200)]):
    Image.new('RGB', (400, 300), colour).save('%s/img%d.jpg' % (out, i + 1))
Image.new('RGB', (120, 80), (250, 120, 0)).save(out + '/M\u00fcller.jpg')
Image.new('RGBA', (50, 50), (0, 0, 0, 255)).save(out + '/../mark.png')
open(out + '/notes.jpg', 'w').write('not an image')
)") + " " + Quote(in_));
    ASSERT_EQ(r.status, 0) << r.out;
  }

  testsupport::RunResult Pictofold(const std::string& args) {
    return testsupport::Run(Quote(BinPath("pictofold")) + " " + args);
  }
  std::string In(const std::string& name) { return Quote(in_ + "/" + name); }

  ScratchDir dir_;
  std::string in_;
};

TEST_F(Cli, SettingsFileDrivesLayoutHeaderAndBookmarks) {
  std::string ini = dir_.file("Settings.ini");
  WriteFile(ini,
            "[Settings]\r\npageSize=2\r\nlayout=4\r\nborder=1\r\nheader=1\r\nhWatermark=%Title%"
            "\r\ntitle=Holiday\r\nbookmark=1\r\nbookmarksel=0\r\n");
  std::string out = dir_.file("out/merged.pdf");
  auto r = Pictofold("convert -q --settings " + Quote(ini) + " -o " + Quote(out) + " " +
                     In("img1.jpg") + " " + In("img2.jpg") + " " + In("img3.jpg") + " " +
                     In("img4.jpg") + " " + In("img5.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(QpdfCheckClean(out));
  auto p = Pikepdf(out, R"(
pdf = pikepdf.open(sys.argv[1])
print([[int(v) for v in pg.MediaBox] for pg in pdf.pages])
print([len(pg.images) for pg in pdf.pages])
with pdf.open_outline() as o:
    print([i.title for i in o.root])
print(pdf.docinfo.Title)
)");
  EXPECT_EQ(p.out, "[[0, 0, 595, 842], [0, 0, 595, 842]]\n[4, 1]\n['1', '5']\nHoliday\n");
  auto text = testsupport::Run("pdftotext -f 2 -l 2 " + Quote(out) + " -");
  EXPECT_NE(text.out.find("Holiday"), std::string::npos) << text.out;
}

TEST_F(Cli, ExistingOutputGetsANumberedNameOrTheAppendedPages) {
  std::string out = dir_.file("o.pdf");
  ASSERT_EQ(Pictofold("convert -q -o " + Quote(out) + " " + In("img1.jpg")).status, 0);
  std::string first = ReadFile(out);
  ASSERT_EQ(Pictofold("convert -q -o " + Quote(out) + " " + In("img2.jpg")).status, 0);
  EXPECT_TRUE(first == ReadFile(out)) << "the first file is kept";
  EXPECT_TRUE(fs::exists(dir_.file("o001.pdf")));
  auto r = Pictofold("convert -q --exists append -o " + Quote(out) + " " + In("img2.jpg") + " " +
                     In("img3.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(QpdfCheckClean(out));
  EXPECT_EQ(ReadFile(out).substr(0, first.size()) == first, true) << "an incremental update";
  EXPECT_EQ(Pikepdf(out, "print(len(pikepdf.open(sys.argv[1]).pages))").out, "3\n");
  r = Pictofold("convert -q --exists overwrite -o " + Quote(out) + " " + In("img4.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(Pikepdf(out, "print(len(pikepdf.open(sys.argv[1]).pages))").out, "1\n");
}

TEST_F(Cli, PerImageAndPerFolderModes) {
  fs::create_directories(dir_.file("a"));
  fs::create_directories(dir_.file("b"));
  fs::copy_file(in_ + "/img1.jpg", dir_.file("a/x.jpg"));
  fs::copy_file(in_ + "/img2.jpg", dir_.file("a/y.jpg"));
  fs::copy_file(in_ + "/img3.jpg", dir_.file("b/z.jpg"));
  std::string files = Quote(dir_.file("a/x.jpg")) + " " + Quote(dir_.file("a/y.jpg")) + " " +
                      Quote(dir_.file("b/z.jpg"));
  ASSERT_EQ(
      Pictofold("convert -q -m per-image -o " + Quote(dir_.file("each")) + " " + files).status, 0);
  for (const char* n : {"x.pdf", "y.pdf", "z.pdf"})
    EXPECT_TRUE(fs::exists(dir_.file(std::string("each/") + n))) << n;
  ASSERT_EQ(
      Pictofold("convert -q -m per-folder -o " + Quote(dir_.file("folders")) + " " + files).status,
      0);
  EXPECT_EQ(Pikepdf(dir_.file("folders/a.pdf"), "print(len(pikepdf.open(sys.argv[1]).pages))").out,
            "2\n");
  EXPECT_EQ(Pikepdf(dir_.file("folders/b.pdf"), "print(len(pikepdf.open(sys.argv[1]).pages))").out,
            "1\n");
}

TEST_F(Cli, WatermarksRotationAndStretchLandOnThePage) {
  std::string out = dir_.file("w.pdf");
  auto r = Pictofold("convert -q -o " + Quote(out) +
                     " --set pageSize=2 --set imgFit=1 --set pageRotate=1 --set text=1"
                     " --set tWatermark=CONFIDENTIAL --set tsize=20 --set image=1"
                     " --set imgWatermark=" +
                     Quote(dir_.file("mark.png")) + " " + In("img1.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  auto p = Pikepdf(out, R"(
pdf = pikepdf.open(sys.argv[1])
pg = pdf.pages[0]
print(int(pg.Rotate), len(pg.images))
# The transformation in force at the first image drawn.
m = [1, 0, 0, 1, 0, 0]
stack = []
for o in pikepdf.parse_content_stream(pg):
    op = str(o.operator)
    if op == 'q': stack.append(m)
    elif op == 'Q': m = stack.pop()
    elif op == 'cm':
        a, b, c, d, e, f = [float(x) for x in o.operands]
        m = [a * m[0] + b * m[2], a * m[1] + b * m[3], c * m[0] + d * m[2], c * m[1] + d * m[3],
             e * m[0] + f * m[2] + m[4], e * m[1] + f * m[3] + m[5]]
    elif op == 'Do':
        break
print([round(v) for v in m])
)");
  // Stretched over the whole A4 page; the watermark image is a second image.
  EXPECT_EQ(p.out, "90 2\n[595, 0, 0, 842, 0, 0]\n");
  auto text = testsupport::Run("pdftotext " + Quote(out) + " -");
  EXPECT_NE(text.out.find("CONFIDENTIAL"), std::string::npos);
}

TEST_F(Cli, FailedInputsAreNamedAndTheRestConverts) {
  std::string out = dir_.file("f.pdf");
  auto r = Pictofold("convert -o " + Quote(out) + " " + In("img1.jpg") + " " + In("notes.jpg") +
                     " " + In("missing.jpg") + " " + In("img2.jpg"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("notes.jpg: not a recognised image"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("missing.jpg: no such file"), std::string::npos) << r.out;
  EXPECT_EQ(Pikepdf(out, "print(len(pikepdf.open(sys.argv[1]).pages))").out, "2\n");
}

TEST_F(Cli, APerFolderDocumentThatCannotBeWrittenNamesItsInputs) {
  fs::create_directories(dir_.file("a"));
  fs::create_directories(dir_.file("b"));
  fs::copy_file(in_ + "/img1.jpg", dir_.file("a/x.jpg"));
  fs::copy_file(in_ + "/img2.jpg", dir_.file("b/y.jpg"));
  std::string out = dir_.file("out");
  fs::create_directories(out + "/a.pdf"); // a folder where a.pdf should go
  auto r =
      Pictofold("convert --settings /dev/null --exists overwrite -m per-folder -o " + Quote(out) +
                " " + Quote(dir_.file("a/x.jpg")) + " " + Quote(dir_.file("b/y.jpg")));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find(dir_.file("a/x.jpg") + ": could not write " + out + "/a.pdf"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("converted " + dir_.file("a/x.jpg")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 of 2 converted"), std::string::npos) << r.out;
  EXPECT_TRUE(QpdfCheckClean(out + "/b.pdf"));
}

TEST_F(Cli, UsageErrorsAndUnwritableOutputGiveStatus2) {
  EXPECT_EQ(Pictofold("").status, 2);
  EXPECT_EQ(Pictofold("convert").status, 2);
  EXPECT_EQ(Pictofold("convert --mode sideways " + In("img1.jpg")).status, 2);
  EXPECT_EQ(Pictofold("convert --set noSuchKey=1 " + In("img1.jpg")).status, 2);
  EXPECT_EQ(Pictofold("convert -o /proc/nope/x.pdf " + In("img1.jpg")).status, 2);
  EXPECT_EQ(Pictofold("--version").status, 0);
  EXPECT_EQ(Pictofold("--help").status, 0);
}

TEST_F(Cli, NonAsciiNamesGiveReadableBookmarks) {
  std::string out = dir_.file("u.pdf");
  auto r = Pictofold("convert -q -o " + Quote(out) + " --set bookmark=1 --set bookmarksel=2 " +
                     In("Müller.jpg"));
  ASSERT_EQ(r.status, 0) << r.out;
  auto p = Pikepdf(out, R"(
pdf = pikepdf.open(sys.argv[1])
with pdf.open_outline() as o:
    print([i.title for i in o.root])
)");
  EXPECT_EQ(p.out, "['Müller.jpg']\n");
}

// With the default settings a screenshot's page renders exactly as the PNG; --set lossless=0
// gives the JPEG page instead.
TEST_F(Cli, ScreenshotsRenderExactlyByDefault) {
  auto made = testsupport::Run("/usr/bin/python3 -c " + Quote(R"(
import sys
from PIL import Image, ImageDraw
im = Image.new('RGB', (120, 50), (250, 250, 250))
d = ImageDraw.Draw(im)
d.rectangle((0, 0, 119, 9), fill=(40, 60, 160))
d.text((4, 16), 'Save as PDF 1.4', fill=(0, 0, 0))
d.line((0, 40, 119, 40), fill=(255, 0, 0))
im.save(sys.argv[1])
)") + " " + In("shot.png"));
  ASSERT_EQ(made.status, 0) << made.out;
  const char* judge = R"(
import sys, subprocess
import numpy as np
from PIL import Image
subprocess.run(['mutool', 'draw', '-q', '-r', '72', '-o', sys.argv[3], sys.argv[1], '1'], check=True,
               capture_output=True)
a = np.array(Image.open(sys.argv[2]).convert('RGB'), np.int32)
b = np.array(Image.open(sys.argv[3]).convert('RGB'), np.int32)
print(int(np.abs(a - b).max()) if a.shape == b.shape else 'size')
)";
  struct Case {
    const char* set;
    const char* filter;
    bool exact;
  };
  for (const Case& c :
       {Case{"", "/FlateDecode", true}, Case{"--set lossless=0 ", "/DCTDecode", false}}) {
    std::string out = dir_.file(c.exact ? "exact.pdf" : "jpeg.pdf");
    ASSERT_EQ(
        Pictofold("convert -q " + std::string(c.set) + "-o " + Quote(out) + " " + In("shot.png"))
            .status,
        0);
    auto filter = testsupport::Pikepdf(
        out,
        "pdf = pikepdf.open(sys.argv[1])\nprint(list(pdf.pages[0].images.values())[0].Filter)");
    EXPECT_EQ(filter.out, std::string(c.filter) + "\n") << c.set;
    auto diff = testsupport::Run("/usr/bin/python3 -c " + Quote(judge) + " " + Quote(out) + " " +
                                 In("shot.png") + " " + Quote(dir_.file("shot.render.png")));
    ASSERT_EQ(diff.status, 0) << diff.out;
    if (c.exact)
      EXPECT_EQ(diff.out, "0\n");
    else
      EXPECT_NE(diff.out, "0\n") << "a JPEG page differs a little";
  }
}

TEST_F(Cli, InfoDescribesEachFile) {
  auto r = Pictofold("info " + In("img1.jpg") + " " + In("notes.jpg"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("img1.jpg: JPEG, 1 frame, 400 x 300 pixels"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("notes.jpg: not a recognised image"), std::string::npos) << r.out;
}

TEST_F(Cli, WatchMovesFilesAndLeavesGrowingOnesAlone) {
  std::string hot = dir_.file("hot");
  fs::create_directories(hot);
  fs::copy_file(in_ + "/img1.jpg", hot + "/good.jpg");
  fs::copy_file(in_ + "/notes.jpg", hot + "/bad.jpg");
  // Files written in the last two seconds wait; make these two old enough.
  auto old = fs::file_time_type::clock::now() - std::chrono::seconds(10);
  fs::last_write_time(hot + "/good.jpg", old);
  fs::last_write_time(hot + "/bad.jpg", old);
  fs::copy_file(in_ + "/img2.jpg", hot + "/fresh.jpg"); // just written
  std::string out = dir_.file("watched/");
  // Files are moved only when scanning repeats; one pass of it is enough here.
  auto r = Pictofold("watch " + Quote(hot) + " --interval 0 --passes 1 -q -m per-image -o " +
                     Quote(out));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(fs::exists(hot + "/_converted/good.jpg"));
  EXPECT_TRUE(fs::exists(hot + "/_failed/bad.jpg"));
  EXPECT_TRUE(fs::exists(hot + "/fresh.jpg")) << "a file still being written is not taken";
  EXPECT_TRUE(fs::exists(out + "good.pdf"));
  EXPECT_FALSE(fs::exists(out + "fresh.pdf"));
}

TEST_F(Cli, WatchReadsTheStoredMonitorKeysUnderItsFlags) {
  std::string hot = dir_.file("stored-hot");
  fs::create_directories(hot + "/sub");
  fs::copy_file(in_ + "/img1.jpg", hot + "/sub/deep.jpg");
  fs::last_write_time(hot + "/sub/deep.jpg",
                      fs::file_time_type::clock::now() - std::chrono::seconds(10));
  std::string ini = dir_.file("monitor.ini");
  // One pass (runsec=0) over the stored folder and its sub-folders.
  WriteFile(ini, "[Settings]\r\ninput=" + hot + "\r\nsubdir=1\r\nrunsec=0\r\n");
  std::string out = dir_.file("stored-out/");
  auto r = Pictofold("watch -q --settings " + Quote(ini) + " -m per-image -o " + Quote(out));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(out + "deep.pdf"));
  EXPECT_TRUE(fs::exists(hot + "/sub/deep.jpg")) << "a single pass leaves the sources in place";
  // A folder on the command line wins over the stored one.
  std::string other = dir_.file("other-hot");
  fs::create_directories(other);
  r = Pictofold("watch " + Quote(other) + " -q --settings " + Quote(ini) + " -m per-image -o " +
                Quote(out));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(fs::exists(other + "/_converted")) << "runsec=0: no special folders";
}

TEST_F(Cli, WatchStopsOnSigterm) {
  std::string hot = dir_.file("hot2");
  fs::create_directories(hot);
  pid_t pid = fork();
  if (pid == 0) {
    std::string bin = BinPath("pictofold"), out = dir_.file("w2/");
    execl(bin.c_str(), bin.c_str(), "watch", hot.c_str(), "--interval", "1", "-q", "-m",
          "per-image", "-o", out.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Scanning at an interval makes the special folders at the first pass: watch is running.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::is_directory(hot + "/_converted") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::is_directory(hot + "/_converted")) << "watch did not start its first pass";
  kill(pid, SIGTERM);
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 50 && done == 0; ++i) {
    done = waitpid(pid, &status, WNOHANG);
    if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_NE(done, 0) << "watch did not stop within 5 seconds of SIGTERM";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Palette pages keep their colour table in an object of its own: it must not land inside the
// page's open content stream.
TEST_F(Cli, PalettePagesMakeCleanFiles) {
  auto made = testsupport::Run("/usr/bin/python3 -c " + Quote(R"(
import sys
from PIL import Image
im = Image.new('P', (40, 30))
im.putpalette([255, 0, 0, 0, 0, 255, 255, 255, 0] + [0] * 759)
for x in range(40):
    for y in range(30):
        im.putpixel((x, y), (x // 5 + y // 5) % 3)
im.save(sys.argv[1] + '/pal.bmp')
im.save(sys.argv[1] + '/pal.png')
)") + " " + Quote(in_));
  ASSERT_EQ(made.status, 0) << made.out;
  for (const char* set : {"", "--set lossless=0 ", "--set header=1 --set hWatermark=x "}) {
    std::string out = dir_.file("pal.pdf");
    fs::remove(out);
    auto r = Pictofold("convert -q " + std::string(set) + "-o " + Quote(out) + " " + In("pal.bmp") +
                       " " + In("pal.png") + " " + In("img1.jpg"));
    ASSERT_EQ(r.status, 0) << set << r.out;
    EXPECT_TRUE(QpdfCheckClean(out)) << set;
  }
}

} // namespace
