// Loading, calling and unloading the plug-in; each test runs in a fresh process.
#include <filesystem>
#include <string>
#include <vector>

#include "converter/loader.h"
#include "test_images.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string PluginFolder() {
  return fs::path(testsupport::BinPath(converter::kConverterFileName)).parent_path().string();
}

int CallWith(const std::string& source, const std::string& destination) {
  std::string args[] = {"zorvalex5", "convert", source, destination};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
  return converter::Plugin::Instance().Call(4, argv);
}

TEST(ConverterLoader, MissingPluginMakesEveryCallFail) {
  testsupport::ScratchDir empty;
  EXPECT_FALSE(converter::Plugin::Instance().Load(empty.path().string()));
  EXPECT_FALSE(converter::Plugin::Instance().Loaded());
  EXPECT_NE(converter::Plugin::Instance().LoadError(), "");
  EXPECT_EQ(CallWith(empty.file("a.gif"), empty.file("a.tif")), -1);
}

TEST(ConverterLoader, LibraryWithoutEntryPointIsRefused) {
  testsupport::ScratchDir dir;
  // Any shared object that lacks the entry point will do; the C library's math part is one.
  const char* candidates[] = {"/lib/x86_64-linux-gnu/libm.so.6",
                              "/usr/lib/x86_64-linux-gnu/libm.so.6", "/lib64/libm.so.6"};
  std::string found;
  for (const char* c : candidates)
    if (fs::exists(c)) found = c;
  if (found.empty()) GTEST_SKIP() << "no libm.so.6 to copy";
  fs::copy_file(found, dir.file(converter::kConverterFileName));
  EXPECT_FALSE(converter::Plugin::Instance().Load(dir.path().string()));
  EXPECT_FALSE(converter::Plugin::Instance().Loaded());
  EXPECT_NE(converter::Plugin::Instance().LoadError().find("zorvalex5"), std::string::npos)
      << converter::Plugin::Instance().LoadError();
}

TEST(ConverterLoader, LoadsOnceCallsAndUnloads) {
  testsupport::ScratchDir dir;
  EXPECT_FALSE(
      converter::Plugin::Instance().Load(dir.path().string())); // a failed attempt does not stick
  ASSERT_TRUE(converter::Plugin::Instance().Load(PluginFolder()))
      << converter::Plugin::Instance().LoadError();
  EXPECT_TRUE(converter::Plugin::Instance().Loaded());
  EXPECT_EQ(converter::Plugin::Instance().LoadError(), "");
  EXPECT_TRUE(
      converter::Plugin::Instance().Load(dir.path().string())); // already loaded: nothing happens
  EXPECT_TRUE(converter::Plugin::Instance().Loaded());

  convtest::GifSpec spec{2, 1, {{0, 0, {"RG"}}}};
  testsupport::WriteFile(dir.file("a.gif"), convtest::MakeGif(spec));
  EXPECT_EQ(CallWith(dir.file("a.gif"), dir.file("a.tif")), 0);
  EXPECT_EQ(convtest::ReadTiff(dir.file("a.tif")).size(), 1u);

  converter::Plugin::Instance().Unload();
  EXPECT_FALSE(converter::Plugin::Instance().Loaded());
  EXPECT_EQ(CallWith(dir.file("a.gif"), dir.file("b.tif")), -1);
  EXPECT_FALSE(fs::exists(dir.file("b.tif")));
  converter::Plugin::Instance().Unload(); // twice is harmless

  ASSERT_TRUE(converter::Plugin::Instance().Load(PluginFolder()));
  EXPECT_EQ(CallWith(dir.file("a.gif"), dir.file("b.tif")), 0);
}

TEST(ConverterLoader, ExecutableFolderHoldsTheRunningProgram) {
  std::string folder = converter::ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(fs::path(folder).is_absolute());
  EXPECT_TRUE(fs::exists(fs::path(folder) / "converter_test"));
}

} // namespace
