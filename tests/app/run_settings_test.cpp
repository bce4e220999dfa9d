// Run settings from the store, the in-memory overlay, the overrides of a front end, the
// monitor keys, and what the real engine says about an input.
#include <gtest/gtest.h>

#include <string>

#include "app/engine_api.h"
#include "app/input_info.h"
#include "app/monitor.h"
#include "app/run_settings.h"
#include "app/settings_store.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

TEST(RunSettings, StoreWithOverlayAndOverrides) {
  ScratchDir dir;
  setenv("HOME", dir.path().c_str(), 1);
  std::string ini = dir.file("Settings.ini");
  const std::string stored = "[Settings]\r\noutMode=1\r\noutPath1=/stored/\r\nexists=3\r\n"
                             "log=1\r\nlogpath=/l\r\ntitle=Stored\r\nlayout=2\r\n";
  WriteFile(ini, stored);
  app::SettingsStore store(ini);
  store.Overlay("TITLE", "Over");
  store.Overlay("layout", "4");
  store.Overlay("layout", "9"); // the latest value wins
  app::RunSettings run = app::LoadRunSettings(store);
  EXPECT_EQ(run.conv.title, "Over");
  EXPECT_EQ(run.conv.layout, 9);
  EXPECT_EQ(run.mode, app::OutputMode::kPerImage);
  EXPECT_EQ(run.outPath1, "/stored/");
  EXPECT_EQ(run.policy, app::ExistingFilePolicy::kAppend);
  EXPECT_TRUE(run.log);
  EXPECT_EQ(ReadFile(ini), stored) << "the overlay never reaches the file";

  app::RunOverrides o;
  o.mode = app::OutputMode::kPerFolder;
  o.output = "/f";
  o.logDir = "/logs";
  app::ApplyOverrides(run, o);
  EXPECT_EQ(run.outPath1, "/f/");
  EXPECT_EQ(run.outPath2, "/f/");
  EXPECT_EQ(run.OutputForMode(), "/f/");
  EXPECT_EQ(run.logpath, "/logs");
  o = {};
  o.mode = app::OutputMode::kMerge;
  o.output = "/m/one.pdf";
  app::ApplyOverrides(run, o);
  EXPECT_EQ(run.outPath0, "/m/one.pdf");
  EXPECT_EQ(run.outPath2, "/f/");
}

TEST(RunSettings, AStoredPolicyOutOfRangeReadsAsTheDefault) {
  ScratchDir dir;
  struct {
    const char* value;
    app::ExistingFilePolicy policy;
  } cases[] = {
      {"0", app::ExistingFilePolicy::kAsk},       {"3", app::ExistingFilePolicy::kAppend},
      {"4", app::ExistingFilePolicy::kCreateNew}, {"77", app::ExistingFilePolicy::kCreateNew},
      {"-1", app::ExistingFilePolicy::kAsk}, // the integer rule reads it as 0
      {"", app::ExistingFilePolicy::kCreateNew}};
  for (const auto& c : cases) {
    std::string ini = dir.file("s.ini");
    WriteFile(ini, std::string("[Settings]\nexists=") + c.value + "\n");
    EXPECT_EQ(app::ReadExistingFilePolicy(app::SettingsStore(ini)), c.policy) << c.value;
  }
}

TEST(RunSettings, MonitorKeysWithTheCallersDefaults) {
  ScratchDir dir;
  setenv("HOME", dir.path().c_str(), 1);
  std::string ini = dir.file("Settings.ini");
  WriteFile(ini, "[Settings]\ninput=/hot/\nsubdir=1\ndel_success=1\nkeepsub=1\nsecond=12x\n"
                 "producer=Mine\n");
  app::MonitorSettings defaults;
  defaults.runsec = true;
  app::MonitorSettings m = app::LoadMonitorSettings(app::SettingsStore(ini), defaults);
  EXPECT_EQ(m.input, "/hot/");
  EXPECT_TRUE(m.subdir);
  EXPECT_TRUE(m.delSuccess);
  EXPECT_TRUE(m.keepsub);
  EXPECT_TRUE(m.runsec) << "missing: the caller's default";
  EXPECT_EQ(m.intervalSeconds, 12);
  EXPECT_EQ(m.run.conv.producer, "") << "monitor documents carry the built-in producer";

  WriteFile(ini, "[Settings]\nrunsec=0\n");
  m = app::LoadMonitorSettings(app::SettingsStore(ini), defaults);
  EXPECT_FALSE(m.runsec);
  EXPECT_EQ(m.intervalSeconds, 5);
  EXPECT_FALSE(m.subdir);
}

TEST(InputInfo, DescriptionsAndTheLibrarysOwnReasons) {
  ScratchDir dir;
  auto r = testsupport::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                            "Image.new('L', (64, 48)).save(sys.argv[1], dpi=(300, 300))\" " +
                            testsupport::Quote(dir.file("grey.png")));
  ASSERT_EQ(r.status, 0) << r.out;
  std::string png = ReadFile(dir.file("grey.png"));
  WriteFile(dir.file("cut.png"), png.substr(0, 40)); // the header survives, the data not
  WriteFile(dir.file("notes.jpg"), "not an image");

  app::InputDescription d = app::DescribeInput(dir.file("grey.png"));
  EXPECT_TRUE(d.ok) << d.reason;
  EXPECT_EQ(d.typeName, "PNG");
  EXPECT_EQ(d.frames, 1);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 48);
  EXPECT_EQ(d.xdpi, 300);
  EXPECT_EQ(d.bitsPerPixel, 8);

  app::EngineApi engine;
  struct {
    std::string path;
    const char* reason;
  } failures[] = {{dir.file("missing.jpg"), "no such file"},
                  {dir.path().string(), "is a folder"},
                  {dir.file("notes.jpg"), "not a recognised image"}};
  for (const auto& c : failures) {
    EXPECT_EQ(app::DescribeInput(c.path).reason, c.reason) << c.path;
    EXPECT_EQ(engine.FailureReason(c.path, 0), c.reason) << c.path;
  }
  // The image library's words, not a guess from the file's first bytes.
  std::string cut = engine.FailureReason(dir.file("cut.png"), 0);
  EXPECT_FALSE(cut.empty());
  EXPECT_EQ(cut.find("could not be converted"), std::string::npos) << cut;
}

} // namespace
