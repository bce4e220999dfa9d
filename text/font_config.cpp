#include "font_config.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

namespace text {
namespace {

constexpr size_t kMaxEntries = 10000;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  return s;
}

std::string Join(const std::string& dir, const std::string& value) {
  if (value.empty() || value[0] == '/' || dir.empty()) return value;
  return dir.back() == '/' ? dir + value : dir + "/" + value;
}

std::string ReadSmallFile(const std::string& path, bool& ok) {
  ok = false;
  std::string text;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    text.append(buf, n);
    if (text.size() > kMaxFontConfigSize) {
      std::fclose(f);
      return {};
    }
  }
  std::fclose(f);
  ok = true;
  return text;
}

} // namespace

FontCategory CategoryFromName(std::string_view line) {
  static const char* const kNames[] = {"FontMetrics", "FontOutline", "FontFile", "Encoding"};
  line = Trim(line);
  for (int i = 0; i < 4; ++i)
    if (line.size() == std::char_traits<char>::length(kNames[i]) &&
        strncasecmp(line.data(), kNames[i], line.size()) == 0)
      return static_cast<FontCategory>(i);
  return FontCategory::kCount;
}

std::string FontConfiguration::Lookup(FontCategory category, const std::string& name) const {
  for (const Entry& e : entries)
    if (e.category == category && e.name == name) return e.path;
  for (const Entry& e : entries)
    if (e.category == category && strcasecmp(e.name.c_str(), name.c_str()) == 0) return e.path;
  return {};
}

FontConfiguration ParseFontConfiguration(std::string_view text, const std::string& baseDir) {
  FontConfiguration config;
  if (text.size() > kMaxFontConfigSize) return config;
  enum { kPreamble, kCategory, kValues } state = kPreamble;
  FontCategory category = FontCategory::kCount;
  std::string dir = baseDir;
  size_t pos = 0;
  while (pos < text.size() && config.entries.size() < kMaxEntries) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line[0] == '.') {
      state = kCategory;
      dir = baseDir;
      continue;
    }
    if (state == kPreamble || line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (state == kCategory) {
      category = CategoryFromName(line);
      state = kValues;
      continue;
    }
    if (line[0] == '/') {
      dir = std::string(line);
      continue;
    }
    if (category == FontCategory::kCount) continue;
    // The name ends at the first "=" that no backslash keeps.
    std::string name;
    size_t i = 0;
    bool found = false;
    for (; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '=') {
        name += '=';
        ++i;
      } else if (line[i] == '=') {
        found = true;
        break;
      } else {
        name += line[i];
      }
    }
    if (!found) continue;
    std::string_view value = line.substr(i + 1);
    bool absolute = !value.empty() && value[0] == '=';
    if (absolute) value.remove_prefix(1);
    value = Trim(value);
    name = std::string(Trim(name));
    if (name.empty() || value.empty()) continue;
    std::string path(value);
    config.entries.push_back({category, name, absolute ? path : Join(dir, path)});
  }
  return config;
}

FontConfiguration LoadFontConfiguration(const std::string& documentPath) {
  std::string path;
  if (const char* env = std::getenv(kFontConfigEnv); env && *env)
    path = env;
  else if (!documentPath.empty())
    path = documentPath;
  else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    path = std::string(xdg) + "/pictofold/Fonts.cfg";
  else if (const char* home = std::getenv("HOME"); home && *home)
    path = std::string(home) + "/.config/pictofold/Fonts.cfg";
  if (path.empty()) return {};
  bool ok = false;
  std::string text = ReadSmallFile(path, ok);
  if (!ok) return {};
  size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  if (base.empty()) base = "/";
  return ParseFontConfiguration(text, base);
}

} // namespace text
