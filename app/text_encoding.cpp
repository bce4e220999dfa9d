#include "app/text_encoding.h"

#include <cstdint>

namespace app {

namespace {

constexpr char32_t kBad = 0xFFFFFFFF;

// Decodes one character at s[i], advancing i. Malformed sequences (overlong, surrogates,
// beyond U+10FFFF, truncated) consume one byte and yield kBad.
char32_t NextChar(const std::string& s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int len;
  char32_t cp;
  char32_t min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    ++i;
    return kBad;
  }
  if (i + static_cast<size_t>(len) > s.size()) {
    ++i;
    return kBad;
  }
  for (int k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) {
      ++i;
      return kBad;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kBad;
  }
  i += static_cast<size_t>(len);
  return cp;
}

// Code points of the bytes 0x80..0x9F in Windows-1252; 0 where the code page has none.
constexpr char16_t kWin1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToWin1252(char32_t cp) {
  if (cp == 0 || cp == kBad) return '?';
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int k = 0; k < 32; ++k)
    if (kWin1252High[k] != 0 && kWin1252High[k] == cp) return static_cast<char>(0x80 + k);
  return '?';
}

void PutUnit(std::string& out, uint16_t u) {
  out += static_cast<char>(u >> 8);
  out += static_cast<char>(u & 0xFF);
}

} // namespace

std::string Utf8ToWin1252(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();)
    out += ToWin1252(NextChar(utf8, i));
  return out;
}

bool FitsWin1252(const std::string& utf8) {
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = NextChar(utf8, i);
    if (cp != kBad && cp != 0 && cp != U'?' && ToWin1252(cp) == '?') return false;
  }
  return true;
}

std::string PdfTextString(const std::string& utf8) {
  bool ascii = true;
  bool nul = false;
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (c == '\0') nul = true;
  }
  if (ascii) {
    if (!nul) return utf8;
    std::string out;
    for (char c : utf8)
      if (c != '\0') out += c;
    return out;
  }
  std::string out = "\xFE\xFF";
  out.reserve(2 + utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = NextChar(utf8, i);
    if (cp == 0) continue;
    if (cp == kBad) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(out, static_cast<uint16_t>(0xD800 + (cp >> 10)));
      PutUnit(out, static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      PutUnit(out, static_cast<uint16_t>(cp));
    }
  }
  return out;
}

std::string EngineTextString(const std::string& utf8) {
  std::string s = PdfTextString(utf8);
  if (s.size() >= 2 && s[0] == '\xFE' && s[1] == '\xFF') s += '\0';
  return s;
}

std::string TruncateUtf8(const std::string& utf8, size_t maxChars) {
  size_t i = 0;
  size_t chars = 0;
  while (i < utf8.size() && chars < maxChars) {
    NextChar(utf8, i);
    ++chars;
  }
  return utf8.substr(0, i);
}

} // namespace app
