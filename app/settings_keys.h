// The one table of every key in the settings file: its type, default and accepted values.
// The store, ConversionSettings, the command line's KEY=VALUE and the settings dialog all
// read it, so a key is added or changed in exactly one place.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/conversion_settings.h"

namespace app {

inline constexpr std::string_view kSettingsSection = "Settings";
// Text reads copy at most capacity - 1 characters.
inline constexpr int kTextCapacity = 256;
inline constexpr int kShortTextCapacity = 32;

enum class SettingType { kFlag, kChoice, kInteger, kColour, kText };

// Who reads and writes a key; for conversion keys, the settings sheet page that owns it.
enum class SettingGroup {
  kOutput,
  kMonitor,
  kOptions,
  kDialogs,
  kCompress,
  kInfo,
  kSecurity,
  kViewer,
  kBookmark,
  kWatermark,
  kPage
};

// Where a text default comes from.
enum class TextDefault { kValue, kHomeDir };

inline constexpr int kLayoutValues[] = {1, 2, 4, 6, 9, 16};

struct SettingKey {
  std::string_view name;      // as read (any letter case matches)
  std::string_view writeName; // as the settings sheet writes it
  SettingType type;
  SettingGroup group;
  int intDefault;
  std::string_view textDefault;
  int minValue; // accepted values when a user sets the key; reads use what is stored
  int maxValue;
  int capacity; // text keys: read buffer size including the terminator
  int ConversionSettings::*intField = nullptr;
  std::string ConversionSettings::*textField = nullptr;
  TextDefault textDefaultKind = TextDefault::kValue;
  const int* allowed = nullptr; // when set, the only accepted values
  size_t allowedCount = 0;

