#include "app/decoration_fonts.h"

#include <algorithm>
#include <vector>

#include "text/identity_text.h"
#include "text/installed_fonts.h"

namespace app {

std::string InstalledFontFor(const std::string& font, const std::string& utf8) {
  std::vector<char32_t> chars;
  for (char32_t c : text::DecodeUtf8(utf8))
    if (c >= 0x20 && std::find(chars.begin(), chars.end(), c) == chars.end()) chars.push_back(c);
  if (chars.empty()) return {};
  if (!font.empty() && text::InstalledTrueTypeCovers(font, false, false, chars)) return font;
  return text::FallbackFamilyFor(chars, false, false);
}

} // namespace app
