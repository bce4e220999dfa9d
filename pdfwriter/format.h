// The engine's own number and string formatter. Output never depends on the C locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace pdf {

// One argument of Format(). Integers are taken as 64-bit so offsets past 2 GiB stay exact.
struct FmtArg {
  enum Kind { kInt, kReal, kStr } kind;
  long long i = 0;
  double r = 0;
  const char* s = nullptr;

  FmtArg(int v) : kind(kInt), i(v) {}
  FmtArg(unsigned v) : kind(kInt), i(v) {}
  FmtArg(long v) : kind(kInt), i(v) {}
  FmtArg(long long v) : kind(kInt), i(v) {}
  FmtArg(unsigned long v) : kind(kInt), i(static_cast<long long>(v)) {}
  FmtArg(unsigned long long v) : kind(kInt), i(static_cast<long long>(v)) {}
  FmtArg(double v) : kind(kReal), r(v) {}
  FmtArg(float v) : kind(kReal), r(v) {}
  FmtArg(const char* v) : kind(kStr), s(v) {}
};

// Formats into out (capacity cap, always NUL-terminated); returns the length written.
// Conversions: %% %d %ld %X %lX %c %s %f with optional 0 fill and width for integers.
size_t Format(char* out, size_t cap, const char* format, std::initializer_list<FmtArg> args);

std::string FormatString(const char* format, std::initializer_list<FmtArg> args);

// The real-number form: at most four fractional digits, trailing zeros dropped.
// Writes into out (at least 32 bytes); returns the length.
size_t FormatReal(char* out, double x);

} // namespace pdf