  bool isConversion() const { return intField != nullptr || textField != nullptr; }
  bool isText() const { return type == SettingType::kText; }
};

namespace detail {
using CS = ConversionSettings;
using T = SettingType;
using G = SettingGroup;
constexpr int kMaxColour = 0xFFFFFF;

constexpr SettingKey Flag(std::string_view n, G g, int CS::*f = nullptr) {
  return {n, n, T::kFlag, g, 0, {}, 0, 1, 0, f};
}
constexpr SettingKey Choice(std::string_view n, G g, int def, int count, int CS::*f = nullptr) {
  return {n, n, T::kChoice, g, def, {}, 0, count - 1, 0, f};
}
constexpr SettingKey Int(std::string_view n, G g, int def, int lo, int hi, int CS::*f = nullptr) {
  return {n, n, T::kInteger, g, def, {}, lo, hi, 0, f};
}
constexpr SettingKey Colour(std::string_view n, G g, int CS::*f) {
  return {n, n, T::kColour, g, 0, {}, 0, kMaxColour, 0, f};
}
constexpr SettingKey Text(std::string_view n, G g, std::string_view def = {},
                          std::string CS::*f = nullptr, int capacity = kTextCapacity) {
  return {n, n, T::kText, g, 0, def, 0, capacity - 1, capacity, nullptr, f};
}
constexpr SettingKey HomeText(std::string_view n, G g) {
  SettingKey k = Text(n, g);
  k.textDefaultKind = TextDefault::kHomeDir;
  return k;
}
constexpr SettingKey WrittenAs(SettingKey k, std::string_view w) {
  k.writeName = w;
  return k;
}
constexpr SettingKey DefaultOn(SettingKey k) {
  k.intDefault = 1;
  return k;
}
constexpr SettingKey OneOf(SettingKey k, const int* values, size_t count) {
  k.allowed = values;
  k.allowedCount = count;
  return k;
}
} // namespace detail

// In the order of the settings file's documentation; ConversionSettings is colorTif..page_H.
inline constexpr auto kSettingKeys = [] {
  using namespace detail;
  return std::array{
      Choice("outMode", G::kOutput, 0, 3),
      Text("outPath0", G::kOutput),
      Text("outPath1", G::kOutput),
      Text("outPath2", G::kOutput),
      Text("input", G::kMonitor),
      Text("doutput", G::kMonitor),
      Flag("subdir", G::kMonitor),
      Flag("del_success", G::kMonitor),
      Flag("keepsub", G::kMonitor),
      Flag("winstart", G::kMonitor),
      Flag("autorun", G::kMonitor),
      Flag("runsec", G::kMonitor),
      Text("second", G::kMonitor, "5", nullptr, kShortTextCapacity),
      Choice("after", G::kOptions, 0, 7),
      Choice("exists", G::kOptions, 2, 4),
      Choice("priority", G::kOptions, 2, 5),
      Flag("log", G::kOptions),
      Text("logpath", G::kOptions),
      HomeText("openDir", G::kDialogs),
      HomeText("OpenFile", G::kDialogs),
      Choice("colorTif", G::kCompress, 4, 5, &CS::colorTif),
      Choice("grayTif", G::kCompress, 4, 5, &CS::grayTif),
      Choice("bwTif", G::kCompress, 4, 5, &CS::bwTif),
      Flag("bSkew", G::kCompress, &CS::bSkew),
      Int("quality", G::kCompress, 75, 0, 100, &CS::quality),
      DefaultOn(Flag("lossless", G::kCompress, &CS::lossless)),
      DefaultOn(Flag("autoRotate", G::kCompress, &CS::autoRotate)),
      Text("title", G::kInfo, {}, &CS::title),
      Text("author", G::kInfo, {}, &CS::author),
      Text("subject", G::kInfo, {}, &CS::subject),
      Text("keywords", G::kInfo, {}, &CS::keywords),
      Text("creator", G::kInfo, {}, &CS::creator),
      Text("producer", G::kInfo, {}, &CS::producer),
      Flag("security", G::kSecurity, &CS::security),
      Text("user", G::kSecurity, {}, &CS::user),
      Text("owner", G::kSecurity, {}, &CS::owner),
      Choice("level", G::kSecurity, 0, 2, &CS::level),
      Flag("print", G::kSecurity, &CS::print),
      Flag("copy", G::kSecurity, &CS::copy),
      Flag("modify", G::kSecurity, &CS::modify),
      Choice("document", G::kViewer, 0, 3, &CS::document),
      Choice("zoom", G::kViewer, 0, 2, &CS::zoom),
      Flag("resize", G::kViewer, &CS::resize),
      Flag("center", G::kViewer, &CS::center),
      Flag("fullscreen", G::kViewer, &CS::fullscreen),
      WrittenAs(Flag("hideMenu", G::kViewer, &CS::hideMenu), "hidemenu"),
      WrittenAs(Flag("hideTool", G::kViewer, &CS::hideTool), "hidetool"),
      WrittenAs(Flag("hideControl", G::kViewer, &CS::hideControl), "hidecontrol"),
      Flag("bookmark", G::kBookmark, &CS::bookmark),
      Choice("bookmarksel", G::kBookmark, 0, 4, &CS::bookmarksel),
      Flag("unitforfile", G::kBookmark, &CS::unitforfile),
      Flag("header", G::kWatermark, &CS::header),
      Choice("hpos", G::kWatermark, 0, 3, &CS::hpos),
      Colour("hcolor", G::kWatermark, &CS::hcolor),
      Text("hWatermark", G::kWatermark, {}, &CS::hWatermark),
      Flag("footer", G::kWatermark, &CS::footer),
      Choice("fpos", G::kWatermark, 0, 3, &CS::fpos),
      Colour("fcolor", G::kWatermark, &CS::fcolor),
      Text("fWatermark", G::kWatermark, {}, &CS::fWatermark),
      Flag("text", G::kWatermark, &CS::text),
      Choice("tpos", G::kWatermark, 4, 9, &CS::tpos),
      Colour("tcolor", G::kWatermark, &CS::tcolor),
      Int("tsize", G::kWatermark, 12, 1, 100, &CS::tsize),
      Text("tWatermark", G::kWatermark, {}, &CS::tWatermark),
      Flag("image", G::kWatermark, &CS::image),
      Choice("imgpos", G::kWatermark, 4, 9, &CS::imgpos),
      Int("imgWidth", G::kWatermark, 100, 0, 9999, &CS::imgWidth),
      Int("imgHeight", G::kWatermark, 100, 0, 9999, &CS::imgHeight),
      Text("imgWatermark", G::kWatermark, {}, &CS::imgWatermark),
      Text("font", G::kWatermark, "Helvetica", &CS::font),
      Choice("imgFit", G::kPage, 0, 2, &CS::imgFit),
      Choice("pageRotate", G::kPage, 0, 4, &CS::pageRotate),
      Int("xdpi", G::kPage, 72, 0, 1200, &CS::xdpi),
      Int("ydpi", G::kPage, 72, 0, 1200, &CS::ydpi),
      OneOf(Int("layout", G::kPage, 1, 1, 16, &CS::layout), kLayoutValues,
            std::size(kLayoutValues)),
      Choice("order", G::kPage, 0, 2, &CS::order),
      Flag("repeat", G::kPage, &CS::repeat),
      Flag("border", G::kPage, &CS::border),
      Int("mTop", G::kPage, 0, 0, 999, &CS::mTop),
      Int("mLeft", G::kPage, 0, 0, 999, &CS::mLeft),
      Int("mRight", G::kPage, 0, 0, 999, &CS::mRight),
      Int("mBottom", G::kPage, 0, 0, 999, &CS::mBottom),
      Choice("pageSize", G::kPage, 0, 8, &CS::pageSize),
      Int("page_W", G::kPage, 0, 0, 99999, &CS::page_W),
      Int("page_H", G::kPage, 0, 0, 99999, &CS::page_H),
  };
}();

// The key of that name, ignoring letter case; nullptr when there is none.
const SettingKey* FindSettingKey(std::string_view name);

// A text key's default as the program uses it (the home folder for openDir and OpenFile).
std::string TextDefaultOf(const SettingKey& key);

// Checks a value a user typed for a key (command line, dialog). Integers must be decimal
// digits within the key's range (or one of its allowed values); texts must fit the key's
// buffer and, for "second", be at most three digits. Returns an error message, or nullopt.
std::optional<std::string> ValidateSettingValue(const SettingKey& key, std::string_view value);

// A "KEY=VALUE" text as a user gives it (command line). The key matches in any letter case;
// the value is checked with ValidateSettingValue. On failure key is null or error is set.
struct SettingAssignment {
  const SettingKey* key = nullptr;
  std::string value;
  std::string error; // empty when the assignment is usable
};
SettingAssignment ParseSettingAssignment(std::string_view text);

// Sets one conversion field from text already accepted by ValidateSettingValue. False when
// the key is not part of ConversionSettings.
bool AssignConversionSetting(ConversionSettings& s, const SettingKey& key, std::string_view value);

// Writes the keys of one settings sheet page (as that page does when closed with OK).
bool SaveConversionSettings(SettingsStore& store, const ConversionSettings& s, SettingGroup page);

} // namespace app
