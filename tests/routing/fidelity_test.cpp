// Every input is judged by what a reader shows: the page rendered by mupdf at 72 dpi (one
// pixel per point) against the source decoded by Pillow, composited on white.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "test_support.h"

namespace {

using testsupport::Quote;
using testsupport::ScratchDir;

// Fixtures, each small enough to show its fault.
const char kFixtures[] = R"(
import sys
import numpy as np
from PIL import Image, ImageDraw
import struct
out = sys.argv[1]

# A little-endian TIFF of one strip; tags maps a tag to (type, values), types 3 SHORT, 4 LONG.
def tiff(path, w, h, bps, spp, photo, data, tags=None):
    t = {256: (4, [w]), 257: (4, [h]), 258: (3, [bps] * spp), 259: (3, [1]),
         262: (3, [photo]), 273: (4, [0]), 277: (3, [spp]), 278: (4, [h]),
         279: (4, [len(data)])}
    t.update(tags or {})
    size = {3: 2, 4: 4}
    head = 8 + 2 + 12 * len(t) + 4
    extra = b''
    offsets = {}
    for tag in sorted(t):
        typ, vals = t[tag]
        if len(vals) * size[typ] > 4:
            offsets[tag] = head + len(extra)
            extra += struct.pack('<%d%s' % (len(vals), 'H' if typ == 3 else 'I'), *vals)
            if len(extra) % 2: extra += b'\0'
    t[273] = (4, [head + len(extra)])
    ifd = struct.pack('<H', len(t))
    for tag in sorted(t):
        typ, vals = t[tag]
        if tag in offsets:
            ifd += struct.pack('<HHII', tag, typ, len(vals), offsets[tag])
        else:
            v = struct.pack('<%d%s' % (len(vals), 'H' if typ == 3 else 'I'), *vals)
            ifd += struct.pack('<HHI', tag, typ, len(vals)) + v.ljust(4, b'\0')
    ifd += b'\0\0\0\0'
    open(path, 'wb').write(b'II*\0' + struct.pack('<I', 8) + ifd + extra + bytes(data))

# One-pixel stripes of saturated colours, with thin black digits over them.
a = np.zeros((40, 60, 3), np.uint8)
for x in range(60):
    a[:, x] = [(255, 0, 0), (0, 0, 255), (0, 200, 0), (255, 255, 255)][x % 4]
im = Image.fromarray(a)
ImageDraw.Draw(im).text((4, 14), '1234', fill=(0, 0, 0))
im.save(out + '/stripes.png')
im.save(out + '/stripes.bmp')
im.save(out + '/stripes.tga')
im.save(out + '/stripes.ppm')
im.save(out + '/stripes_none.tif')
im.save(out + '/stripes_lzw.tif', compression='tiff_lzw')
Image.fromarray(np.array([[[255, 0, 0], [0, 0, 255]]], np.uint8)).save(out + '/two.png')
g = np.tile(np.arange(0, 256, 2, dtype=np.uint8), (20, 1))
Image.fromarray(g, 'L').save(out + '/ramp.png')
w = (np.arange(64 * 16, dtype=np.uint32).reshape(16, 64) * 61) % 65536
Image.fromarray(w.astype(np.uint16)).save(out + '/deep.png')
p = Image.new('P', (30, 20))
p.putpalette([10, 20, 30, 200, 40, 40, 40, 200, 40, 250, 250, 0, 90, 0, 160] + [0] * 753)
d = ImageDraw.Draw(p)
for k in range(5):
    d.rectangle((k * 6, 0, k * 6 + 5, 19), fill=k)
p.save(out + '/palette.png')
p.save(out + '/palette.tif', compression='tiff_lzw')
c = Image.new('P', (16, 16))
c.putpalette([0, 0, 255, 255, 255, 0] + [0] * 762)
c.putdata([(x + y) % 2 for y in range(16) for x in range(16)])
c.save(out + '/checker.png', bits=1)
rows = bytes([0x55 if y % 2 else 0xAA for y in range(16) for _ in range(2)])
cmap = [0, 65535] + [0, 65535] + [65535, 0]
tiff(out + '/checker.tif', 16, 16, 1, 1, 3, rows, {320: (3, cmap)})
b = Image.new('P', (12, 8), 0)
b.putpalette([0, 0, 255, 255, 255, 255] + [0] * 762)
b.save(out + '/blue.png', bits=1)
bw = Image.new('1', (50, 30), 1)
ImageDraw.Draw(bw).line((0, 0, 49, 29), fill=0)
bw.save(out + '/bitonal.png')
rgba = Image.new('RGBA', (20, 20), (0, 0, 255, 0))
ImageDraw.Draw(rgba).rectangle((5, 5, 14, 14), fill=(200, 0, 60, 128))
rgba.save(out + '/alpha.png')
photo = np.zeros((48, 64, 3), np.uint8)
photo[..., 0] = np.linspace(0, 255, 64, dtype=np.uint8)[None, :]
photo[..., 1] = np.linspace(255, 0, 48, dtype=np.uint8)[:, None]
photo[..., 2] = 128
Image.fromarray(photo).save(out + '/photo.jpg', quality=95, subsampling=0)
Image.fromarray(photo).save(out + '/photo.png')
# Turned pages: an asymmetric picture, so that every mirror and turn shows.
t = photo[:30, :44].copy()
t[2:8, 2:14] = (255, 0, 0)
turned = Image.fromarray(t)
turned.save(out + '/turn2_zip.tif', compression='tiff_adobe_deflate', tiffinfo={274: 2})
turned.save(out + '/turn3.tif', tiffinfo={274: 3})
turned.save(out + '/turn4_packbits.tif', compression='packbits', tiffinfo={274: 4})
turned.save(out + '/turn5_lzw.tif', compression='tiff_lzw', tiffinfo={274: 5})
turned.save(out + '/turn6_lzw.tif', compression='tiff_lzw', tiffinfo={274: 6})
turned.save(out + '/turn7.tif', tiffinfo={274: 7})
mark = Image.new('1', (40, 24), 1)
ImageDraw.Draw(mark).rectangle((2, 2, 12, 6), fill=0)
mark.save(out + '/turn8_g4.tif', compression='group4', tiffinfo={274: 8})
ex = Image.Exif()
ex[0x0112] = 6
turned.save(out + '/turn6.jpg', quality=95, subsampling=0, exif=ex.tobytes())
)";

