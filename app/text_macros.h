// Header and footer macros, and the outline titles of pages.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "app/conversion_settings.h"

namespace app {

// Longest expanded text, in characters; longer results are cut at a character boundary.
inline constexpr size_t kMaxExpandedChars = 1023;

// The macro tokens in the order they are replaced.
inline constexpr const char* kMacroTokens[] = {"%Title%",
                                               "%Subject%",
                                               "%Author%",
                                               "%Keywordes%",
                                               "%LocalDate(YY-MM-DD)%",
                                               "%LocalDate(DD-MM-YY)%",
                                               "%LocalTime%"};

using WallClock = std::function<std::time_t()>;

// Replaces every macro token (exact, case-sensitive) by its value: the Info texts of the
// settings, and the date and time in the local time zone, read once from the clock.
// Text put in by one token is seen by the later ones.
std::string ExpandMacros(const std::string& text, const ConversionSettings& s,
                         const WallClock& clock = {});

// The outline title for a page that begins with frame frameIndex (of frameCount) of the file
// at path; imageCounter counts the images already placed in the document. nullopt: the page
// gets no outline entry. The title is UTF-8; pass it through EngineTextString().
std::optional<std::string> BookmarkTitle(const ConversionSettings& s, int frameIndex,
                                         int frameCount, const std::string& path, int imageCounter);

} // namespace app
