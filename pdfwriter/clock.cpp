#include "clock.h"

#include <cstdio>
#include <cstring>

namespace pdf {
namespace {

std::function<std::time_t()>& ClockHook() {
  static std::function<std::time_t()> hook;
  return hook;
}

struct FixedId {
  bool set = false;
  uint8_t bytes[16] = {};
};

FixedId& IdHook() {
  static FixedId id;
  return id;
}

} // namespace

std::time_t Now() {
  if (ClockHook()) return ClockHook()();
  return std::time(nullptr);
}

std::string PdfDate(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char buf[64];
  std::snprintf(buf, sizeof buf, "D:%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string s = buf;
  long offset = local.tm_gmtoff; // seconds east of UTC
  if (offset == 0) return s + "Z";
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  long minutes = offset / 60;
  std::snprintf(buf, sizeof buf, "%c%02ld'%02ld'", sign, minutes / 60, minutes % 60);
  return s + buf;
}

void SetClockForTesting(std::function<std::time_t()> clock) {
  ClockHook() = std::move(clock);
}

void SetFileIdForTesting(const uint8_t* id16) {
  IdHook().set = id16 != nullptr;
  if (id16) std::memcpy(IdHook().bytes, id16, 16);
}

const uint8_t* FileIdForTesting() {
  return IdHook().set ? IdHook().bytes : nullptr;
}

} // namespace pdf
