// Text of Identity-H fonts: UTF-8 in, two-byte codes out, one code per distinct character in
// the order of first use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fonts.h"

namespace text {

// Characters of UTF-8 text; each malformed byte becomes U+FFFD.
std::vector<char32_t> DecodeUtf8(std::string_view s);

// Two-byte big-endian codes of the text, giving each new character the next code.
std::string EncodeIdentity(FontRecord& font, std::string_view utf8);

// Advance widths in thousandths of the text size: of a character (measuring) and of a code.
int IdentityCharWidth(const FontRecord& font, char32_t c);
int IdentityCodeWidth(const FontRecord& font, uint16_t code);

} // namespace text
