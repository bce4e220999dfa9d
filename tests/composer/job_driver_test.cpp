#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/job_driver.h"
#include "fake_engine.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support_fake::Calls;
using testing_support_fake::FakeEngine;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

class QuietFront : public app::DriverFrontEnd {
public:
  std::vector<std::string> statuses;
  std::optional<std::string> answer;
  void SetRowStatus(int row, const std::string& s) override {
    statuses.push_back(std::to_string(row) + ":" + s);
  }
  std::optional<std::string> AskSaveName(const std::string&) override { return answer; }
};

std::vector<app::ListRecord> Rows(std::initializer_list<const char*> paths) {
  std::vector<app::ListRecord> rows;
  for (const char* p : paths)
    rows.push_back({p});
  return rows;
}

TEST(JobDriver, DocumentSettingsAreAppliedInTheirOrder) {
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.conv.colorTif = 2;
  s.conv.grayTif = 0;
  s.conv.bwTif = 4;
  s.conv.quality = 60;
  s.conv.bSkew = 1;
  s.conv.lossless = 1;
  s.conv.pageRotate = 3;
  s.conv.title = "T";
  s.conv.security = 1;
  s.conv.level = 1;
  s.conv.print = 1;
  s.conv.modify = 1;
  s.conv.owner = "o";
  s.conv.user = "u";
  s.conv.document = 1;
  s.conv.zoom = 0;
  s.conv.hideMenu = 1;
  s.conv.center = 1;
  app::JobDriver d(e, front, s);
  d.ApplyDocumentSettings(7);
  EXPECT_EQ(e.calls, (Calls{"opt 123 3 0 zip", "opt 123 1 0 g4", "opt 128 60 0", "opt 126 1 0",
                            "opt 131 1 0", "opt 132 1 0", "opt 122 270 0", "info T||||",
                            "opt 111 0 0 Pictofold", "opt 105 128 5 o u", "opt 121 73858 0"}));
  EXPECT_EQ(73858, 2 + 128 + 0x2000 + 0x10000);
}

TEST(JobDriver, UniqueNamesCountUp) {
  ScratchDir dir;
  std::string base = dir.file("MyPDF.pdf");
  EXPECT_EQ(app::UniqueName(base, "%03d"), dir.file("MyPDF001.pdf"));
  WriteFile(dir.file("MyPDF001.pdf"), "x");
  EXPECT_EQ(app::UniqueName(base, "%03d"), dir.file("MyPDF002.pdf"));
  EXPECT_EQ(app::UniqueName(base, "(NEW%03d)"), dir.file("MyPDF(NEW001).pdf"));
}

TEST(JobDriver, MergeWithAnExistingFileWritesTheNumberedNameAndKeepsTheOld) {
  ScratchDir dir;
  std::string out = dir.file("MyPDF.pdf");
  WriteFile(out, "old");
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.outPath0 = out;
  s.log = true;
  s.logpath = dir.file("logs");
  app::JobDriver d(e, front, s);
  d.clock = [] { return std::time_t{1410789909}; }; // 2014-09-15 14:05:09 UTC
  auto rows = Rows({"/a.jpg", "/b.jpg"});
  EXPECT_TRUE(d.Run(rows, false));
  EXPECT_EQ(ReadFile(out), "old");
  EXPECT_EQ(ReadFile(dir.file("MyPDF001.pdf")), "new");
  EXPECT_EQ(d.lastOutput(), dir.file("MyPDF001.pdf"));
  EXPECT_EQ(front.statuses, (std::vector<std::string>{"0:Succeed", "1:Succeed"}));
  // No work file is left behind.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 2);
  setenv("TZ", "UTC0", 1);
  tzset();
  std::string log = ReadFile(dir.file("logs/2014_09_15.log"));
  EXPECT_EQ(log, "[Time]: 2014/09/15 14:05:09\r\n[Output]: " + out +
                     "\r\n[Input]: /a.jpg\r\n[State]: Succeed\r\n[Input]: /b.jpg\r\n[State]: "
                     "Succeed\r\n");
}

