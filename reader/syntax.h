// The syntax layer of the PDF reader: a windowed scanner over a Source, the lexer of PDF
// tokens and the parser of PDF values, each bounded so that damaged or hostile files fail
// cleanly. Private to the reader.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pdf_reader.h"

namespace reader {

constexpr int kMaxNesting = 256;       // arrays and dictionaries inside one another
constexpr size_t kMaxValues = 1000000; // values in one parsed object

inline bool IsWhite(int c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
inline bool IsDelimiter(int c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}
inline bool IsRegular(int c) {
  return c >= 0 && !IsWhite(c) && !IsDelimiter(c);
}
inline int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Sequential reading through a window; positions are file offsets. Nothing at or past the
// limit is ever returned, so every scan ends at the end of the data.
class Scanner {
public:
  explicit Scanner(Source& s) : src_(s), limit_(s.Size()) {}
  void Seek(int64_t p, int64_t limit) {
    pos_ = p;
    limit_ = std::min(limit, src_.Size());
  }
  int64_t pos() const { return pos_; }
  int Peek() {
    if (pos_ >= limit_ || !Ensure()) return -1;
    return buf_[static_cast<size_t>(pos_ - start_)];
  }
  int Get() {
    int c = Peek();
    if (c >= 0) ++pos_;
    return c;
  }
  void SkipWhite() {
    while (IsWhite(Peek()))
      ++pos_;
  }

private:
  bool Ensure() {
    if (pos_ >= start_ && pos_ < start_ + static_cast<int64_t>(len_)) return true;
    if (pos_ < 0) return false;
    // A short first read serves the many small objects; sequential scans get more.
    size_t want = pos_ == start_ + static_cast<int64_t>(len_) && len_ > 0 ? 65536 : 4096;
    buf_.resize(want);
    len_ = src_.ReadAt(pos_, buf_.data(), want);
    start_ = pos_;
    return len_ > 0;
  }

  Source& src_;
  std::vector<uint8_t> buf_;
  int64_t start_ = 0;
  size_t len_ = 0;
  int64_t pos_ = 0;
  int64_t limit_;
};

enum class Tok {
  kEnd,
  kError,
  kNumber,
  kName,
  kString,
  kArrayOpen,
  kArrayClose,
  kDictOpen,
  kDictClose,
  kKeyword
};

struct Token {
  Tok kind = Tok::kEnd;
  int64_t begin = 0, end = 0;
  bool integer = false;
  int64_t ivalue = 0;
  std::string text; // decoded name, string bytes or keyword
  std::string raw;  // strings: the bytes between the delimiters
  bool hex = false;
};

class Lexer {
public:
  explicit Lexer(Scanner& s) : sc_(s) {}
  Token Next() {
    if (!pending_.empty()) {
      Token t = std::move(pending_.back());
      pending_.pop_back();
      return t;
    }
    return Lex();
  }
  void Push(Token t) { pending_.push_back(std::move(t)); }

private:
  Token Lex() {
    Token t;
    for (;;) {
      sc_.SkipWhite();
      if (sc_.Peek() != '%') break;
      while (sc_.Peek() >= 0 && sc_.Peek() != '\r' && sc_.Peek() != '\n')
        sc_.Get();
    }
    t.begin = sc_.pos();
    int c = sc_.Peek();
    if (c < 0) {
      t.kind = Tok::kEnd;
      t.end = t.begin;
      return t;
    }
    t.kind = Tok::kError;
    switch (c) {
    case '(':
      sc_.Get();
      LexLiteral(t);
      break;
    case '<':
      sc_.Get();
      if (sc_.Peek() == '<') {
        sc_.Get();
        t.kind = Tok::kDictOpen;
      } else {
        LexHex(t);
      }
      break;
    case '>':
      sc_.Get();
      if (sc_.Get() == '>') t.kind = Tok::kDictClose;
      break;
    case '[':
      sc_.Get();
      t.kind = Tok::kArrayOpen;
      break;
    case ']':
      sc_.Get();
      t.kind = Tok::kArrayClose;
      break;
    case '/':
      sc_.Get();
      LexName(t);
      break;
    case ')':
    case '{':
    case '}':
      sc_.Get();
      break;
    default:
      LexWord(t);
      break;
    }
    t.end = sc_.pos();
    return t;
  }

  void LexLiteral(Token& t) {
    int depth = 1;
    for (;;) {
      int c = sc_.Get();
      if (c < 0) return; // unterminated
      if (c == ')' && --depth == 0) break;
      t.raw += static_cast<char>(c);
      if (c == '(') ++depth;
      if (c == '\r') {
        // An unescaped line end stands for one line feed.
        if (sc_.Peek() == '\n') t.raw += static_cast<char>(sc_.Get());
        t.text += '\n';
        continue;
      }
      if (c != '\\') {
        t.text += static_cast<char>(c);
        continue;
      }
      int e = sc_.Get();
      if (e < 0) return;
      t.raw += static_cast<char>(e);
      switch (e) {
      case 'n':
        t.text += '\n';
        break;
      case 'r':
        t.text += '\r';
        break;
      case 't':
        t.text += '\t';
        break;
      case 'b':
        t.text += '\b';
        break;
      case 'f':
        t.text += '\f';
        break;
      case '\r':
        if (sc_.Peek() == '\n') t.raw += static_cast<char>(sc_.Get());
        break;
      case '\n':
        break;
      default:
        if (e >= '0' && e <= '7') {
          int v = e - '0';
          for (int k = 0; k < 2 && sc_.Peek() >= '0' && sc_.Peek() <= '7'; ++k) {
            int d = sc_.Get();
            t.raw += static_cast<char>(d);
            v = v * 8 + (d - '0');
          }
          t.text += static_cast<char>(v & 0xFF);
        } else {
          t.text += static_cast<char>(e);
        }
      }
    }
    t.kind = Tok::kString;
  }

  void LexHex(Token& t) {
    int high = -1;
    for (;;) {
      int c = sc_.Get();
      if (c < 0) return;
      if (c == '>') break;
      t.raw += static_cast<char>(c);
      if (IsWhite(c)) continue;
      int v = HexValue(c);
      if (v < 0) v = 0; // a stray character counts as a zero digit
      if (high < 0) {
        high = v;
      } else {
        t.text += static_cast<char>(high * 16 + v);
        high = -1;
      }
    }
    if (high >= 0) t.text += static_cast<char>(high * 16);
    t.hex = true;
    t.kind = Tok::kString;
  }

  void LexName(Token& t) {
    while (IsRegular(sc_.Peek())) {
      int c = sc_.Get();
      if (c == '#') {
        int h = HexValue(sc_.Peek());
        if (h >= 0) {
          sc_.Get();
          int l = HexValue(sc_.Peek());
          if (l >= 0) {
            sc_.Get();
            t.text += static_cast<char>(h * 16 + l);
            continue;
          }
          t.text += '#';
          t.text += static_cast<char>("0123456789ABCDEF"[h]);
          continue;
        }
      }
      t.text += static_cast<char>(c);
    }
    t.kind = Tok::kName;
  }

  void LexWord(Token& t) {
    while (IsRegular(sc_.Peek()))
      t.text += static_cast<char>(sc_.Get());
    if (t.text.empty()) {
      sc_.Get();
      return;
    }
    t.kind = Tok::kKeyword;
    const std::string& s = t.text;
    size_t i = 0;
    if (s[0] == '+' || s[0] == '-') i = 1;
    bool digits = i < s.size(), dot = false;
    for (size_t k = i; k < s.size() && digits; ++k) {
      if (s[k] == '.' && !dot)
        dot = true;
      else if (s[k] < '0' || s[k] > '9')
        digits = false;
    }
    if (!digits || s == "." || s == "+." || s == "-.") return;
    t.kind = Tok::kNumber;
    t.integer = !dot;
    if (t.integer) {
      int64_t v = 0;
      for (size_t k = i; k < s.size(); ++k) {
        v = v * 10 + (s[k] - '0');
        if (v > (int64_t{1} << 40)) v = int64_t{1} << 40; // far beyond any offset we accept
      }
      t.ivalue = s[0] == '-' ? -v : v;
    }
  }

  Scanner& sc_;
  std::vector<Token> pending_;
};

struct Value {
  enum Kind { kNull, kBool, kNumber, kName, kString, kArray, kDict, kRef, kKeyword };
  Kind kind = kNull;
  bool integer = false;
  int64_t num = 0;
  int64_t gen = 0;
  std::string text, raw;
  bool hex = false;
  std::vector<Value> items;      // array items, or dictionary values
  std::vector<std::string> keys; // dictionary keys
  std::vector<int64_t> keyBegins;
  int64_t begin = 0, end = 0;

  const Value* Get(std::string_view key) const {
    if (kind != kDict) return nullptr;
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &items[i];
    return nullptr;
  }
  int64_t KeyBegin(std::string_view key) const {
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return keyBegins[i];
    return -1;
  }
  bool IsInt() const { return kind == kNumber && integer; }
};

class Parser {
public:
  explicit Parser(Lexer& lx) : lx_(lx) {}

  bool ParseValue(Value& v, int depth) {
    if (depth > kMaxNesting || ++values_ > kMaxValues) return false;
    Token t = lx_.Next();
    v.begin = t.begin;
    v.end = t.end;
    switch (t.kind) {
    case Tok::kNumber:
      v.kind = Value::kNumber;
      v.integer = t.integer;
      v.num = t.ivalue;
      if (t.integer && t.ivalue >= 0) {
        Token t2 = lx_.Next();
        if (t2.kind == Tok::kNumber && t2.integer && t2.ivalue >= 0) {
          Token t3 = lx_.Next();
          if (t3.kind == Tok::kKeyword && t3.text == "R") {
            v.kind = Value::kRef;
            v.gen = t2.ivalue;
            v.end = t3.end;
            return true;
          }
          lx_.Push(std::move(t3));
        }
        lx_.Push(std::move(t2));
      }
      return true;
    case Tok::kName:
      v.kind = Value::kName;
      v.text = std::move(t.text);
      return true;
    case Tok::kString:
      v.kind = Value::kString;
      v.text = std::move(t.text);
      v.raw = std::move(t.raw);
      v.hex = t.hex;
      return true;
    case Tok::kKeyword:
      if (t.text == "true" || t.text == "false") {
        v.kind = Value::kBool;
        v.num = t.text == "true";
      } else if (t.text == "null") {
        v.kind = Value::kNull;
      } else {
        v.kind = Value::kKeyword;
        v.text = std::move(t.text);
      }
      return true;
    case Tok::kArrayOpen:
      v.kind = Value::kArray;
      for (;;) {
        Token n = lx_.Next();
        if (n.kind == Tok::kArrayClose) {
          v.end = n.end;
          return true;
        }
        if (n.kind == Tok::kEnd || n.kind == Tok::kError) return false;
        lx_.Push(std::move(n));
        Value item;
        if (!ParseValue(item, depth + 1) || item.kind == Value::kKeyword) return false;
        v.items.push_back(std::move(item));
      }
    case Tok::kDictOpen:
      v.kind = Value::kDict;
      for (;;) {
        Token k = lx_.Next();
        if (k.kind == Tok::kDictClose) {
          v.end = k.end;
          return true;
        }
        if (k.kind != Tok::kName) return false;
        Value item;
        if (!ParseValue(item, depth + 1) || item.kind == Value::kKeyword) return false;
        v.keys.push_back(std::move(k.text));
        v.keyBegins.push_back(k.begin);
        v.items.push_back(std::move(item));
      }
    default:
      return false;
    }
  }

private:
  Lexer& lx_;
  size_t values_ = 0;
};

} // namespace reader
