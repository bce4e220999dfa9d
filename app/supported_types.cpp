#include "app/supported_types.h"

#include <algorithm>

namespace app {

namespace {

struct FormatRow {
  const char* label;
  const char* description;
  std::vector<std::string> extensions;
  bool plugin;
};

const std::vector<FormatRow>& Rows() {
  static const std::vector<FormatRow> rows = {
      {"JPG", "JPEG", {".jpg", ".jpeg", ".jpe"}, false},
      {"TIF", "TIFF", {".tif", ".tiff"}, false},
      {"PNG", "PNG", {".png"}, false},
      {"BMP", "Windows Bitmap", {".bmp", ".dib"}, false},
      {"JP2", "JPEG 2000", {".jp2"}, false},
      {"JPC", "JPEG 2000 Code Stream", {".jpc", ".j2k"}, false},
      {"PNM", "Portable Anymap", {".pnm", ".pbm", ".pgm", ".ppm"}, false},
      {"TGA", "Targa", {".tga"}, false},
      {"PCX", "PCX", {".pcx"}, false},
      {"ICO", "Windows Icon", {".ico"}, false},
      {"RAS", "Sun Raster", {".ras"}, false},
      {"WBMP", "Wireless Bitmap", {".wbmp"}, false},
      {"PGX", "JPEG 2000 PGX", {".pgx"}, false},
      {"GIF", "GIF", {".gif"}, true},
      {"PSD", "Photoshop", {".psd"}, true},
      {"WEBP", "WebP", {".webp"}, true},
  };
  return rows;
}

std::string Patterns(const std::vector<std::string>& extensions) {
  std::string s;
  for (const std::string& e : extensions) {
    if (!s.empty()) s += ' ';
    s += '*' + e;
  }
  return s;
}

} // namespace

std::string LowerExtension(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return "";
  std::string ext(name.substr(dot));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  return ext;
}

SupportedTypes::SupportedTypes(bool pluginLoaded) {
  for (const FormatRow& r : Rows())
    if (!r.plugin || pluginLoaded)
      formats_.push_back({r.label, r.description, r.extensions, r.plugin});
}

bool SupportedTypes::IsSupported(std::string_view path) const {
  return Matches(path, 0);
}

std::vector<std::string> SupportedTypes::FilterLabels() const {
  std::vector<std::string> labels{kAllSupportLabel};
  for (const ImageFormat& f : formats_)
    labels.push_back(f.label);
  return labels;
}

bool SupportedTypes::Matches(std::string_view path, int filter) const {
  if (filter < 0 || filter > static_cast<int>(formats_.size())) return false;
  std::string ext = LowerExtension(path);
  if (ext.size() < 2) return false;
  auto in = [&ext](const ImageFormat& f) {
    return std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end();
  };
  if (filter > 0) return in(formats_[static_cast<size_t>(filter - 1)]);
  return std::any_of(formats_.begin(), formats_.end(), in);
}

std::string SupportedTypes::OpenDialogFilter() const {
  std::vector<std::string> all;
  for (const ImageFormat& f : formats_)
    all.insert(all.end(), f.extensions.begin(), f.extensions.end());
  std::string s = std::string("All Supported Images (") + Patterns(all) + ")";
  for (const ImageFormat& f : formats_)
    s += ";;" + f.description + " (" + Patterns(f.extensions) + ")";
  return s + ";;All Files (*)";
}

} // namespace app
