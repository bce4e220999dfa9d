// Installed fonts found through fontconfig by family name.
#pragma once

#include <string>
#include <vector>

namespace text {

struct InstalledFont {
  std::string file;
  int index = 0; // face within a collection
};

// The installed scalable font of exactly this family (compared without regard to case) in
// the closest style to the bold and italic request. fontconfig's substitute for a family
// it does not know is never taken: false then.
bool FindInstalledFont(const std::string& family, bool bold, bool italic, InstalledFont& out);

// True when the installed font of this family is a TrueType font (Identity-H text needs
// one) with a glyph for every character.
bool InstalledTrueTypeCovers(const std::string& family, bool bold, bool italic,
                             const std::vector<char32_t>& chars);

// Family of the first installed TrueType font that fontconfig offers for these characters
// (its fallback order), preferring one that holds all of them; empty when none holds any.
std::string FallbackFamilyFor(const std::vector<char32_t>& chars, bool bold, bool italic);

} // namespace text
