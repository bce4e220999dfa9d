// Conversions from the program's UTF-8 text to the byte forms the engine takes.
#pragma once

#include <cstddef>
#include <string>

namespace app {

// Windows-1252 bytes for text drawn with the standard fonts. Characters that code page cannot
// hold, malformed UTF-8 and NUL become '?'.
std::string Utf8ToWin1252(const std::string& utf8);

// True when Windows-1252 holds every character of the text (malformed UTF-8 counts as held:
// it becomes '?' there as anywhere).
bool FitsWin1252(const std::string& utf8);

// A PDF text string's bytes for Info texts and bookmark titles: pure ASCII is returned as it
// stands; anything else becomes UTF-16BE behind the byte-order mark FE FF (malformed UTF-8 as
// U+FFFD). NUL characters are dropped, since the engine ends strings at them.
std::string PdfTextString(const std::string& utf8);

// PdfTextString() ready to pass to the engine by c_str(): a UTF-16BE result gets one extra NUL
// so that c_str() ends in the NUL pair the engine looks for.
std::string EngineTextString(const std::string& utf8);

// Cuts UTF-8 text after at most maxChars characters without splitting a character.
std::string TruncateUtf8(const std::string& utf8, size_t maxChars);

} // namespace app
