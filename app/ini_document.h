// An INI text held line by line, so that changing one key keeps every other line (comments,
// other keys, other sections, unknown lines) exactly as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Files above this size are not parsed (a settings file is a few kilobytes).
inline constexpr size_t kMaxIniFileBytes = 1 << 20;
// Lines above this length are kept as they are but never taken for a key or a section.
inline constexpr size_t kMaxIniLineBytes = 8192;
// Longest value a write stores; longer values are cut at a character boundary.
inline constexpr size_t kMaxIniValueBytes = 4096;

class IniDocument {
public:
  IniDocument() = default;

  // Splits bytes into lines (LF or CR LF). Never fails: bytes that are no INI syntax stay as
  // opaque lines. A leading UTF-8 byte-order mark is kept and ignored.
  static IniDocument Parse(std::string_view bytes);

  // The value of the first matching key in the first matching section, names compared
  // ignoring ASCII case, with blanks around the value removed. nullopt when missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Replaces the value of the key (keeping the key's spelling in the file), or adds
  // "key=value" at the end of the section, adding the section at the end when missing.
  // Refuses (false) key and section names that INI syntax cannot hold. Line breaks in the
  // value become spaces.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // Removes the key's line; true when one was there.
  bool Remove(std::string_view section, std::string_view key);

  std::string Serialize() const;

private:
  struct Line {
    std::string text; // without its line end
    bool crlf = false;
    bool hasEnd = true; // false only for a last line without a line end
  };

  enum class Kind { kOther, kSection, kKey };
  struct Parsed {
    Kind kind = Kind::kOther;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
  };

  static Parsed Classify(std::string_view text);
  // Index range [begin, end) of the lines inside the first matching section, begin being the
  // header's index; nullopt when missing.
  std::optional<std::pair<size_t, size_t>> FindSection(std::string_view section) const;
  std::optional<size_t> FindKey(std::string_view section, std::string_view key) const;
  bool UsesCrlf() const;

  std::string bom_;
  std::vector<Line> lines_;
};

// ASCII case-insensitive comparison of names.
bool NamesEqual(std::string_view a, std::string_view b);

} // namespace app
