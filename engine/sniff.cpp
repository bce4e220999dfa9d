#include "engine/image_type.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

namespace engine {
namespace {

bool Starts(const uint8_t* head, size_t n, const char* sig, size_t len, size_t at = 0) {
  return n >= at + len && std::memcmp(head + at, sig, len) == 0;
}

// The last extension of the file name, including the dot; "" when there is none.
const char* Extension(const char* path) {
  if (!path) return "";
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  const char* dot = std::strrchr(name, '.');
  return dot ? dot : "";
}

}  // namespace

int SniffImageBytes(const uint8_t* head, size_t n, const char* path) {
  const char* ext = Extension(path);
  auto is = [ext](const char* e) { return strcasecmp(ext, e) == 0; };
  static const char* const kBitmap[] = {"BA", "BM", "IC", "PI", "CI", "CP"};
  for (const char* sig : kBitmap)
    if (Starts(head, n, sig, 2)) return kTypeBmp;
  if (Starts(head, n, "\x28\x00", 2)) return kTypeBmp;
  if (Starts(head, n, "GIF8", 4)) return kTypeGif;
  if (Starts(head, n, "\xFF\xD8\xFF", 3)) return kTypeJpeg;
  if (Starts(head, n, "\x89PNG\r\n\x1A\n", 8)) return kTypePng;
  if (is(".ico")) return kTypeIco;
  if (Starts(head, n, "MM\x00*", 4) || Starts(head, n, "II*\x00", 4)) return kTypeTiff;
  if (is(".tga")) return kTypeTga;
  if (Starts(head, n, "\x0A\x02", 2) || Starts(head, n, "\x0A\x05", 2)) return kTypePcx;
  if (is(".wbmp")) return kTypeWbmp;
  if (Starts(head, n, "\xD7\xCD\xC6\x9A", 4) || Starts(head, n, "\x01\x00\x09\x00", 4) ||
      Starts(head, n, " EMF", 4, 40))
    return kTypeWmf;
  if (Starts(head, n, "jP  \x0D", 5, 4)) return kTypeJp2;
  if (Starts(head, n, "\xFF\x4F", 2)) return kTypeJpc;
  if (is(".pgx")) return kTypePgx;
  if (n >= 2 && head[0] == 'P' && head[1] >= '0' && head[1] <= '9') return kTypePnm;
  if (is(".ras")) return kTypeRas;
  // An MNG file is labelled a bitmap; the library then fails to read it and the file goes to
  // the converter.
  if (Starts(head, n, "\x8AMNG\r\n\x1A\n", 8)) return kTypeBmp;
  if (is(".ska")) return kTypeSka;
  if (is(".raw")) return kTypeRaw;
  if (Starts(head, n, "8BPS", 4)) return kTypePsd;
  return kTypeUnknown;
}

int SniffImageType(const char* path) {
  if (!path || !*path) return kTypeUnknown;
  FILE* f = std::fopen(path, "rb");
  if (!f) return kTypeUnknown;
  uint8_t head[128];
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return SniffImageBytes(head, n, path);
}

}  // namespace engine