// An existing output is replaced or extended only when the new file is complete.
TEST(JobDriver, ExistingFilesChangeOnlyWhenTheNewOneIsComplete) {
  struct Case {
    app::ExistingFilePolicy policy;
    int closeResult;
    const char* after;
  } cases[] = {
      {app::ExistingFilePolicy::kOverwrite, 1, "new"},
      {app::ExistingFilePolicy::kOverwrite, 0, "old"},
      {app::ExistingFilePolicy::kAppend, 1, "old+more"},
      {app::ExistingFilePolicy::kAppend, 0, "old"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::string out = dir.file("out.pdf");
    WriteFile(out, "old");
    FakeEngine e;
    e.closeResult = c.closeResult;
    QuietFront front;
    app::RunSettings s;
    s.outPath0 = out;
    s.policy = c.policy;
    app::JobDriver d(e, front, s);
    auto rows = Rows({"/a.jpg"});
    d.Run(rows, false);
    const int policy = static_cast<int>(c.policy);
    EXPECT_NE(e.lastCreated, out) << "the engine never writes the final name itself";
    EXPECT_EQ(ReadFile(out), c.after) << policy << " " << c.closeResult;
    EXPECT_FALSE(fs::exists(e.lastCreated)) << "no work file is left behind";
    EXPECT_EQ(d.failures(), c.closeResult ? 0 : 1) << policy;
  }
}

TEST(JobDriver, AskUsesTheChosenNameOrTheNextNumberOnCancel) {
  ScratchDir dir;
  std::string out = dir.file("out.pdf");
  WriteFile(out, "old");
  for (bool cancel : {false, true}) {
    FakeEngine e;
    QuietFront front;
    if (!cancel) front.answer = dir.file("chosen");
    app::RunSettings s;
    s.outPath0 = out;
    s.policy = app::ExistingFilePolicy::kAsk;
    app::JobDriver d(e, front, s);
    auto rows = Rows({"/a.jpg"});
    d.Run(rows, false);
    EXPECT_EQ(d.lastOutput(), cancel ? dir.file("out001.pdf") : dir.file("chosen"));
    EXPECT_EQ(ReadFile(d.lastOutput()), "new");
  }
}

TEST(JobDriver, PerFolderGroupsSortedRowsByFolderName) {
  ScratchDir dir;
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.mode = app::OutputMode::kPerFolder;
  s.outPath2 = dir.path().string() + "/";
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/b/x/2.jpg", "/a/x/1.jpg", "/c/y/3.jpg", "/d/x/4.jpg"});
  d.Run(rows, false);
  EXPECT_EQ(rows[0].path, "/a/x/1.jpg");
  int creates = 0;
  for (const auto& c : e.calls)
    creates += c == "create";
  EXPECT_EQ(creates, 3) << "x, y, then x again under the existing-file policy";
  EXPECT_TRUE(fs::exists(dir.file("x.pdf")));
  EXPECT_TRUE(fs::exists(dir.file("y.pdf")));
  EXPECT_TRUE(fs::exists(dir.file("x001.pdf")));
}

TEST(JobDriver, PerImageResumeSkipsProcessedRows) {
  ScratchDir dir;
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.mode = app::OutputMode::kPerImage;
  s.outPath1 = dir.path().string() + "/";
  s.policy = app::ExistingFilePolicy::kOverwrite;
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/p/one.jpg", "/p/two.png", "/p/three.tif"});
  rows[0].processed = true;
  rows[0].status = "Succeed";
  d.Run(rows, true);
  EXPECT_EQ(front.statuses, (std::vector<std::string>{"1:Succeed", "2:Succeed"}));
  EXPECT_FALSE(fs::exists(dir.file("one.pdf")));
  EXPECT_TRUE(fs::exists(dir.file("two.pdf")));
  front.statuses.clear();
  d.Run(rows, false);
  EXPECT_EQ(front.statuses.size(), 3u);
}

TEST(JobDriver, FailedInputsAndFilesWithoutFrames) {
  ScratchDir dir;
  FakeEngine e;
  e.frames = 0;
  QuietFront front;
  app::RunSettings s;
  s.outPath0 = dir.file("o.pdf");
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/notes.jpg"});
  d.Run(rows, false);
  EXPECT_EQ(rows[0].status, "Failed");
  EXPECT_EQ(d.failures(), 1);
  EXPECT_TRUE(fs::exists(dir.file("o.pdf"))) << "the document is still written";
}

TEST(JobDriver, AnOutputThatCannotBeCreatedFailsTheMerge) {
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.outPath0 = "/nonexistent-folder/x/o.pdf";
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/a.jpg"});
  d.Run(rows, false);
  EXPECT_EQ(rows[0].status, "-");
  EXPECT_EQ(d.failures(), 1);
  EXPECT_NE(d.runLog().find("[State]: Create Failed"), std::string::npos);
}

} // namespace
