#include "app/conversion_settings.h"

#include "app/settings_keys.h"
#include "app/settings_store.h"

namespace app {

namespace {

bool Skipped(const SettingKey& k, ProducerMode producer) {
  return producer == ProducerMode::kExclude && k.textField == &ConversionSettings::producer;
}

bool SaveKeys(SettingsStore& store, const ConversionSettings& s, const SettingGroup* only) {
  std::vector<std::pair<std::string, std::string>> kv;
  for (const SettingKey& k : kSettingKeys) {
    if (!k.isConversion() || (only && k.group != *only)) continue;
    // The custom size is kept only while the custom page size is chosen.
    if ((k.intField == &ConversionSettings::page_W || k.intField == &ConversionSettings::page_H) &&
        s.pageSize != 7)
      continue;
    std::string name(k.writeName);
    if (k.textField)
      kv.emplace_back(name, s.*k.textField);
    else
      kv.emplace_back(name, std::to_string(s.*k.intField));
  }
  return store.WriteMany(kv);
}

} // namespace

ConversionSettings DefaultConversionSettings() {
  ConversionSettings s;
  for (const SettingKey& k : kSettingKeys) {
    if (k.textField) s.*k.textField = TextDefaultOf(k);
    if (k.intField) s.*k.intField = k.intDefault;
  }
  return s;
}

ConversionSettings LoadConversionSettings(const SettingsStore& store, ProducerMode producer) {
  IniDocument doc = store.Snapshot();
  ConversionSettings s = DefaultConversionSettings();
  for (const SettingKey& k : kSettingKeys) {
    if (Skipped(k, producer)) continue;
    if (k.textField)
      s.*k.textField = SettingsStore::ReadText(doc, k.name, TextDefaultOf(k), k.capacity);
    else if (k.intField)
      s.*k.intField = SettingsStore::ReadInt(doc, k.name, k.intDefault);
  }
  return s;
}

bool SaveConversionSettings(SettingsStore& store, const ConversionSettings& s) {
  return SaveKeys(store, s, nullptr);
}

bool SaveConversionSettings(SettingsStore& store, const ConversionSettings& s, SettingGroup page) {
  return SaveKeys(store, s, &page);
}

OutputMode ReadOutputMode(const SettingsStore& store) {
  return static_cast<OutputMode>(store.ReadInt(*FindSettingKey("outMode")));
}

ExistingFilePolicy ReadExistingFilePolicy(const SettingsStore& store) {
  const SettingKey& key = *FindSettingKey("exists");
  int value = store.ReadInt(key);
  // A value no window offers must not silently extend existing files.
  if (value < key.minValue || value > key.maxValue) value = key.intDefault;
  return static_cast<ExistingFilePolicy>(value);
}

AfterAction ReadAfterAction(const SettingsStore& store) {
  return static_cast<AfterAction>(store.ReadInt(*FindSettingKey("after")));
}

int NormaliseDpi(const std::string& comboText) {
  int v = ParseSettingsInt(comboText);
  if (v == 0) return 0;
  if (v < 72) return 72;
  if (v > 1200) return 1200;
  return v;
}

} // namespace app
