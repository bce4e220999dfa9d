#include "app/settings_keys.h"

#include <charconv>

#include "app/ini_document.h"
#include "app/text_encoding.h"
#include "platform/paths.h"

namespace app {

const SettingKey* FindSettingKey(std::string_view name) {
  for (const SettingKey& k : kSettingKeys)
    if (NamesEqual(k.name, name)) return &k;
  return nullptr;
}

std::string TextDefaultOf(const SettingKey& key) {
  if (key.textDefaultKind == TextDefault::kHomeDir) return platform::HomeDir() + "/";
  return std::string(key.textDefault);
}

namespace {

size_t CountChars(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

} // namespace

std::optional<std::string> ValidateSettingValue(const SettingKey& key, std::string_view value) {
  std::string name(key.name);
  if (key.isText()) {
    for (char c : value)
      if (c == '\n' || c == '\r' || c == '\0') return name + ": the text must be on one line";
    if (CountChars(value) > static_cast<size_t>(key.maxValue))
      return name + ": at most " + std::to_string(key.maxValue) + " characters";
    if (key.name == "second") {
      if (value.empty() || value.size() > 3 ||
          value.find_first_not_of("0123456789") != std::string_view::npos)
        return name + ": a number of seconds with at most 3 digits";
    }
    return std::nullopt;
  }
  int v = 0;
  auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  bool digitsOnly =
      !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
  if (!digitsOnly || ec != std::errc() || end != value.data() + value.size())
    return name + ": expected a whole number, got \"" + std::string(value) + "\"";
  if (key.allowed) {
    for (size_t i = 0; i < key.allowedCount; ++i)
      if (key.allowed[i] == v) return std::nullopt;
    std::string list;
    for (size_t i = 0; i < key.allowedCount; ++i)
      list += (i ? ", " : "") + std::to_string(key.allowed[i]);
    return name + ": must be one of " + list;
  }
  if (v < key.minValue || v > key.maxValue)
    return name + ": must be between " + std::to_string(key.minValue) + " and " +
           std::to_string(key.maxValue);
  return std::nullopt;
}

SettingAssignment ParseSettingAssignment(std::string_view text) {
  SettingAssignment a;
  size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0) {
    a.error = "expected KEY=VALUE, got \"" + std::string(text) + "\"";
    return a;
  }
  std::string_view name = text.substr(0, eq);
  const SettingKey* key = FindSettingKey(name);
  if (!key) {
    a.error = "unknown setting \"" + std::string(name) + "\"";
    return a;
  }
  a.value = std::string(text.substr(eq + 1));
  if (auto error = ValidateSettingValue(*key, a.value)) {
    a.error = *error;
    return a;
  }
  a.key = key;
  return a;
}

bool AssignConversionSetting(ConversionSettings& s, const SettingKey& key, std::string_view value) {
  if (key.textField) {
    s.*key.textField = std::string(value);
    return true;
  }
  if (key.intField) {
    int v = 0;
    std::from_chars(value.data(), value.data() + value.size(), v);
    s.*key.intField = v;
    return true;
  }
  return false;
}

} // namespace app
