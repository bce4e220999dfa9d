// Feeds arbitrary bytes to the INI reader, then checks that a key write keeps every other key
// and reads back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/ini_document.h"
#include "app/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > app::kMaxIniFileBytes) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  app::IniDocument doc = app::IniDocument::Parse(bytes);

  const char* keys[] = {"quality", "title", "hideMenu", "outPath0", "second", "x"};
  std::string before[6];
  bool had[6];
  for (int i = 0; i < 6; ++i) {
    auto v = doc.Get("Settings", keys[i]);
    had[i] = v.has_value();
    if (v) before[i] = *v;
    (void)app::ParseSettingsInt(before[i]);
    (void)app::SettingsStore::ReadText(doc, keys[i], "", 256);
  }
  // Parsing is lossless.
  if (doc.Serialize() != bytes) std::abort();

  // The value written is a slice of the input, so it may hold anything.
  std::string value(bytes.substr(0, 300));
  if (!doc.Set("Settings", "x", value)) std::abort();
  app::IniDocument again = app::IniDocument::Parse(doc.Serialize());
  auto x = again.Get("Settings", "x");
  if (!x) std::abort();
  for (int i = 0; i < 5; ++i) {
    auto v = again.Get("Settings", keys[i]);
    if (v.has_value() != had[i] || (v && *v != before[i])) std::abort();
  }
  return 0;
}