// Renders page 1 with mupdf and prints the largest difference from the source, or FAIL.
const char kJudge[] = R"(
import sys, subprocess
import numpy as np
from PIL import Image
pdf, src, png, turn = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
subprocess.run(['mutool', 'draw', '-q', '-r', '72', '-c', 'rgb', '-o', png, pdf, '1'],
               check=True, capture_output=True)
im = Image.open(src)
if im.mode in ('I;16', 'I'):
    a = np.array(im, np.uint32)
    im = Image.fromarray(((a + 128) // 257).clip(0, 255).astype(np.uint8), 'L')
im = im.convert('RGBA')
white = Image.new('RGBA', im.size, (255, 255, 255, 255))
upright = {2: Image.FLIP_LEFT_RIGHT, 3: Image.ROTATE_180, 4: Image.FLIP_TOP_BOTTOM,
           5: Image.TRANSPOSE, 6: Image.ROTATE_270, 7: Image.TRANSVERSE, 8: Image.ROTATE_90}
flat = Image.alpha_composite(white, im).convert('RGB')
if turn in upright:
    flat = flat.transpose(upright[turn])
want = np.array(flat, np.int32)
got = np.array(Image.open(png).convert('RGB'), np.int32)
if got.shape != want.shape:
    print('FAIL size', got.shape, want.shape)
else:
    print(int(np.abs(got - want).max()))
)";

struct Case {
  const char* fixture;
  int lossless;       // option 131
  int quality;        // option 128
  const char* filter; // of the page's image, and "Indexed" when it is a palette image
  int tolerance;      // largest difference of any channel of any pixel, 0..255
  int autoRotate = 0; // option 132
  int turn = 0;       // Exif orientation the judge turns the source by, 0 none
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
  return os << c.fixture << " lossless " << c.lossless << " quality " << c.quality << " autoRotate "
            << c.autoRotate;
}

const Case kCases[] = {
    // Lossless library and TIFF routes: exact.
    {"stripes.png", 1, 0, "FlateDecode", 0},
    {"stripes.bmp", 1, 0, "FlateDecode", 0},
    {"stripes.tga", 1, 0, "FlateDecode", 0},
    {"stripes.ppm", 1, 0, "FlateDecode", 0},
    {"stripes_none.tif", 1, 0, "FlateDecode", 0},
    {"stripes_lzw.tif", 1, 0, "LZWDecode", 0},
    {"two.png", 1, 0, "FlateDecode", 0},
    {"ramp.png", 1, 0, "FlateDecode", 0},
    {"deep.png", 1, 0, "FlateDecode", 1},
    {"palette.png", 1, 0, "FlateDecode Indexed", 0},
    {"palette.tif", 1, 0, "FlateDecode Indexed", 0},
    {"alpha.png", 1, 0, "FlateDecode", 1},
    // Two colours keep their colours whatever the route; black and white stays fax-coded.
    {"checker.png", 0, 0, "FlateDecode Indexed", 0},
    {"checker.tif", 0, 0, "FlateDecode Indexed", 0},
    {"blue.png", 0, 0, "FlateDecode Indexed", 0},
    {"bitonal.png", 1, 0, "CCITTFaxDecode", 0},
    {"bitonal.png", 0, 0, "CCITTFaxDecode", 0},
    // JPEG routes: full-resolution colour keeps thin lines and tiny images in their colours.
    {"stripes.png", 0, 0, "DCTDecode", 80},
    {"two.png", 0, 0, "DCTDecode", 8},
    {"palette.png", 0, 0, "DCTDecode", 24},
    {"photo.png", 0, 0, "DCTDecode", 12},
    // JPEG inputs pass through, or are re-encoded, whatever option 131 says.
    {"photo.jpg", 1, 0, "DCTDecode", 6},
    {"photo.jpg", 1, 60, "DCTDecode", 16},
    // TIFF orientation on every route: copied strips (several per page) are turned by the
    // image matrix, decoded pages by the library. Pillow decodes TIFF pages upright itself.
    {"turn2_zip.tif", 1, 0, "FlateDecode", 0, 0, 0},
    {"turn3.tif", 1, 0, "FlateDecode", 0, 0, 0},
    {"turn4_packbits.tif", 1, 0, "RunLengthDecode", 0, 0, 0},
    {"turn5_lzw.tif", 1, 0, "LZWDecode", 0, 0, 0},
    {"turn6_lzw.tif", 0, 0, "LZWDecode", 0, 0, 0},
    {"turn7.tif", 0, 0, "FlateDecode", 0, 0, 0},
    {"turn8_g4.tif", 1, 0, "CCITTFaxDecode", 0, 0, 0},
    // Exif orientation only when asked for, copied or re-encoded.
    {"turn6.jpg", 1, 0, "DCTDecode", 6, 1, 6},
    {"turn6.jpg", 1, 0, "DCTDecode", 6, 0, 0},
    {"turn6.jpg", 1, 60, "DCTDecode", 80, 1, 6},
};

class Fidelity : public ::testing::TestWithParam<Case> {
protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    auto r = testsupport::Run("/usr/bin/python3 -c " + Quote(kFixtures) + " " +
                              Quote(dir_->path().string()));
    ASSERT_EQ(r.status, 0) << r.out;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static ScratchDir* dir_;
};

ScratchDir* Fidelity::dir_ = nullptr;

TEST_P(Fidelity, RendersLikeItsSource) {
  const Case& c = GetParam();
  std::string name =
      std::string(c.fixture) + "." + std::to_string(c.lossless) + "." + std::to_string(c.quality);
  std::string pdf = dir_->file(name + ".pdf");
  int h = EngineCreate(pdf.c_str());
  ASSERT_GT(h, 0);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_LOSSLESS, c.lossless, 0, nullptr, nullptr), 1);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_JPEG_QUALITY, c.quality, 0, nullptr, nullptr), 1);
  EXPECT_EQ(EngineSetOption(h, ENGINE_OPT_AUTO_ROTATE, c.autoRotate, 0, nullptr, nullptr), 1);
  EXPECT_EQ(EngineAddImage(h, dir_->file(c.fixture).c_str()), 1);
  ASSERT_EQ(EngineClose(h), 1);
  EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));

  auto filters = testsupport::Pikepdf(pdf, R"(
pdf = pikepdf.open(sys.argv[1])
(x,) = pdf.pages[0].images.values()
cs = x.get('/ColorSpace')
f = str(x.Filter).replace('/', '')
print(f + (' Indexed' if isinstance(cs, pikepdf.Array) else ''))
)");
  EXPECT_EQ(filters.out, std::string(c.filter) + "\n");

  auto judged =
      testsupport::Run("/usr/bin/python3 -c " + Quote(kJudge) + " " + Quote(pdf) + " " +
                       Quote(dir_->file(c.fixture)) + " " +
                       Quote(dir_->file(name + ".render.png")) + " " + std::to_string(c.turn));
  ASSERT_EQ(judged.status, 0) << judged.out;
  ASSERT_EQ(judged.out.rfind("FAIL", 0), std::string::npos) << judged.out;
  EXPECT_LE(std::atoi(judged.out.c_str()), c.tolerance) << judged.out;
}

