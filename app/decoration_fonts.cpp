#include "app/decoration_fonts.h"

#include <algorithm>
#include <map>
#include <vector>

#include "text/identity_text.h"
#include "text/installed_fonts.h"

namespace app {

namespace {

std::string Lookup(const std::string& font, const std::string& utf8) {
  std::vector<char32_t> chars;
  for (char32_t c : text::DecodeUtf8(utf8))
    if (c >= 0x20 && std::find(chars.begin(), chars.end(), c) == chars.end()) chars.push_back(c);
  if (chars.empty()) return {};
  if (!font.empty() && text::InstalledTrueTypeCovers(font, false, false, chars)) return font;
  return text::FallbackFamilyFor(chars, false, false);
}

} // namespace

std::string InstalledFontFor(const std::string& font, const std::string& utf8) {
  // Every page of a run asks again for the same texts; the answer does not change.
  thread_local std::map<std::string, std::string> answers;
  std::string key = font + '\0' + utf8;
  auto it = answers.find(key);
  if (it != answers.end()) return it->second;
  if (answers.size() > 256) answers.clear();
  return answers[key] = Lookup(font, utf8);
}

} // namespace app
