#include "app/ini_document.h"

#include "app/text_encoding.h"

namespace app {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names INI syntax can hold: not empty, on one line, no '=' (the separator), no brackets
// and no leading comment mark, no surrounding blanks.
bool UsableName(std::string_view name) {
  if (name.empty() || name.size() > 256 || Trim(name) != name) return false;
  if (name.front() == ';' || name.front() == '#' || name.front() == '[') return false;
  for (char c : name)
    if (c == '=' || c == '\n' || c == '\r' || c == '\0' || c == ']') return false;
  return true;
}

} // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc.bom_ = "\xEF\xBB\xBF";
    bytes.remove_prefix(3);
  }
  while (!bytes.empty()) {
    size_t nl = bytes.find('\n');
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(bytes);
      line.hasEnd = false;
      bytes = {};
    } else {
      line.text = std::string(bytes.substr(0, nl));
      bytes.remove_prefix(nl + 1);
    }
    // A last line may end in a lone CR; it is a line end all the same.
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.crlf = true;
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

IniDocument::Parsed IniDocument::Classify(std::string_view text) {
  Parsed p;
  if (text.size() > kMaxIniLineBytes) return p;
  std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';' || t.front() == '#') return p;
  if (t.front() == '[') {
    size_t close = t.find(']');
    if (close == std::string_view::npos) return p;
    p.kind = Kind::kSection;
    p.name = Trim(t.substr(1, close - 1));
    return p;
  }
  size_t eq = t.find('=');
  if (eq == std::string_view::npos || eq == 0) return p;
  p.kind = Kind::kKey;
  p.name = Trim(t.substr(0, eq));
  p.value = Trim(t.substr(eq + 1));
  if (p.name.empty()) p.kind = Kind::kOther;
  return p;
}

std::optional<std::pair<size_t, size_t>> IniDocument::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    Parsed p = Classify(lines_[i].text);
    if (p.kind != Kind::kSection || !NamesEqual(p.name, section)) continue;
    size_t end = i + 1;
    while (end < lines_.size() && Classify(lines_[end].text).kind != Kind::kSection)
      ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<size_t> IniDocument::FindKey(std::string_view section, std::string_view key) const {
  auto range = FindSection(section);
  if (!range) return std::nullopt;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    Parsed p = Classify(lines_[i].text);
    if (p.kind == Kind::kKey && NamesEqual(p.name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  auto at = FindKey(section, key);
  if (!at) return std::nullopt;
  return std::string(Classify(lines_[*at].text).value);
}

bool IniDocument::UsesCrlf() const {
  return !lines_.empty() && lines_.front().crlf;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!UsableName(section) || !UsableName(key)) return false;
  std::string v(value);
  for (char& c : v)
    if (c == '\n' || c == '\r' || c == '\0') c = ' ';
  if (v.size() > kMaxIniValueBytes) {
    // Cut at a character boundary, never inside a UTF-8 sequence.
    size_t cut = kMaxIniValueBytes;
    while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80)
      --cut;
    v.resize(cut);
  }
  bool crlf = UsesCrlf();

  if (auto at = FindKey(section, key)) {
    Line& line = lines_[*at];
    // Keep the spelling and indentation of the key as the file has it.
    size_t eq = line.text.find('=');
    line.text = line.text.substr(0, eq + 1) + v;
    return true;
  }
  Line fresh{std::string(key) + "=" + v, crlf, true};
  auto range = FindSection(section);
  if (!range) {
    if (!lines_.empty()) {
      lines_.back().hasEnd = true;
      if (!Trim(lines_.back().text).empty()) lines_.push_back(Line{"", crlf, true});
    }
    lines_.push_back(Line{"[" + std::string(section) + "]", crlf, true});
    lines_.push_back(std::move(fresh));
    return true;
  }
  // After the section's last non-blank line, so blank separators stay before the next one.
  size_t insert = range->second;
  while (insert > range->first + 1 && Trim(lines_[insert - 1].text).empty())
    --insert;
  lines_[insert - 1].hasEnd = true;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), std::move(fresh));
  return true;
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  auto at = FindKey(section, key);
  if (!at) return false;
  bool lastHadEnd = lines_[*at].hasEnd;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  if (!lastHadEnd && !lines_.empty() && *at == lines_.size()) lines_.back().hasEnd = false;
  return true;
}

std::string IniDocument::Serialize() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.text;
    if (line.hasEnd)
      out += line.crlf ? "\r\n" : "\n";
    else if (line.crlf)
      out += '\r';
  }
  return out;
}

} // namespace app
