#include "app/output_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings_store.h"
#include "platform/paths.h"
#include "test_support.h"

namespace app {
namespace {

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

TEST(OutputPaths, EmptyPathsTakeTheDefaultFolderWhichIsCreated) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  std::string folder = dir.file("home/Zorvalex/Pictofold/");
  OutputPaths p = LoadOutputPaths(store, folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(p.mode, OutputMode::kMerge);
  EXPECT_EQ(p.mergeFile, folder + "MyPDF.pdf");
  EXPECT_EQ(p.perImageFolder, folder);
  EXPECT_EQ(p.perFolderFolder, folder);

  // Hiding the page stores what it showed.
  ASSERT_TRUE(SaveOutputPaths(store, p));
  EXPECT_EQ(store.ReadText("outPath0", "", 256), folder + "MyPDF.pdf");
  EXPECT_EQ(LoadOutputPaths(store, folder), p);
}

TEST(OutputPaths, StoredValuesWinAndNegativeModeIsMerge) {
  ScratchDir dir;
  SettingsStore store(dir.file("Settings.ini"));
  WriteFile(store.path(), "[Settings]\noutMode=-1\noutPath0=/o/a.pdf\noutPath2=/o/f/\n");
  OutputPaths p = LoadOutputPaths(store, dir.file("d/"));
  EXPECT_EQ(p.mode, OutputMode::kMerge);
  EXPECT_EQ(p.mergeFile, "/o/a.pdf");
  EXPECT_EQ(p.perImageFolder, dir.file("d/"));
  EXPECT_EQ(p.ForMode(OutputMode::kPerFolder), "/o/f/");
  EXPECT_EQ(p.ForMode(OutputMode::kMerge), "/o/a.pdf");
}

TEST(OutputPaths, DefaultFolderIsUnderHome) {
  EXPECT_EQ(DefaultOutputFolder(), platform::HomeDir() + "/Zorvalex/Pictofold/");
}

} // namespace
} // namespace app
