// The settings file: one INI section "Settings", read and written key by key. Every call reads
// the file afresh (nothing is cached), and every write replaces the file atomically, keeping
// all the lines it does not change.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/ini_document.h"
#include "app/settings_keys.h"

namespace app {

// The integer rule of the settings file: the value's leading decimal digits, text after them
// ignored; no digits (including a leading minus sign) reads as 0; values beyond the int range
// saturate.
int ParseSettingsInt(std::string_view value);

class SettingsStore {
public:
  // A store over the given file (tests and --settings pass their own path).
  explicit SettingsStore(std::string path) : path_(std::move(path)) {}

  // Settings.ini beside the executable when one exists there (a portable install), otherwise
  // $XDG_CONFIG_HOME/pictofold/Settings.ini.
  static std::string DefaultPath();
  // The same rule with the two folders given.
  static std::string PathFor(const std::string& executableDir, const std::string& configHome);

  const std::string& path() const { return path_; }

  // An in-memory value that every read sees in place of the file's (the command line's
  // --set). Writes still go to the file; the overlay is never written. Not for use while
  // another thread reads the same store.
  void Overlay(std::string_view key, std::string_view value);

  // A missing key, a missing or unreadable file, or an empty value yields the default.
  int ReadInt(std::string_view key, int defaultValue) const;
  // At most capacity - 1 characters (never splitting a UTF-8 character), cut at a NUL.
  std::string ReadText(std::string_view key, std::string_view defaultValue,
                       int capacity = kTextCapacity) const;

  // Table-driven reads: the key's own default and capacity.
  int ReadInt(const SettingKey& key) const;
  std::string ReadText(const SettingKey& key) const;

  // The file and the section are created when missing. False when the file could not be
  // written, or exists but could not be read (it is then left untouched).
  bool WriteInt(std::string_view key, int value);
  bool WriteText(std::string_view key, std::string_view text);
  // Several keys in one update of the file.
  bool WriteMany(const std::vector<std::pair<std::string, std::string>>& keyValues);

  // The file as it is now, for reading many keys at once. An unreadable file gives an empty
  // document.
  IniDocument Snapshot() const;

  // Reads from a snapshot with the same rules as the store's own reads.
  static int ReadInt(const IniDocument& doc, std::string_view key, int defaultValue);
  static std::string ReadText(const IniDocument& doc, std::string_view key,
                              std::string_view defaultValue, int capacity = kTextCapacity);

private:
  enum class LoadResult { kOk, kMissing, kUnreadable };
  LoadResult Load(IniDocument& doc) const;

  std::string path_;
  std::vector<std::pair<std::string, std::string>> overlay_;
};

} // namespace app
