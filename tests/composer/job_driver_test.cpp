#include <gtest/gtest.h>

#include <algorithm>
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
  void RowFinished(int row, const app::ListRecord& r) override {
    statuses.push_back(std::to_string(row) + ":" + app::StatusText(r.status));
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
                            std::string("opt 111 0 0 ") + app::kDefaultProducer,
                            "opt 105 128 5 o u", "opt 121 73858 0"}));
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
  EXPECT_FALSE(d.Run(rows, false).stopped);
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
  rows[0].status = app::RowStatus::kConverted;
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
  EXPECT_EQ(rows[0].status, app::RowStatus::kFailed);
  EXPECT_EQ(d.failures(), 1);
  // A document without a page is not written at all.
  EXPECT_FALSE(fs::exists(dir.file("o.pdf")));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(JobDriver, AnOutputThatCannotBeCreatedFailsTheMerge) {
  FakeEngine e;
  QuietFront front;
  app::RunSettings s;
  s.outPath0 = "/nonexistent-folder/x/o.pdf";
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/a.jpg"});
  d.Run(rows, false);
  // The row is named as failed, with the document it could not get.
  EXPECT_EQ(rows[0].status, app::RowStatus::kFailed);
  EXPECT_EQ(rows[0].reason,
            "could not write /nonexistent-folder/x/o.pdf: No such file or directory");
  EXPECT_EQ(d.failures(), 1);
  EXPECT_NE(d.runLog().find("[State]: Create Failed"), std::string::npos);
}

} // namespace

namespace {

// Every event of a run, as text, for checking order and counts.
class EventFront : public app::DriverFrontEnd {
public:
  std::vector<std::string> events;
  void RunStarted(int rows) override { events.push_back("start " + std::to_string(rows)); }
  void RowStarted(int row, const std::string&, int n, int m) override {
    events.push_back("row " + std::to_string(row) + " " + std::to_string(n) + "/" +
                     std::to_string(m));
  }
  void FrameDone(int row, int frame, int frames) override {
    events.push_back("frame " + std::to_string(row) + " " + std::to_string(frame) + "/" +
                     std::to_string(frames));
  }
  void RowFinished(int row, const app::ListRecord& r) override {
    std::string e = "done " + std::to_string(row) + " " + app::StatusText(r.status);
    if (!r.reason.empty()) e += " (" + r.reason + ")";
    events.push_back(e);
  }
  void RunFinished(const app::RunResult& r) override {
    events.push_back("end " + std::to_string(r.converted) + "+" + std::to_string(r.failed) +
                     (r.stopped ? " stopped" : ""));
  }
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    return out;
  }
};

} // namespace

// A row's final status is reported once, after its document is known to be complete or not,
// in every mode; rows whose document could not be written are named with the reason.
TEST(JobDriver, EachRowFinishesOnceWithItsDocumentsOutcome) {
  struct Case {
    app::OutputMode mode;
    std::vector<std::string> finished;
    int outputFailures;
  } cases[] = {
      {app::OutputMode::kMerge,
       {"done 0 Failed (could not write @merge.pdf: Is a directory)",
        "done 1 Failed (could not write @merge.pdf: Is a directory)",
        "done 2 Failed (could not write @merge.pdf: Is a directory)"},
       1},
      {app::OutputMode::kPerImage,
       {"done 0 Failed (could not write @x.pdf: Is a directory)", "done 1 Succeed",
        "done 2 Succeed"},
       1},
      {app::OutputMode::kPerFolder,
       {"done 0 Failed (could not write @a.pdf: Is a directory)",
        "done 1 Failed (could not write @a.pdf: Is a directory)", "done 2 Succeed"},
       1},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::string out = dir.path().string() + "/";
    // A folder in place of the output file: the finished document cannot be moved there.
    for (const char* blocked : {"merge.pdf", "x.pdf", "a.pdf"})
      fs::create_directories(out + blocked);
    FakeEngine e;
    EventFront front;
    app::RunSettings s;
    s.mode = c.mode;
    s.outPath0 = out + "merge.pdf";
    s.outPath1 = s.outPath2 = out;
    s.policy = app::ExistingFilePolicy::kOverwrite;
    app::JobDriver d(e, front, s);
    auto rows = Rows({"/in/a/x.jpg", "/in/a/y.jpg", "/in/b/z.jpg"});
    app::RunResult r = d.Run(rows, false);
    std::vector<std::string> expected;
    for (std::string f : c.finished) {
      if (auto at = f.find('@'); at != std::string::npos) f.replace(at, 1, out);
      expected.push_back(f);
    }
    const int mode = static_cast<int>(c.mode);
    EXPECT_EQ(front.Only("done"), expected) << mode;
    EXPECT_EQ(r.outputFailures, c.outputFailures) << mode;
    EXPECT_EQ(r.failed, static_cast<int>(std::count_if(expected.begin(), expected.end(),
                                                       [](const std::string& f) {
                                                         return f.find("Failed") !=
                                                                std::string::npos;
                                                       })))
        << mode;
    EXPECT_EQ(r.converted + r.failed, 3) << mode;
    EXPECT_EQ(front.events.back(),
              "end " + std::to_string(r.converted) + "+" + std::to_string(r.failed))
        << mode;
  }
}

