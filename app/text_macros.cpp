#include "app/text_macros.h"

#include <cstdio>
#include <filesystem>

#include "app/text_encoding.h"

namespace app {

namespace {

// Intermediate texts may grow by each step's replacements; this keeps them bounded while
// leaving room for every result that fits the final limit.
constexpr size_t kWorkLimitBytes = 64 * 1024;

std::string ReplaceAll(const std::string& text, const std::string& token,
                       const std::string& value) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t at = text.find(token, pos);
    if (at == std::string::npos) break;
    out.append(text, pos, at - pos);
    out += value;
    pos = at + token.size();
    if (out.size() > kWorkLimitBytes) return out.substr(0, kWorkLimitBytes);
  }
  out.append(text, pos, std::string::npos);
  if (out.size() > kWorkLimitBytes) out.resize(kWorkLimitBytes);
  return out;
}

std::string Format(const char* fmt, int a, int b, int c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

} // namespace

std::string ExpandMacros(const std::string& text, const ConversionSettings& s,
                         const WallClock& clock) {
  std::time_t now = clock ? clock() : std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const int year = tm.tm_year + 1900;
  const int month = tm.tm_mon + 1;
  const std::string values[] = {
      s.title,
      s.subject,
      s.author,
      s.keywords,
      Format("%d-%02d-%02d", year, month, tm.tm_mday),
      Format("%02d-%02d-%d", tm.tm_mday, month, year),
      Format("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec),
  };
  std::string out = text;
  for (size_t i = 0; i < std::size(kMacroTokens); ++i)
    out = ReplaceAll(out, kMacroTokens[i], values[i]);
  return TruncateUtf8(out, kMaxExpandedChars);
}

std::optional<std::string> BookmarkTitle(const ConversionSettings& s, int frameIndex,
                                         int frameCount, const std::string& path,
                                         int imageCounter) {
  if (s.bookmark == 0) return std::nullopt;
  if (s.bookmarksel == 0) return std::to_string(imageCounter + 1);
  std::filesystem::path p(path);
  std::string name;
  switch (s.bookmarksel) {
  case 1:
    name = p.stem().string();
    break;
  case 2:
    name = p.filename().string();
    break;
  default:
    name = path;
    break;
  }
  if (s.unitforfile == 1) {
    if (frameIndex != 0) return std::nullopt;
    return name;
  }
  if (frameCount > 1)
    return name + " " + std::to_string(frameIndex + 1) + "/" + std::to_string(frameCount);
  return name;
}

} // namespace app
