#include "format.h"

#include <cmath>
#include <cstring>

namespace pdf {
namespace {

class Out {
public:
  Out(char* buf, size_t cap) : buf_(buf), cap_(cap) {}
  void Put(char c) {
    if (len_ + 1 < cap_) buf_[len_++] = c;
  }
  void Put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
      Put(s[i]);
  }
  size_t Finish() {
    if (cap_ > 0) buf_[len_] = '\0';
    return len_;
  }

private:
  char* buf_;
  size_t cap_;
  size_t len_ = 0;
};

size_t Digits(unsigned long long v, unsigned base, bool upper, char* out) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char tmp[32];
  size_t n = 0;
  do {
    tmp[n++] = digits[v % base];
    v /= base;
  } while (v != 0);
  for (size_t k = 0; k < n; ++k)
    out[k] = tmp[n - 1 - k];
  return n;
}

void PutInteger(Out& o, long long v, unsigned base, int width, char fill) {
  if (v == 0) {
    int n = width > 0 ? width : 1;
    for (int k = 0; k < n; ++k)
      o.Put('0');
    return;
  }
  bool negative = v < 0 && base == 10;
  unsigned long long mag =
      negative ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  if (base == 16 && v < 0) mag = static_cast<unsigned long long>(v) & 0xFFFFFFFFULL;
  char d[32];
  size_t n = Digits(mag, base, true, d);
  if (negative) o.Put('-');
  for (int k = static_cast<int>(n); k < width; ++k)
    o.Put(fill);
  o.Put(d, n);
}

} // namespace

size_t FormatReal(char* out, double x) {
  Out o(out, 32);
  if (std::fabs(x) < 0.000015) {
    o.Put('0');
    return o.Finish();
  }
  bool negative = x < 0;
  if (negative) x = -x;
  if (x >= 32768) {
    double rounded = std::floor(x + 0.5);
    if (rounded > 2147483647.0) rounded = 2147483647.0;
    if (negative) o.Put('-');
    char d[32];
    o.Put(d, Digits(static_cast<unsigned long long>(rounded), 10, false, d));
    return o.Finish();
  }
  double ipart = std::floor(x);
  long long i = static_cast<long long>(ipart);
  long long q = static_cast<long long>(std::floor((x - ipart) * 10000.0 + 0.5));
  if (q >= 10000) {
    i += 1;
    q = 0;
  }
  if (i == 0 && q == 0) {
    o.Put('0');
    return o.Finish();
  }
  if (negative) o.Put('-');
  char d[32];
  o.Put(d, Digits(static_cast<unsigned long long>(i), 10, false, d));
  if (q > 0) {
    char frac[4];
    for (int k = 3; k >= 0; --k) {
      frac[k] = static_cast<char>('0' + q % 10);
      q /= 10;
    }
    int len = 4;
    while (len > 0 && frac[len - 1] == '0')
      --len;
    o.Put('.');
    o.Put(frac, static_cast<size_t>(len));
  }
  return o.Finish();
}

size_t Format(char* out, size_t cap, const char* format, std::initializer_list<FmtArg> args) {
  Out o(out, cap);
  const FmtArg* next = args.begin();
  auto take = [&]() -> const FmtArg* { return next != args.end() ? next++ : nullptr; };
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      o.Put(*p);
      continue;
    }
    ++p;
    char fill = ' ';
    if (*p == '0') {
      fill = '0';
      ++p;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9')
      width = width * 10 + (*p++ - '0');
    if (*p == 'l') ++p;
    if (*p == '\0') break;
    switch (*p) {
    case '%':
      o.Put('%');
      break;
    case 'd':
    case 'X': {
      const FmtArg* a = take();
      long long v = 0;
      if (a) v = a->kind == FmtArg::kReal ? static_cast<long long>(a->r) : a->i;
      PutInteger(o, v, *p == 'd' ? 10 : 16, width, fill);
      break;
    }
    case 'c': {
      const FmtArg* a = take();
      if (a) o.Put(static_cast<char>(a->i));
      break;
    }
    case 's': {
      const FmtArg* a = take();
      if (a && a->kind == FmtArg::kStr && a->s) o.Put(a->s, std::strlen(a->s));
      break;
    }
    case 'f': {
      const FmtArg* a = take();
      double v = 0;
      if (a) v = a->kind == FmtArg::kReal ? a->r : static_cast<double>(a->i);
      char r[32];
      o.Put(r, FormatReal(r, v));
      break;
    }
    default:
      break; // unknown conversions produce nothing
    }
  }
  return o.Finish();
}

std::string FormatString(const char* format, std::initializer_list<FmtArg> args) {
  char buf[1024];
  size_t n = Format(buf, sizeof buf, format, args);
  return std::string(buf, n);
}

} // namespace pdf
