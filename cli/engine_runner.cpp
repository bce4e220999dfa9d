// pictofold-engine: runs a script of engine calls, one call per line, for tests, debugging
// and fuzzing.
//
//   pictofold-engine [--clock EPOCH] [--id HEX32] [SCRIPT]
//
// A line is the operation's name and its arguments separated by blanks. Integers are decimal
// or 0x hexadecimal; texts are bare words or double-quoted with \n \r \t \\ \" \xHH; "-" is a
// null pointer; "$" is the handle of the latest EngineCreate or EngineOpenAppend. In
// EngineQuery, "&" passes a fresh integer (outA, outB) or a zeroed 256-byte buffer (textA).
// Each call prints its result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/loader.h"
#include "engine/engine.h"
#include "pdfwriter/clock.h"

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

bool Tokenize(const std::string& line, std::vector<Token>& out) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    if (i >= line.size()) break;
    Token t;
    if (line[i] == '"') {
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          t.text += c;
          continue;
        }
        if (i >= line.size()) return false;
        char e = line[i++];
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
        case '\\':
          t.text += '\\';
          break;
        case '"':
          t.text += '"';
          break;
        case 'x': {
          if (i + 2 > line.size()) return false;
          char hex[3] = {line[i], line[i + 1], 0};
          char* end = nullptr;
          long v = std::strtol(hex, &end, 16);
          if (end != hex + 2) return false;
          t.text += static_cast<char>(v);
          i += 2;
          break;
        }
        default:
          return false;
        }
      }
      if (!closed) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
        t.text += line[i++];
    }
    out.push_back(std::move(t));
  }
  return true;
}

std::string Escape(const char* s) {
  std::string r;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
    switch (*p) {
    case '\n':
      r += "\\n";
      break;
    case '\r':
      r += "\\r";
      break;
    case '\t':
      r += "\\t";
      break;
    case '\\':
      r += "\\\\";
      break;
    case '"':
      r += "\\\"";
      break;
    default:
      if (*p < 32 || *p > 126) {
        char b[5];
        std::snprintf(b, sizeof b, "\\x%02X", *p);
        r += b;
      } else {
        r += static_cast<char>(*p);
      }
    }
  }
  return r;
}

class Runner {
public:
  // Set once a document writes to standard output, which then carries only the PDF.
  bool resultsToStderr = false;

  // Returns false when the line cannot be parsed.
  bool RunLine(const std::string& line, std::ostream& out) {
    std::vector<Token> tok;
    if (!Tokenize(line, tok)) return false;
    if (tok.empty()) return true;
    if (!tok[0].quoted && tok[0].text[0] == '#') return true;
    const std::string op = tok[0].text;
    args_.assign(tok.begin() + 1, tok.end());

    if (op == "EngineCreate") {
      auto path = Text(0);
      if (!path.ok) return false;
      int h = EngineCreate(path.ptr());
      if (h) last_ = h;
      if (path.value == "-" && !path.null) resultsToStderr = true;
      out << h << "\n";
      return true;
    }
    if (op == "EngineOpenAppend") {
      auto path = Text(0);
      if (!path.ok) return false;
      int h = EngineOpenAppend(path.ptr());
      if (h) last_ = h;
      out << h << "\n";
      return true;
    }
    if (op == "EngineSetOption") {
      int v[4];
      if (!Ints(v, 4)) return false;
      auto a = Text(4), b = Text(5);
      if (!a.ok || !b.ok) return false;
      out << EngineSetOption(v[0], v[1], v[2], v[3], a.ptr(), b.ptr()) << "\n";
      return true;
    }
    if (op == "EngineQuery") return Query(out);
    if (op == "EngineSetInfo") {
      int h;
      if (!Int(0, h)) return false;
      Arg t[5] = {Text(1), Text(2), Text(3), Text(4), Text(5)};
      for (auto& x : t)
        if (!x.ok) return false;
      out << EngineSetInfo(h, t[0].ptr(), t[1].ptr(), t[2].ptr(), t[3].ptr(), t[4].ptr()) << "\n";
      return true;
    }
    if (op == "EngineDrawText") {
      int h, x, y, colour;
      if (!Int(0, h) || !Int(1, x) || !Int(2, y) || !Int(4, colour)) return false;
      auto t = Text(3);
      if (!t.ok) return false;
      out << EngineDrawText(h, x, y, t.ptr(), colour) << "\n";
      return true;
    }
    if (op == "EngineDrawLine") {
      int v[7];
      if (!Ints(v, 7)) return false;
      out << EngineDrawLine(v[0], v[1], v[2], v[3], v[4], v[5], v[6]) << "\n";
      return true;
    }
    if (op == "EngineAddImage") {
      int h;
      if (!Int(0, h)) return false;
      auto path = Text(1);
      if (!path.ok) return false;
      out << EngineAddImage(h, path.ptr()) << "\n";
      return true;
    }
    if (op == "PlaceImageFile") {
      int h;
      if (!Int(0, h)) return false;
      auto path = Text(1);
      if (!path.ok) return false;
      out << PlaceImageFile(h, path.ptr()) << "\n";
      return true;
    }
    if (op == "EngineClose") {
      int h;
      if (!Int(0, h)) return false;
      out << EngineClose(h) << "\n";
      return true;
    }
    return false;
  }

private:
  struct Arg {
    bool ok = true;
    bool null = true;
    std::string value;
    const char* ptr() const { return null ? nullptr : value.c_str(); }
  };

