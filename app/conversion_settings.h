// The in-memory copy of every conversion setting, and the small enumerations stored as
// integers in the settings file.
#pragma once

#include <string>

namespace app {

class SettingsStore;

enum class OutputMode { kMerge = 0, kPerImage = 1, kPerFolder = 2 };
enum class ExistingFilePolicy { kAsk = 0, kOverwrite = 1, kCreateNew = 2, kAppend = 3 };
enum class AfterAction {
  kDoNothing = 0,
  kShutDown = 1,
  kStandBy = 2,
  kRestart = 3,
  kLogOff = 4,
  kExitProgram = 5,
  kOpenOutput = 6
};

// Field names are the settings keys; defaults come from the key table (settings_keys.h), so a
// default-constructed copy is not meaningful: use DefaultConversionSettings().
struct ConversionSettings {
  // Compress page
  int colorTif = 0, grayTif = 0, bwTif = 0, bSkew = 0, quality = 0;
  int lossless = 0, autoRotate = 0; // non-JPEG images without loss; JPEG upright by Exif
  // Info page
  std::string title, author, subject, keywords, creator, producer;
  // Security page
  int security = 0;
  std::string user, owner;
  int level = 0, print = 0, copy = 0, modify = 0;
  // Viewer page
  int document = 0, zoom = 0, resize = 0, center = 0, fullscreen = 0;
  int hideMenu = 0, hideTool = 0, hideControl = 0;
  // Bookmark page
  int bookmark = 0, bookmarksel = 0, unitforfile = 0;
  // Watermark page
  int header = 0, hpos = 0, hcolor = 0;
  std::string hWatermark;
  int footer = 0, fpos = 0, fcolor = 0;
  std::string fWatermark;
  int text = 0, tpos = 0, tcolor = 0, tsize = 0;
  std::string tWatermark;
  int image = 0, imgpos = 0, imgWidth = 0, imgHeight = 0;
  std::string imgWatermark;
  std::string font; // of header, footer and text watermark
  // Page page
  int imgFit = 0, pageRotate = 0, xdpi = 0, ydpi = 0, layout = 0, order = 0, repeat = 0;
  int border = 0, mTop = 0, mLeft = 0, mRight = 0, mBottom = 0, pageSize = 0;
  int page_W = 0, page_H = 0;

  bool operator==(const ConversionSettings&) const = default;
};

// The file-list run carries the producer text; the monitor's copy has none.
enum class ProducerMode { kInclude, kExclude };

ConversionSettings DefaultConversionSettings();

// Reads every conversion key (one read of the file) with the table's defaults.
ConversionSettings LoadConversionSettings(const SettingsStore& store,
                                          ProducerMode producer = ProducerMode::kInclude);

// Writes every conversion key in one update of the file. page_W and page_H are written only
// while pageSize is 7 (Custom). Returns false when the file could not be written.
bool SaveConversionSettings(SettingsStore& store, const ConversionSettings& s);

// Settings read straight from the file when a run starts or ends.
OutputMode ReadOutputMode(const SettingsStore& store);
ExistingFilePolicy ReadExistingFilePolicy(const SettingsStore& store);
AfterAction ReadAfterAction(const SettingsStore& store);

// The Page page's resolution rule for a combo text: leading digits, 1..71 become 72, above
// 1200 becomes 1200, 0 ("Remain unchanged") stays 0.
int NormaliseDpi(const std::string& comboText);

} // namespace app
