// The font configuration file: per font name, its metrics file (text or byte-oriented
// format), outline file, TrueType or OpenType file, and encoding file.
//
//   anything before the first line starting with "." is a comment
//   .
//   FontMetrics            <- a category line
//   /usr/share/fonts/afm   <- a line starting with "/" sets the folder of later values
//   Helvetica=n019003l.afm <- relative to that folder (or to the file's own folder)
//   My\=Font==/abs/x.afm   <- "\=" keeps "=" in the name; "==" marks an absolute value
//   .                      <- ends the group
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

inline constexpr char kFontConfigEnv[] = "PICTOFOLD_FONT_CONFIG";
inline constexpr size_t kMaxFontConfigSize = 1u << 20;

enum class FontCategory { kMetrics, kOutline, kFontFile, kEncoding, kCount };

struct FontConfiguration {
  struct Entry {
    FontCategory category;
    std::string name, path;
  };
  std::vector<Entry> entries;

  // Path configured for the name in the category (exact name first, then any letter case);
  // empty when there is none.
  std::string Lookup(FontCategory category, const std::string& name) const;
};

// Category of a category line, or kCount for an unknown one (its group is skipped).
FontCategory CategoryFromName(std::string_view line);

// Parses the file's text; relative values are taken against baseDir.
FontConfiguration ParseFontConfiguration(std::string_view text, const std::string& baseDir);

// The file named by the environment, else the document's path, else the built-in name
// ($XDG_CONFIG_HOME/pictofold/Fonts.cfg). A file that cannot be read is empty.
FontConfiguration LoadFontConfiguration(const std::string& documentPath);

} // namespace text
