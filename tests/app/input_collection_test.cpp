// The one list of supported types and the collection of inputs over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/input_collection.h"
#include "app/supported_types.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::WriteFile;
using Files = std::vector<std::string>;

TEST(SupportedTypes, ExtensionsOfTheEngineAndOfThePlugin) {
  struct {
    const char* path;
    bool withPlugin, withoutPlugin;
  } cases[] = {
      {"a.jpg", true, true},       {"b.JPEG", true, true},          {"/x/y/c.Bmp", true, true},
      {"d.jp2", true, true},       {"e.jpc", true, true},           {"f.tiff", true, true},
      {"g.png", true, true},       {"h.pgm", true, true},           {"i.TGA", true, true},
      {"j.ras", true, true},       {"k.gif", true, false},          {"l.psd", true, false},
      {"m.WebP", true, false},     {"f.png.jpg", true, true},       {".jpg", true, true},
      {"notes.txt", false, false}, {"jpg", false, false},           {"b.jpg.txt", false, false},
      {"d.", false, false},        {"/x.jpg/readme", false, false},
  };
  app::SupportedTypes with(true), without(false);
  for (const auto& c : cases) {
    EXPECT_EQ(with.IsSupported(c.path), c.withPlugin) << c.path;
    EXPECT_EQ(without.IsSupported(c.path), c.withoutPlugin) << c.path;
  }
}

TEST(SupportedTypes, FormatFilterAndOpenDialogFilter) {
  app::SupportedTypes types(true);
  Files labels = types.FilterLabels();
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels[0], "All Support");
  auto index = [&labels](const std::string& label) {
    return static_cast<int>(std::find(labels.begin(), labels.end(), label) - labels.begin());
  };
  ASSERT_LT(index("GIF"), static_cast<int>(labels.size()));
  Files withoutPlugin = app::SupportedTypes(false).FilterLabels();
  EXPECT_EQ(std::count(withoutPlugin.begin(), withoutPlugin.end(), "GIF"), 0);

  struct {
    const char* path;
    const char* filter;
    bool matches;
  } cases[] = {
      {"x.jpeg", "JPG", true}, {"x.JPG", "JPG", true},         {"x.tiff", "TIF", true},
      {"x.jpg", "TIF", false}, {"x.j2k", "JPC", true},         {"x.jp2", "JPC", false},
      {"x.gif", "GIF", true},  {"x.png", "All Support", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(types.Matches(c.path, index(c.filter)), c.matches) << c.path << " " << c.filter;
  EXPECT_FALSE(types.Matches("x.jpg", -1));
  EXPECT_FALSE(types.Matches("x.jpg", static_cast<int>(labels.size())));

  std::string filter = types.OpenDialogFilter();
  EXPECT_EQ(filter.rfind("All Supported Images (*.jpg *.jpeg", 0), 0u) << filter;
  EXPECT_NE(filter.find(";;TIFF (*.tif *.tiff);;"), std::string::npos) << filter;
  EXPECT_EQ(filter.substr(filter.size() - 15), ";;All Files (*)") << filter;
  EXPECT_EQ(app::SupportedTypes(false).OpenDialogFilter().find("*.gif"), std::string::npos);
}

TEST(InputCollection, FoldersByOrderRecursionAndFilter) {
  ScratchDir dir;
  std::string a = dir.file("a");
  for (const char* f : {"1.jpg", "z.TIF", "c.txt", "b/2.png", "_x/3.gif", "b/deep/4.bmp"}) {
    fs::create_directories(fs::path(a + "/" + f).parent_path());
    WriteFile(a + "/" + f, "x");
  }
  fs::create_directory_symlink(dir.path(), a + "/loop"); // never followed
  std::string notes = dir.file("notes.txt");
  WriteFile(notes, "x");
  app::SupportedTypes types(true);
  int png = 0;
  Files labels = types.FilterLabels();
  png = static_cast<int>(std::find(labels.begin(), labels.end(), "PNG") - labels.begin());
  struct {
    bool recursive;
    app::InputOrder order;
    int filter;
    Files files;
  } cases[] = {
      {false, app::InputOrder::kByPath, 0, {"1.jpg", "z.TIF"}},
      {true,
       app::InputOrder::kByPath,
       0,
       {"1.jpg", "_x/3.gif", "b/2.png", "b/deep/4.bmp", "z.TIF"}},
      {true,
       app::InputOrder::kFolderFirst,
       0,
       {"1.jpg", "z.TIF", "_x/3.gif", "b/2.png", "b/deep/4.bmp"}},
      {true, app::InputOrder::kByPath, png, {"b/2.png"}},
  };
  for (const auto& c : cases) {
    app::CollectOptions o;
    o.recursive = c.recursive;
    o.order = c.order;
    o.filter = c.filter;
    Files expected{notes};
    for (const std::string& f : c.files)
      expected.push_back(a + "/" + f);
    // A named file is taken as it is; the run says why it fails.
    EXPECT_EQ(app::CollectInputs({notes, a}, types, o), expected)
        << c.recursive << " " << static_cast<int>(c.order) << " " << c.filter;
  }
}

TEST(InputCollection, FileListColumns) {
  struct {
    unsigned long long bytes;
    const char* text;
  } sizes[] = {{0, "0 KB"},    {1, "1 KB"},    {500, "1 KB"},  {1023, "1 KB"},
               {1024, "1 KB"}, {2047, "1 KB"}, {2048, "2 KB"}, {5ull << 32, "20971520 KB"}};
  for (const auto& c : sizes)
    EXPECT_EQ(app::SizeColumnText(c.bytes), c.text) << c.bytes;
  EXPECT_EQ(app::TypeColumnText("/p/x.jpg"), "JPG");
  EXPECT_EQ(app::TypeColumnText("/p/x.Tiff"), "TIFF");
  EXPECT_EQ(app::TypeColumnText("/p.d/noext"), "");
}

} // namespace