TEST(JobDriver, ProgressCountsRowsAndFrames) {
  ScratchDir dir;
  FakeEngine e;
  e.frames = 2;
  EventFront front;
  app::RunSettings s;
  s.mode = app::OutputMode::kPerImage;
  s.outPath1 = dir.path().string() + "/";
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/p/one.tif", "/p/two.tif", "/p/three.tif"});
  rows[0].processed = true;
  d.Run(rows, true);
  EXPECT_EQ(front.events,
            (std::vector<std::string>{"start 2", "row 1 1/2", "frame 1 0/2", "frame 1 1/2",
                                      "done 1 Succeed", "row 2 2/2", "frame 2 0/2", "frame 2 1/2",
                                      "done 2 Succeed", "end 2+0"}));
}

TEST(JobDriver, AStopRequestedBeforeTheRunIsHonouredAndThenCleared) {
  ScratchDir dir;
  FakeEngine e;
  EventFront front;
  app::RunSettings s;
  s.outPath0 = dir.file("o.pdf");
  app::JobDriver d(e, front, s);
  d.RequestStop();
  auto rows = Rows({"/a.jpg", "/b.jpg"});
  app::RunResult r = d.Run(rows, false);
  EXPECT_TRUE(r.stopped);
  EXPECT_TRUE(e.calls.empty()) << "no engine call at all";
  EXPECT_EQ(front.events, (std::vector<std::string>{"start 2", "end 0+0 stopped"}));
  EXPECT_EQ(rows[0].status, app::RowStatus::kPending);
  r = d.Run(rows, false);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(r.converted, 2);
  EXPECT_EQ(r.outputsWritten, (std::vector<std::string>{dir.file("o.pdf")}));
}

TEST(JobDriver, TheReasonComesFromTheEngine) {
  struct ReasonEngine : FakeEngine {
    std::string FailureReason(const std::string& path, int result) override {
      return "unsupported TIFF: " + path + " " + std::to_string(result);
    }
  };
  ScratchDir dir;
  ReasonEngine e;
  e.addResult = -1;
  EventFront front;
  app::RunSettings s;
  s.outPath0 = dir.file("o.pdf");
  app::JobDriver d(e, front, s);
  auto rows = Rows({"/scan7.tif"});
  d.Run(rows, false);
  EXPECT_EQ(rows[0].reason, "unsupported TIFF: /scan7.tif -1");
  EXPECT_EQ(front.Only("done"),
            (std::vector<std::string>{"done 0 Failed (unsupported TIFF: /scan7.tif -1)"}));
}

TEST(JobDriver, ExpectedOutputPerMode) {
  app::RunSettings s;
  s.outPath0 = "/o/MyPDF.pdf";
  s.outPath1 = "/each/";
  s.outPath2 = "/folders/";
  struct {
    app::OutputMode mode;
    const char* input;
    const char* output;
  } cases[] = {
      {app::OutputMode::kMerge, "/in/a/x.jpg", "/o/MyPDF.pdf"},
      {app::OutputMode::kPerImage, "/in/a/x.scan.jpg", "/each/x.scan.pdf"},
      {app::OutputMode::kPerFolder, "/in/a/x.jpg", "/folders/a.pdf"},
      {app::OutputMode::kPerFolder, "/x.jpg", "/folders/root.pdf"},
  };
  for (const auto& c : cases) {
    s.mode = c.mode;
    EXPECT_EQ(app::ExpectedOutput(s, c.input), c.output) << c.input;
  }
}

// Each viewer preference adds its own bit, whatever the others are.
TEST(JobDriver, EachViewerPreferenceBitOnItsOwn) {
  struct {
    int app::ConversionSettings::*flag;
    int value;
    int bit;
  } cases[] = {
      {&app::ConversionSettings::document, 1, 2 - 1},
      {&app::ConversionSettings::document, 2, 4 - 1},
      {&app::ConversionSettings::zoom, 1, 64 - 128},
      {&app::ConversionSettings::fullscreen, 1, 8},
      {&app::ConversionSettings::hideTool, 1, 0x1000},
      {&app::ConversionSettings::hideMenu, 1, 0x2000},
      {&app::ConversionSettings::hideControl, 1, 0x4000},
      {&app::ConversionSettings::resize, 1, 0x8000},
      {&app::ConversionSettings::center, 1, 0x10000},
  };
  const app::ConversionSettings none = app::DefaultConversionSettings();
  EXPECT_EQ(app::ViewerBits(none), 1 + 128) << "page only, fit width";
  for (const auto& c : cases) {
    app::ConversionSettings one = none;
    one.*c.flag = c.value;
    EXPECT_EQ(app::ViewerBits(one) - app::ViewerBits(none), c.bit) << c.bit;
    // A flag set to anything but 1 adds nothing.
    if (c.bit > 8) {
      one.*c.flag = 2;
      EXPECT_EQ(app::ViewerBits(one), app::ViewerBits(none)) << c.bit;
    }
  }
}
