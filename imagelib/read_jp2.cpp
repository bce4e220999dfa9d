// JPEG 2000 (.jp2 boxes and raw .jpc code streams) through OpenJPEG.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "imagelib/pixels.h"
#include "imagelib/readers.h"

namespace imagelib::detail {

namespace {

struct Io {
  Source* src = nullptr;
  uint64_t pos = 0;
  std::string error;
  bool shortStream = false;
  bool missingEnd = false; // no EOC marker: harmless when everything else decoded
};

OPJ_SIZE_T ReadFn(void* buf, OPJ_SIZE_T n, void* user) {
  auto* io = static_cast<Io*>(user);
  size_t k = io->src->ReadAt(io->pos, buf, n);
  io->pos += k;
  return k ? k : static_cast<OPJ_SIZE_T>(-1);
}
OPJ_OFF_T SkipFn(OPJ_OFF_T n, void* user) {
  auto* io = static_cast<Io*>(user);
  uint64_t size = io->src->Size();
  if (n < 0 && static_cast<uint64_t>(-n) > io->pos) return -1;
  uint64_t np = io->pos + n;
  if (np > size) np = size;
  OPJ_OFF_T moved = static_cast<OPJ_OFF_T>(np) - static_cast<OPJ_OFF_T>(io->pos);
  io->pos = np;
  return moved;
}
OPJ_BOOL SeekFn(OPJ_OFF_T n, void* user) {
  auto* io = static_cast<Io*>(user);
  if (n < 0 || static_cast<uint64_t>(n) > io->src->Size()) return OPJ_FALSE;
  io->pos = static_cast<uint64_t>(n);
  return OPJ_TRUE;
}

void OnError(const char* msg, void* user) {
  auto* io = static_cast<Io*>(user);
  if (io->error.empty() && msg) {
    io->error = msg;
    while (!io->error.empty() && (io->error.back() == '\n' || io->error.back() == ' '))
      io->error.pop_back();
  }
}
void OnWarning(const char* msg, void* user) {
  auto* io = static_cast<Io*>(user);
  std::string m = msg ? msg : "";
  if (m.find("not end with EOC") != std::string::npos) {
    io->missingEnd = true;
    return;
  }
  if (m.find("too short") != std::string::npos || m.find("runcat") != std::string::npos ||
      m.find("inconsistent with stream length") != std::string::npos)
    io->shortStream = true;
}
void OnInfo(const char*, void*) {}

struct Holder {
  opj_codec_t* codec = nullptr;
  opj_stream_t* stream = nullptr;
  opj_image_t* image = nullptr;
  ~Holder() {
    if (image) opj_image_destroy(image);
    if (stream) opj_stream_destroy(stream);
    if (codec) opj_destroy_codec(codec);
  }
};

uint8_t To8(OPJ_INT32 v, const opj_image_comp_t& c) {
  int prec = static_cast<int>(c.prec);
  if (c.sgnd) v += 1 << (prec - 1);
  if (v < 0) v = 0;
  int max = prec >= 31 ? INT32_MAX : (1 << prec) - 1;
  if (v > max) v = max;
  if (prec > 8) return static_cast<uint8_t>(v >> (prec - 8));
  if (prec == 8) return static_cast<uint8_t>(v);
  return Scale(static_cast<uint32_t>(v), prec);
}

uint32_t BigEndianAt(Source& src, uint64_t at, int bytes, bool& ok) {
  uint8_t b[4] = {};
  if (src.ReadAt(at, b, static_cast<size_t>(bytes)) != static_cast<size_t>(bytes)) ok = false;
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = v << 8 | b[i];
  return v;
}

// True when the code stream's tile-parts, each of stated length, fill the file exactly up
// to its end with nothing but the end-of-codestream marker missing: such a file is complete.
bool OnlyTheEndIsMissing(Source& src, bool codestream) {
  bool ok = true;
  uint64_t pos = 0, end = src.Size();
  if (!codestream) { // find the code stream box
    pos = 0;
    for (;;) {
      if (pos + 8 > end) return false;
      uint64_t len = BigEndianAt(src, pos, 4, ok);
      uint32_t kind = BigEndianAt(src, pos + 4, 4, ok);
      if (!ok || len == 1) return false;
      if (kind == 0x6A703263) { // jp2c
        pos += 8;
        if (len != 0) end = std::min(end, pos - 8 + len);
        break;
      }
      if (len < 8) return false;
      pos += len;
    }
  }
  if (end < pos + 4 || BigEndianAt(src, end - 2, 2, ok) == 0xFFD9) return false;
  pos += 2; // SOC
  for (int guard = 0; guard < 100000; ++guard) {
    if (pos + 4 > end) return false;
    uint32_t marker = BigEndianAt(src, pos, 2, ok);
    if (!ok || (marker & 0xFF00) != 0xFF00) return false;
    if (marker == 0xFF90) break;
    pos += 2 + BigEndianAt(src, pos + 2, 2, ok);
  }
  for (int guard = 0; guard < 100000; ++guard) {
    if (pos + 12 > end || BigEndianAt(src, pos, 2, ok) != 0xFF90) return false;
    uint32_t psot = BigEndianAt(src, pos + 6, 4, ok);
    if (!ok || psot < 12) return false;
    pos += psot;
    if (pos == end) return true;
    if (pos > end) return false;
  }
  return false;
}

} // namespace

Result ReadJpeg2000(Source& src, bool codestream, const LoadOptions& opt, Image& out) {
  uint8_t head[12] = {};
  size_t got = src.ReadAt(0, head, sizeof head);
  if (codestream) {
    if (got < 2) return Truncated();
    if (head[0] != 0xFF || head[1] != 0x4F) return Corrupt("not a JPEG 2000 code stream");
  } else {
    static const uint8_t kSig[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (got < 12) return Truncated();
    if (std::memcmp(head, kSig, 12) != 0) return Corrupt("not a JPEG 2000 file");
  }
  Io io;
  io.src = &src;
  Holder h;
  h.codec = opj_create_decompress(codestream ? OPJ_CODEC_J2K : OPJ_CODEC_JP2);
  if (!h.codec) return NoMemory();
  opj_set_error_handler(h.codec, OnError, &io);
  opj_set_warning_handler(h.codec, OnWarning, &io);
  opj_set_info_handler(h.codec, OnInfo, &io);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(h.codec, &params)) return Corrupt("JPEG 2000 decoder set-up failed");
  // Complete but for the end marker: let the decoder stop at the end of the data.
  const bool endMissing = OnlyTheEndIsMissing(src, codestream);
  if (endMissing) opj_decoder_set_strict_mode(h.codec, OPJ_FALSE);
  h.stream = opj_stream_create(64 * 1024, OPJ_TRUE);
  if (!h.stream) return NoMemory();
  opj_stream_set_user_data(h.stream, &io, nullptr);
  opj_stream_set_user_data_length(h.stream, src.Size());
  opj_stream_set_read_function(h.stream, ReadFn);
  opj_stream_set_skip_function(h.stream, SkipFn);
  opj_stream_set_seek_function(h.stream, SeekFn);

  if (!opj_read_header(h.stream, h.codec, &h.image) || !h.image) {
    if (io.pos >= src.Size()) return Truncated();
    return Corrupt("corrupt JPEG 2000 file" + (io.error.empty() ? "" : ": " + io.error));
  }
  opj_image_t* im = h.image;
  if (im->numcomps == 0 || im->x1 <= im->x0 || im->y1 <= im->y0)
    return Corrupt("JPEG 2000 image without size");
  uint64_t w = im->x1 - im->x0, hh = im->y1 - im->y0;
  if (w > 0x7fffffff || hh > 0x7fffffff) return Result::Fail(Status::kTooLarge, "image too large");
  int nc = static_cast<int>(im->numcomps);
  bool colour = nc >= 3;
  bool alpha = nc == 2 || nc >= 4;
  for (int i = 0; i < nc; ++i)
    if (im->comps[i].prec == 0 || im->comps[i].prec > 31)
      return Unsupported("unsupported bit depth " + std::to_string(im->comps[i].prec));
  Result r = out.Allocate(static_cast<int>(w), static_cast<int>(hh), colour ? 24 : 8, alpha,
                          opt.headerOnly, opt.limits);
  if (!r) return r;
  if (opt.headerOnly) return Result::Ok();
  // The decoder keeps 32 bits per sample per component; bound that as well.
  uint64_t work = 0;
  for (int i = 0; i < nc; ++i) {
    uint64_t dx = std::max<OPJ_UINT32>(im->comps[i].dx, 1),
             dy = std::max<OPJ_UINT32>(im->comps[i].dy, 1);
    work += ((w + dx - 1) / dx) * ((hh + dy - 1) / dy) * 4;
  }
  if (work > opt.limits.maxBytes) return Result::Fail(Status::kTooLarge, "image too large");

  if (!opj_decode(h.codec, h.stream, im) || !opj_end_decompress(h.codec, h.stream)) {
    if (io.shortStream || io.pos >= src.Size()) return Truncated();
    return Corrupt("corrupt JPEG 2000 file" + (io.error.empty() ? "" : ": " + io.error));
  }
  if (io.shortStream && !endMissing) return Truncated();
  // A palette (pclr) turns one decoded component into several: take the count as decoded.
  if (static_cast<int>(im->numcomps) != nc) {
    nc = static_cast<int>(im->numcomps);
    if (nc == 0) return Corrupt("corrupt JPEG 2000 file");
    for (int i = 0; i < nc; ++i)
      if (im->comps[i].prec == 0 || im->comps[i].prec > 31)
        return Unsupported("unsupported bit depth " + std::to_string(im->comps[i].prec));
    colour = nc >= 3;
    alpha = nc == 2 || nc >= 4;
    r = out.Allocate(static_cast<int>(w), static_cast<int>(hh), colour ? 24 : 8, alpha, false,
                     opt.limits);
    if (!r) return r;
  }
  for (int i = 0; i < nc && i < 4; ++i)
    if (!im->comps[i].data || im->comps[i].w == 0 || im->comps[i].h == 0)
      return Corrupt("corrupt JPEG 2000 file");
  const int W = static_cast<int>(w), H = static_cast<int>(hh);
  bool sycc = im->color_space == OPJ_CLRSPC_SYCC;
  auto sample = [&](int c, int x, int y) -> uint8_t {
    const opj_image_comp_t& comp = im->comps[c];
    uint64_t cx = static_cast<uint64_t>(x) * comp.w / W, cy = static_cast<uint64_t>(y) * comp.h / H;
    return To8(comp.data[cy * comp.w + cx], comp);
  };
  for (int y = 0; y < H; ++y) {
    uint8_t* d = out.Row(y);
    uint8_t* a = out.AlphaRow(y);
    for (int x = 0; x < W; ++x) {
      if (colour) {
        int R = sample(0, x, y), G = sample(1, x, y), B = sample(2, x, y);
        if (sycc) {
          double Y = R, Cb = G - 128.0, Cr = B - 128.0;
          R = static_cast<int>(Y + 1.402 * Cr + 0.5);
          G = static_cast<int>(Y - 0.344136 * Cb - 0.714136 * Cr + 0.5);
          B = static_cast<int>(Y + 1.772 * Cb + 0.5);
        }
        d[3 * x] = static_cast<uint8_t>(std::clamp(R, 0, 255));
        d[3 * x + 1] = static_cast<uint8_t>(std::clamp(G, 0, 255));
        d[3 * x + 2] = static_cast<uint8_t>(std::clamp(B, 0, 255));
        if (a) a[x] = sample(3, x, y);
      } else {
        d[x] = sample(0, x, y);
        if (a) a[x] = sample(1, x, y);
      }
    }
  }
  return Result::Ok();
}

} // namespace imagelib::detail
