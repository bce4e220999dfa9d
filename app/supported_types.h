// The one list of file types the program takes: every type the engine reads, plus the
// plug-in's types when the plug-in is loaded. It serves the file list's drops and Add Folder,
// the open dialog's filter, the monitor's scan and the command line's folder inputs.
// Plain data: any thread may use a list once it is built.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// One entry of the "Format Filter" combo.
struct ImageFormat {
  std::string label;                   // "JPG", "TIF", ...
  std::string description;             // "JPEG", "TIFF", ... for the open dialog
  std::vector<std::string> extensions; // lower case with the dot; the first is the main one
  bool plugin = false;                 // read by the converter plug-in
};

inline constexpr char kAllSupportLabel[] = "All Support";

class SupportedTypes {
public:
  // The engine's own types, with the plug-in's GIF, PSD and WebP when pluginLoaded.
  explicit SupportedTypes(bool pluginLoaded);

  // The extension from the last dot of the file name, in any letter case, is on the list.
  bool IsSupported(std::string_view path) const;

  // Combo entries: "All Support" first, then one label per format.
  std::vector<std::string> FilterLabels() const;
  // Filter 0 is "All Support"; filter n is formats()[n - 1]. Out of range matches nothing.
  bool Matches(std::string_view path, int filter) const;

  // The open dialog's filter in the form "Label (*.a *.b);;...": all supported types, one
  // entry per format, then "All Files (*)".
  std::string OpenDialogFilter() const;

  const std::vector<ImageFormat>& formats() const { return formats_; }

private:
  std::vector<ImageFormat> formats_;
};

// The last extension of the file name, lower-cased, with its dot; "" when there is none.
std::string LowerExtension(std::string_view path);

} // namespace app
