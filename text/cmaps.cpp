#include "cmaps.h"

#include <strings.h>

#include <cstring>

namespace text {

namespace {

// Supplements that every reader of PDF 1.4 files knows.
const CharacterCollection kCollections[] = {
    {"Adobe", "GB1", 2},    {"Adobe", "CNS1", 0},     {"Adobe", "Japan1", 2},
    {"Adobe", "Korea1", 1}, {"Adobe", "Identity", 0},
};

} // namespace

const PredefinedCmap kPredefinedCmaps[kPredefinedCmapCount] = {
    // Simplified Chinese
    {"GB-EUC-H", 2, kGb1},
    {"GB-EUC-V", 2, kGb1},
    {"GBpc-EUC-H", 2, kGb1},
    {"GBpc-EUC-V", 3, kGb1},
    {"GBK-EUC-H", 3, kGb1},
    {"GBK-EUC-V", 3, kGb1},
    {"GBKp-EUC-H", 4, kGb1},
    {"GBKp-EUC-V", 4, kGb1},
    {"GBK2K-H", 4, kGb1},
    {"GBK2K-V", 4, kGb1},
    {"UniGB-UCS2-H", 3, kGb1},
    {"UniGB-UCS2-V", 3, kGb1},
    // Traditional Chinese
    {"B5pc-H", 2, kCns1},
    {"B5pc-V", 2, kCns1},
    {"HKscs-B5-H", 4, kCns1},
    {"HKscs-B5-V", 4, kCns1},
    {"ETen-B5-H", 2, kCns1},
    {"ETen-B5-V", 2, kCns1},
    {"ETenms-B5-H", 3, kCns1},
    {"ETenms-B5-V", 3, kCns1},
    {"CNS-EUC-H", 2, kCns1},
    {"CNS-EUC-V", 2, kCns1},
    {"UniCNS-UCS2-H", 3, kCns1},
    {"UniCNS-UCS2-V", 3, kCns1},
    // Japanese
    {"83pv-RKSJ-H", 2, kJapan1},
    {"90ms-RKSJ-H", 2, kJapan1},
    {"90ms-RKSJ-V", 2, kJapan1},
    {"90msp-RKSJ-H", 3, kJapan1},
    {"90msp-RKSJ-V", 3, kJapan1},
    {"90pv-RKSJ-H", 2, kJapan1},
    {"Add-RKSJ-H", 2, kJapan1},
    {"Add-RKSJ-V", 2, kJapan1},
    {"EUC-H", 2, kJapan1},
    {"EUC-V", 2, kJapan1},
    {"Ext-RKSJ-H", 2, kJapan1},
    {"Ext-RKSJ-V", 2, kJapan1},
    {"H", 2, kJapan1},
    {"V", 2, kJapan1},
    {"UniJIS-UCS2-H", 3, kJapan1},
    {"UniJIS-UCS2-V", 3, kJapan1},
    {"UniJIS-UCS2-HW-H", 3, kJapan1},
    {"UniJIS-UCS2-HW-V", 3, kJapan1},
    // Korean
    {"KSC-EUC-H", 2, kKorea1},
    {"KSC-EUC-V", 2, kKorea1},
    {"KSCms-UHC-H", 2, kKorea1},
    {"KSCms-UHC-V", 2, kKorea1},
    {"KSCms-UHC-HW-H", 3, kKorea1},
    {"KSCms-UHC-HW-V", 3, kKorea1},
    {"KSCpc-EUC-H", 2, kKorea1},
    {"UniKS-UCS2-H", 3, kKorea1},
    {"UniKS-UCS2-V", 3, kKorea1},
    // Any collection, codes are CIDs
    {"Identity-H", 3, kIdentityCollection},
    {"Identity-V", 3, kIdentityCollection},
};

// Flags 4 symbolic, 6 symbolic serif; metrics in thousandths of the text size.
const CjkFontMetrics kCjkFonts[kCjkFontCount] = {
    {"STSong-Light", kGb1, 6, {-25, -254, 1000, 880}, 0, 880, 616, 880, -120, 93, 0},
    {"STSongStd-Light", kGb1, 6, {-134, -254, 1001, 905}, 0, 737, 535, 857, -143, 91, 0},
    {"STHeiti-Regular", kGb1, 4, {-250, -250, 1000, 880}, 0, 880, 616, 880, -120, 93, 0},
    {"MHei-Medium", kCns1, 4, {-45, -250, 1015, 887}, 0, 880, 616, 880, -120, 93, 0},
    {"MSung-Light", kCns1, 6, {-160, -249, 1015, 888}, 0, 880, 616, 880, -120, 93, 0},
    {"MSungStd-Light", kCns1, 6, {-160, -249, 1015, 1071}, 0, 662, 452, 880, -120, 93, 0},
    {"HeiseiMin-W3", kJapan1, 6, {-123, -257, 1001, 910}, 0, 709, 450, 723, -241, 69, 0},
    {"HeiseiKakuGo-W5", kJapan1, 4, {-92, -250, 1010, 922}, 0, 737, 553, 752, -221, 114, 0},
    {"KozMinPro-Regular", kJapan1, 6, {-195, -272, 1110, 1075}, 0, 740, 450, 880, -120, 86, 0},
    {"KozGoPro-Medium", kJapan1, 4, {-149, -374, 1254, 1008}, 0, 763, 549, 880, -120, 99, 0},
    {"HYGoThic-Medium", kKorea1, 4, {-6, -145, 1003, 880}, 0, 880, 553, 880, -120, 93, 0},
    {"HYSMyeongJo-Medium", kKorea1, 6, {0, -148, 1001, 880}, 0, 880, 553, 880, -120, 93, 0},
    {"HYSMyeongJoStd-Medium", kKorea1, 6, {-28, -148, 1001, 880}, 0, 720, 468, 880, -120, 60, 0},
};

const CharacterCollection& CollectionAt(int index) {
  if (index < 0 || index > kIdentityCollection) index = kIdentityCollection;
  return kCollections[index];
}

const PredefinedCmap* FindPredefinedCmap(const char* name) {
  if (!name) return nullptr;
  for (const PredefinedCmap& c : kPredefinedCmaps)
    if (std::strcmp(c.name, name) == 0) return &c;
  return nullptr;
}

const CjkFontMetrics* FindCjkFont(const char* name) {
  if (!name) return nullptr;
  for (const CjkFontMetrics& f : kCjkFonts)
    if (strcasecmp(f.name, name) == 0) return &f;
  return nullptr;
}

} // namespace text
