// Installed fonts for decoration text that the standard fonts cannot show.
#pragma once

#include <string>

namespace app {

// The family to draw the UTF-8 text with: `font` when it is an installed TrueType font that
// holds every character, otherwise the first installed TrueType font that fontconfig offers
// for them; empty when no installed font holds any of them.
std::string InstalledFontFor(const std::string& font, const std::string& utf8);

} // namespace app