  Arg Text(size_t i) const {
    Arg a;
    if (i >= args_.size()) return a;
    const Token& t = args_[i];
    if (!t.quoted && t.text == "-") return a;
    a.null = false;
    a.value = t.text;
    return a;
  }

  bool Int(size_t i, int& v) const {
    if (i >= args_.size()) {
      v = 0;
      return true;
    }
    const Token& t = args_[i];
    if (t.quoted) return false;
    if (t.text == "$") {
      v = last_;
      return true;
    }
    const char* s = t.text.c_str();
    char* end = nullptr;
    bool neg = false;
    if (*s == '-' || *s == '+') neg = *s++ == '-';
    long long x;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
      x = std::strtoll(s + 2, &end, 16);
    else
      x = std::strtoll(s, &end, 10);
    if (end == s || *end != '\0') return false;
    v = static_cast<int>(neg ? -x : x);
    return true;
  }

  bool Ints(int* v, size_t n) const {
    for (size_t i = 0; i < n; ++i)
      if (!Int(i, v[i])) return false;
    return true;
  }

  bool Query(std::ostream& out) {
    int h, key;
    if (!Int(0, h) || !Int(1, key)) return false;
    int a = 0, b = 0;
    int* outs[2] = {nullptr, nullptr};
    int* cells[2] = {&a, &b};
    bool amp[2] = {false, false};
    for (int k = 0; k < 2; ++k) {
      size_t i = static_cast<size_t>(2 + k);
      if (i < args_.size() && !args_[i].quoted && args_[i].text == "&") {
        amp[k] = true;
        outs[k] = cells[k];
      } else {
        int v;
        if (!Int(i, v)) return false;
        outs[k] = reinterpret_cast<int*>(static_cast<intptr_t>(v));
      }
    }
    char buffer[256] = {};
    bool textAmp = args_.size() > 4 && !args_[4].quoted && args_[4].text == "&";
    Arg ta = Text(4), tb = Text(5);
    if (!ta.ok || !tb.ok) return false;
    std::string textCopy = ta.value;
    char* textA = nullptr;
    if (textAmp) {
      textA = buffer;
    } else if (!ta.null) {
      std::strncpy(buffer, textCopy.c_str(), sizeof buffer - 1);
      textA = buffer;
    }
    int r = EngineQuery(h, key, outs[0], outs[1], textA, tb.ptr());
    out << r;
    if (amp[0]) out << " outA=" << a;
    if (amp[1]) out << " outB=" << b;
    if (textAmp) out << " textA=\"" << Escape(buffer) << "\"";
    out << "\n";
    return true;
  }

  std::vector<Token> args_;
  int last_ = 0;
};

bool ParseHexId(const char* s, uint8_t id[16]) {
  if (std::strlen(s) != 32) return false;
  for (int i = 0; i < 16; ++i) {
    char b[3] = {s[2 * i], s[2 * i + 1], 0};
    char* end;
    id[i] = static_cast<uint8_t>(std::strtol(b, &end, 16));
    if (*end) return false;
  }
  return true;
}

} // namespace

int main(int argc, char** argv) {
  const char* script = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--clock" && i + 1 < argc) {
      std::time_t t = static_cast<std::time_t>(std::strtoll(argv[++i], nullptr, 10));
      pdf::SetClockForTesting([t] { return t; });
    } else if (a == "--id" && i + 1 < argc) {
      uint8_t id[16];
      if (!ParseHexId(argv[++i], id)) {
        std::fprintf(stderr, "pictofold-engine: --id wants 32 hexadecimal digits\n");
        return 2;
      }
      pdf::SetFileIdForTesting(id);
    } else if (a == "--help" || a == "-h") {
      std::printf("usage: pictofold-engine [--clock EPOCH] [--id HEX32] [SCRIPT]\n");
      return 0;
    } else if (!script) {
      script = argv[i];
    } else {
      std::fprintf(stderr, "pictofold-engine: unexpected argument %s\n", argv[i]);
      return 2;
    }
  }
  std::ifstream file;
  std::istream* in = &std::cin;
  if (script) {
    file.open(script, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "pictofold-engine: cannot read %s\n", script);
      return 2;
    }
    in = &file;
  }
  // The converter plug-in lives beside the executables, as for the application.
  converter::Plugin::Instance().Load(converter::ExecutableFolder());
  Runner runner;
  std::string line;
  int number = 0;
  std::ostringstream results;
  while (std::getline(*in, line)) {
    ++number;
    bool ok = runner.RunLine(line, results);
    std::ostream& out = runner.resultsToStderr ? std::cerr : std::cout;
    out << results.str();
    out.flush();
    results.str("");
    if (!ok) {
      std::fprintf(stderr, "pictofold-engine: line %d: cannot parse\n", number);
      return 2;
    }
  }
  return 0;
}