// The size queries report what the page shows: TIFF pages always upright, JPEG photos upright
// when option 132 is on.
TEST_F(Fidelity, SizeQueriesReportTheUprightImage) {
  struct Query {
    const char* fixture;
    int autoRotate;
    int width, height;
  };
  const Query queries[] = {{"turn6_lzw.tif", 0, 30, 44},
                           {"turn3.tif", 0, 44, 30},
                           {"turn6.jpg", 1, 30, 44},
                           {"turn6.jpg", 0, 44, 30},
                           {"photo.png", 1, 64, 48}};
  int h = EngineCreate(dir_->file("queries.pdf").c_str());
  ASSERT_GT(h, 0);
  for (const Query& q : queries) {
    EngineSetOption(h, ENGINE_OPT_AUTO_ROTATE, q.autoRotate, 0, nullptr, nullptr);
    std::string path = dir_->file(q.fixture);
    int width = 0, height = 0;
    EXPECT_EQ(EngineQuery(h, 202, &width, &height, path.data(), nullptr), q.width) << q.fixture;
    EXPECT_EQ(height, q.height) << q.fixture;
  }
  EngineClose(h);
}

INSTANTIATE_TEST_SUITE_P(Routes, Fidelity, ::testing::ValuesIn(kCases));

} // namespace
