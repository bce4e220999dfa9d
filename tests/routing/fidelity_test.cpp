// Every input is judged by what a reader shows: the page rendered by mupdf at 72 dpi (one
// pixel per point) against the source decoded by Pillow, composited on white.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "images/fixtures.h"
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

# Any sample layout: arr is (h, w, samples) of raw values; strips of rps rows or tiles of
# (tw, th); planar 2 stores each sample as its own plane; big writes BigTIFF.
def pack(rows, bits):
    if bits in (8, 16, 32, 64):
        return rows.astype('<u%d' % (bits // 8)).tobytes()
    out = bytearray()
    for r in rows:
        if bits == 24:
            for v in r: out += int(v).to_bytes(3, 'little')
            continue
        acc, n = 0, 0
        for v in r:
            acc, n = acc << bits | int(v), n + bits
            while n >= 8:
                out.append((acc >> (n - 8)) & 255); n -= 8
        if n: out.append((acc << (8 - n)) & 255)
    return bytes(out)

def tiff2(path, arr, bits, photo, fmt=1, planar=1, rps=None, tile=None, big=False, tags=None):
    h, w, spp = arr.shape
    planes = [arr[:, :, k:k + 1] for k in range(spp)] if planar == 2 else [arr]
    blocks = []
    for pl in planes:
        if tile:
            tw, th = tile
            for y in range(0, h, th):
                for x in range(0, w, tw):
                    t = np.zeros((th, tw, pl.shape[2]), np.uint64)
                    part = pl[y:y + th, x:x + tw]
                    t[:part.shape[0], :part.shape[1]] = part
                    blocks.append(pack(t.reshape(th, -1), bits))
        else:
            step = rps or h
            for y in range(0, h, step):
                blocks.append(pack(pl[y:y + step].reshape(len(pl[y:y + step]), -1), bits))
    long_t = 16 if big else 4
    t = {256: (4, [w]), 257: (4, [h]), 258: (3, [bits] * spp), 259: (3, [1]), 262: (3, [photo]),
         277: (3, [spp]), 284: (3, [planar]), 339: (3, [fmt] * spp)}
    if tile:
        t.update({322: (4, [tile[0]]), 323: (4, [tile[1]]), 324: (long_t, [0] * len(blocks)),
                  325: (long_t, [len(b) for b in blocks])})
    else:
        t.update({273: (long_t, [0] * len(blocks)), 278: (4, [rps or h]),
                  279: (long_t, [len(b) for b in blocks])})
    t.update(tags or {})
    fmt_of = {3: 'H', 4: 'I', 16: 'Q'}
    size_of = {3: 2, 4: 4, 16: 8}
    entry, inline, count_f = (20, 8, 'Q') if big else (12, 4, 'H')
    head = (16 if big else 8) + (8 if big else 2) + entry * len(t) + (8 if big else 4)
    data = b''.join(blocks)
    offs, pos = [], head
    for b in blocks:
        offs.append(pos); pos += len(b)
    t[324 if tile else 273] = (long_t, offs)
    extra, where = b'', {}
    for tag in sorted(t):
        typ, vals = t[tag]
        if len(vals) * size_of[typ] > inline:
            where[tag] = pos + len(extra)
            extra += struct.pack('<%d%s' % (len(vals), fmt_of[typ]), *vals)
    ifd = struct.pack('<' + count_f, len(t))
    for tag in sorted(t):
        typ, vals = t[tag]
        if big:
            v = struct.pack('<Q', where[tag]) if tag in where else \
                struct.pack('<%d%s' % (len(vals), fmt_of[typ]), *vals).ljust(8, b'\0')
            ifd += struct.pack('<HHQ', tag, typ, len(vals)) + v
        else:
            v = struct.pack('<I', where[tag]) if tag in where else \
                struct.pack('<%d%s' % (len(vals), fmt_of[typ]), *vals).ljust(4, b'\0')
            ifd += struct.pack('<HHI', tag, typ, len(vals)) + v
    ifd += b'\0' * (8 if big else 4)
    hdr = b'II+\0' + struct.pack('<HHQ', 8, 0, 16) if big else b'II*\0' + struct.pack('<I', 8)
    open(path, 'wb').write(hdr + ifd + data + extra)

def want(name, a):
    Image.fromarray(np.asarray(a).astype(np.uint8).squeeze()).save(out + '/' + name + '.want.png')

def scaled(v, bits):
    return np.floor(np.asarray(v, np.float64) * 255 / (2 ** bits - 1) + 0.5)

yy, xx = np.mgrid[0:12, 0:20]
for bits in (3, 5, 7, 9, 12, 15, 24, 32):
    v = ((xx * 37 + yy * 101) % (2 ** min(bits, 16))) * (2 ** max(bits - 16, 0))
    tiff2(out + '/grey%d.tif' % bits, v[..., None], bits, 1, rps=5)
    want('grey%d.tif' % bits, scaled(v, bits))
v = (xx * 13 + yy * 7) % 32768 - 16384
tiff2(out + '/signed16.tif', (v % 65536)[..., None], 16, 1, fmt=2)
want('signed16.tif', scaled(v + 32768, 16))
v = (xx * 11 + yy * 5) % 256 - 128
tiff2(out + '/signed8_white.tif', (v % 256)[..., None], 8, 0, fmt=2, tile=(16, 16))
want('signed8_white.tif', 255 - scaled(v + 128, 8))
f = (xx - 2) / 15.0 + yy / 100.0
want_f = np.floor(np.clip(f, 0, 1) * 255 + 0.5)
tiff2(out + '/float32.tif', f.astype('<f4').view('<u4')[..., None], 32, 1, fmt=3)
tiff2(out + '/float64.tif', f.astype('<f8').view('<u8')[..., None], 64, 1, fmt=3, planar=2)
tiff2(out + '/float16.tif', f.astype('<f2').view('<u2')[..., None], 16, 1, fmt=3,
      tile=(16, 16))
for n in ('float32', 'float64'): want(n + '.tif', want_f)
want('float16.tif', np.floor(np.clip(f.astype('<f2').astype(np.float64), 0, 1) * 255 + 0.5))
q = np.floor(np.clip(f, 0, 1) * 4) / 4   # exact in 24-bit floating point
def fp24(v):
    if v <= 0: return 0
    e = int(np.floor(np.log2(v)))
    return (e + 63) << 16 | int(round((v / 2.0 ** e - 1) * 65536))
tiff2(out + '/float24.tif', np.vectorize(fp24)(q)[..., None], 24, 1, fmt=3)
want('float24.tif', np.floor(q * 255 + 0.5))
rgb = np.stack([(xx * 3) % 16, (yy * 5) % 16, (xx + yy) % 16], -1)
tiff2(out + '/rgb4.tif', rgb, 4, 2)
want('rgb4.tif', scaled(rgb, 4))
tiff2(out + '/rgb2_planar.tif', rgb % 4, 2, 2, planar=2, rps=4)
want('rgb2_planar.tif', scaled(rgb % 4, 2))
tiff2(out + '/rgb1_tiled.tif', rgb % 2, 1, 2, tile=(16, 16))
want('rgb1_tiled.tif', scaled(rgb % 2, 1))
tiff2(out + '/rgb8_big.tif', rgb * 16, 8, 2, big=True)
want('rgb8_big.tif', rgb * 16)
cmyk = np.stack([xx * 3000, yy * 5000, (xx + yy) * 2000, (xx * yy * 97) % 20000], -1)
tiff2(out + '/cmyk16.tif', cmyk, 16, 5)
c8 = scaled(cmyk, 16)
want('cmyk16.tif', np.floor((255 - c8[..., :3]) * (255 - c8[..., 3:]) / 255))
idx = (xx * 7 + yy * 300) % 1000
cmap = [(i * 65) % 65536 for i in range(65536)] + [(i * 17) % 65536 for i in range(65536)] + \
       [65535 - i for i in range(65536)]
tiff2(out + '/palette16.tif', idx[..., None], 16, 3, tags={320: (3, cmap)})
want('palette16.tif', np.stack([(idx * 65) % 65536 >> 8, (idx * 17) % 65536 >> 8,
                                (65535 - idx) >> 8], -1))

# LZW of the kind before TIFF 6.0: codes packed from the low bit; a clear code every 200
# literals keeps them 9 bits wide.
def old_lzw(data):
    codes = []
    for i in range(0, len(data), 200):
        codes += [256] + list(data[i:i + 200])
    codes.append(257)
    acc, n, out_ = 0, 0, bytearray()
    for c in codes:
        acc |= c << n
        n += 9
        while n >= 8:
            out_.append(acc & 255); acc >>= 8; n -= 8
    if n: out_.append(acc & 255)
    return bytes(out_)
g = ((xx * 9 + yy * 17) % 256).astype(np.uint8)
tiff(out + '/oldlzw.tif', 20, 12, 8, 1, 1, old_lzw(g.tobytes()), {259: (3, [5])})
want('oldlzw.tif', g)

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
# JPEG with junk after its start, and one that ends before its first scan.
j = open(out + '/photo.jpg', 'rb').read()
open(out + '/junk.jpg', 'wb').write(j[:2] + b'not a marker' + j[2:])
Image.open(out + '/photo.jpg').save(out + '/junk.jpg.want.png')  # Pillow refuses the junk
open(out + '/noscan.jpg', 'wb').write(j[:j.index(b'\xff\xda')] + b'\xff\xd9')
# JPEG 2000: a palette (pclr) over one coded component, and a code stream without its end.
import io
def box(kind, body):
    return struct.pack('>I', 8 + len(body)) + kind + body
idx = ((xx // 5 + yy // 4) % 4).astype(np.uint8)
colours = np.array([[250, 0, 0], [0, 120, 250], [250, 220, 0], [20, 20, 20]], np.uint8)
cs = io.BytesIO()
Image.fromarray(idx, 'L').save(cs, 'JPEG2000', no_jp2=True)
jp2h = box(b'ihdr', struct.pack('>IIHBBBB', 12, 20, 1, 7, 7, 0, 0)) + \
       box(b'colr', struct.pack('>BBBI', 1, 0, 0, 16)) + \
       box(b'pclr', struct.pack('>HB', 4, 3) + bytes([7, 7, 7]) + colours.tobytes()) + \
       box(b'cmap', b''.join(struct.pack('>HBB', 0, 1, k) for k in range(3)))
open(out + '/palette.jp2', 'wb').write(
    b'\0\0\0\x0cjP  \r\n\x87\n' + box(b'ftyp', b'jp2 \0\0\0\0jp2 ') + box(b'jp2h', jp2h) +
    box(b'jp2c', cs.getvalue()))
want('palette.jp2', colours[idx])
cs = io.BytesIO()
Image.fromarray(t).save(cs, 'JPEG2000', no_jp2=True)
assert cs.getvalue().endswith(b'\xff\xd9')
open(out + '/noend.j2k', 'wb').write(cs.getvalue()[:-2])
want('noend.j2k', t)
# Alpha: unassociated in PackBits strips, associated (premultiplied) in plain ones, and 32-bit
# TGA whose descriptor claims no alpha bits.
rgba = np.zeros((12, 20, 4), np.uint8)
rgba[..., 0] = xx * 12
rgba[..., 1] = 200
rgba[..., 2] = yy * 20
rgba[..., 3] = (xx * 13) % 256
Image.fromarray(rgba, 'RGBA').save(out + '/unassoc.tif', compression='packbits')
pre = rgba.astype(np.uint32)
pre[..., :3] = (pre[..., :3] * pre[..., 3:] + 127) // 255
tiff(out + '/assoc.tif', 20, 12, 8, 4, 2, pre.astype(np.uint8).tobytes(),
     {258: (3, [8] * 4), 338: (3, [1])})
want('assoc.tif', np.concatenate([np.minimum(255, pre[..., :3] + 255 - pre[..., 3:]),
                                  np.full((12, 20, 1), 255)], -1))
Image.fromarray(rgba, 'RGBA').save(out + '/noalphabits.tga')
d = bytearray(open(out + '/noalphabits.tga', 'rb').read())
d[17] &= 0xF0
open(out + '/noalphabits.tga', 'wb').write(bytes(d))
want('noalphabits.tga', rgba)
# Embedded colour profiles.
from PIL import ImageCms
srgb = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()
turned.save(out + '/icc.png', icc_profile=srgb)
turned.save(out + '/icc.jpg', quality=95, icc_profile=srgb)
turned.save(out + '/icc.tif', compression='tiff_lzw', icc_profile=srgb)
)";

// Renders page 1 with mupdf and prints the largest difference from the source, or FAIL.
const char kJudge[] = R"(
import sys, subprocess
import numpy as np
from PIL import Image
pdf, src, png, turn = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
import os
if os.path.exists(src + '.want.png'):   # samples Pillow cannot read: the values we wrote
    src = src + '.want.png'
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
    fixtures::JpegOptions arithmetic;
    arithmetic.arithmetic = true;
    testsupport::WriteFile(dir_->file("arith.jpg"),
                           fixtures::EncodeJpeg(fixtures::Pattern(40, 30, 3), arithmetic));
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

// Every TIFF sample layout, normalised to 8 bits: integers of 1 to 32 bits, signed ones
// offset, floating point clamped to 0..1, strips, tiles and planes, CMYK and palettes of 16
// bits, BigTIFF.
const Case kSampleCases[] = {
    // Only what readers decode is copied: old LZW and arithmetic coding are decoded first;
    // junk after the start of a JPEG is passed on, as readers skip it.
    {"oldlzw.tif", 1, 0, "FlateDecode", 0},
    {"arith.jpg", 1, 0, "FlateDecode", 2},
    {"arith.jpg", 0, 0, "DCTDecode", 60},
    {"junk.jpg", 1, 0, "DCTDecode", 6},
    {"palette.jp2", 1, 0, "FlateDecode", 0},
    // Alpha on white paper, associated or not.
    {"unassoc.tif", 1, 0, "FlateDecode", 1},
    {"assoc.tif", 1, 0, "FlateDecode", 2},
    {"noalphabits.tga", 1, 0, "FlateDecode", 1},
    {"noend.j2k", 1, 0, "FlateDecode", 0},
    {"grey3.tif", 1, 0, "FlateDecode", 1},
    {"grey5.tif", 1, 0, "FlateDecode", 1},
    {"grey7.tif", 1, 0, "FlateDecode", 1},
    {"grey9.tif", 1, 0, "FlateDecode", 1},
    {"grey12.tif", 1, 0, "FlateDecode", 1},
    {"grey15.tif", 1, 0, "FlateDecode", 1},
    {"grey24.tif", 1, 0, "FlateDecode", 1},
    {"grey32.tif", 1, 0, "FlateDecode", 1},
    {"signed16.tif", 1, 0, "FlateDecode", 1},
    {"signed8_white.tif", 1, 0, "FlateDecode", 1},
    {"float16.tif", 1, 0, "FlateDecode", 1},
    {"float24.tif", 1, 0, "FlateDecode", 1},
    {"float32.tif", 1, 0, "FlateDecode", 1},
    {"float64.tif", 1, 0, "FlateDecode", 1},
    {"rgb4.tif", 1, 0, "FlateDecode", 1},
    {"rgb2_planar.tif", 1, 0, "FlateDecode", 1},
    {"rgb1_tiled.tif", 1, 0, "FlateDecode", 1},
    {"rgb8_big.tif", 1, 0, "FlateDecode", 0},
    {"cmyk16.tif", 1, 0, "FlateDecode", 2},
    {"palette16.tif", 1, 0, "FlateDecode", 1},
};

TEST_F(Fidelity, AJpegWithoutAScanIsRefused) {
  std::string pdf = dir_->file("noscan.pdf");
  int h = EngineCreate(pdf.c_str());
  ASSERT_GT(h, 0);
  EXPECT_EQ(EngineAddImage(h, dir_->file("noscan.jpg").c_str()), 0);
  EXPECT_EQ(PlaceImageFile(h, dir_->file("noscan.jpg").c_str()), 0);
  EXPECT_EQ(EngineQuery(h, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(EngineClose(h), 1);
}

// An embedded profile becomes the image's ICC colour space, on every route.
TEST_F(Fidelity, ColourProfilesAreKept) {
  struct Profiled {
    const char* fixture;
    int lossless;
    int quality;
  };
  const Profiled cases[] = {{"icc.png", 1, 0},
                            {"icc.png", 0, 0},
                            {"icc.jpg", 1, 0},
                            {"icc.jpg", 1, 80},
                            {"icc.tif", 1, 0}};
  for (const Profiled& c : cases) {
    std::string pdf = dir_->file(std::string("profile_") + c.fixture + std::to_string(c.lossless) +
                                 std::to_string(c.quality) + ".pdf");
    int h = EngineCreate(pdf.c_str());
    ASSERT_GT(h, 0);
    EngineSetOption(h, ENGINE_OPT_LOSSLESS, c.lossless, 0, nullptr, nullptr);
    EngineSetOption(h, ENGINE_OPT_JPEG_QUALITY, c.quality, 0, nullptr, nullptr);
    EXPECT_EQ(EngineAddImage(h, dir_->file(c.fixture).c_str()), 1) << c.fixture;
    ASSERT_EQ(EngineClose(h), 1);
    EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));
    auto r = testsupport::Pikepdf(pdf, R"(
pdf = pikepdf.open(sys.argv[1])
(x,) = pdf.pages[0].images.values()
cs = x.ColorSpace
print(str(cs[0]), int(cs[1].N), len(cs[1].read_bytes()) > 128)
)");
    EXPECT_EQ(r.out, "/ICCBased 3 True\n") << c.fixture << " " << c.lossless << " " << c.quality;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, Fidelity, ::testing::ValuesIn(kSampleCases));

INSTANTIATE_TEST_SUITE_P(Routes, Fidelity, ::testing::ValuesIn(kCases));

} // namespace
