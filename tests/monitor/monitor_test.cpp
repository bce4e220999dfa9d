#include "app/monitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_engine.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using Names = std::vector<std::string>;
using Tree = std::set<std::string>;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

// AddImage fails for files whose name starts with "bad"; files named "unreadable..." have no
// frames. Each document is recorded as the base names added to it.
class MonitorEngine : public testing_support_fake::FakeEngine {
public:
  std::vector<Names> documents;
  std::function<void(const std::string&)> onAdd;
  std::function<int()> onClose; // replaces closeResult when set
  int opened = 0, closed = 0;

  int Create(const char* path) override {
    ++opened;
    documents.emplace_back();
    return FakeEngine::Create(path);
  }
  int Close(int handle) override {
    ++closed;
    int result = FakeEngine::Close(handle);
    return onClose ? onClose() : result;
  }
  int Query(int handle, int key, int* a, int* b, char* text, const char* t2) override {
    if (key == 201 && text && fs::path(text).filename().string().rfind("unreadable", 0) == 0)
      return 0;
    return FakeEngine::Query(handle, key, a, b, text, t2);
  }
  int AddImage(int handle, const char* path) override {
    std::string name = fs::path(path).filename().string();
    if (!documents.empty()) documents.back().push_back(name);
    FakeEngine::AddImage(handle, path);
    if (onAdd) onAdd(path);
    return name.rfind("bad", 0) == 0 ? 0 : 1;
  }
  int Adds() const {
    int n = 0;
    for (const auto& d : documents)
      n += static_cast<int>(d.size());
    return n;
  }
};

class Recorder : public app::MonitorFrontEnd {
public:
  std::vector<app::FileReport> reports;
  std::vector<std::string> states, waiting;
  std::vector<app::PassSummary> passes;
  std::function<void(const app::PassSummary&)> onPass;

  void ShowState(const std::string& text) override { states.push_back(text); }
  void FileWaiting(const std::string& path) override { waiting.push_back(path); }
  void FileFinished(const app::FileReport& r) override { reports.push_back(r); }
  void PassFinished(const app::PassSummary& s) override {
    passes.push_back(s);
    if (onPass) onPass(s);
  }
};

const Clock::time_point kNow = Clock::from_time_t(1700000000);

void SetMtime(const std::string& path, Clock::time_point t) {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(ns / 1000000000);
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(ns % 1000000000);
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
}

// Every file (and link) under root, relative to it; folders only when empty of files.
Tree FilesUnder(const fs::path& root) {
  Tree out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_symlink() || !it->is_directory())
      out.insert(it->path().lexically_relative(root).string());
  }
  return out;
}

class MonitorTest : public ::testing::Test {
protected:
  void SetUp() override {
    in = scratch.file("in") + "/";
    out = scratch.file("out") + "/";
    fs::create_directories(in);
    fs::create_directories(out);
    s.input = in;
    s.run.outPath0 = out + "all.pdf";
    s.run.outPath1 = out;
    s.run.outPath2 = out;
  }

  // A finished file: last written a minute before "now".
  std::string Put(const std::string& rel, const std::string& bytes = "image") {
    std::string path = in + rel;
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, bytes);
    SetMtime(path, now - std::chrono::minutes(1));
    return path;
  }

  app::FolderMonitor& Monitor() {
    monitor = std::make_unique<app::FolderMonitor>(engine, front, s);
    monitor->clock = [this] { return now; };
    monitor->sleeper = [this](std::chrono::seconds d) {
      ++sleeps;
      now += d;
    };
    return *monitor;
  }

  Tree InTree() const { return FilesUnder(in); }

  ScratchDir scratch;
  std::string in, out;
  Clock::time_point now = kNow;
  MonitorEngine engine;
  Recorder front;
  app::MonitorSettings s;
  std::unique_ptr<app::FolderMonitor> monitor;
  int sleeps = 0;
};

TEST(MonitorRules, SupportedFilesIntervalsAndStartChecks) {

  struct {
    const char* text;
    int value;
  } intervals[] = {{"", 0},     {"0", 0},   {"5", 5},  {"120", 120},   {"999", 999},
                   {"12x", 12}, {"abc", 0}, {"-3", 0}, {"123456", 999}};
  for (const auto& c : intervals)
    EXPECT_EQ(c.value, app::ParseInterval(c.text)) << c.text;

  ScratchDir dir;
  WriteFile(dir.file("plain"), "x");
  app::MonitorSettings m;
  m.run.outPath0 = dir.file("out.pdf");
  EXPECT_EQ(app::kNoFolderMessage, app::CheckMonitorSettings(m));
  m.input = dir.file("missing");
  EXPECT_EQ(app::kNoFolderMessage, app::CheckMonitorSettings(m));
  m.input = dir.file("plain");
  EXPECT_EQ(app::kNoFolderMessage, app::CheckMonitorSettings(m));
  m.input = dir.path().string();
  EXPECT_EQ("", app::CheckMonitorSettings(m));
  m.run.mode = app::OutputMode::kPerFolder;
  EXPECT_EQ(app::kNoOutputMessage, app::CheckMonitorSettings(m));
}

// One folder tree, converted in each output mode.
struct ModeCase {
  const char* name;
  app::OutputMode mode;
  std::vector<Names> documents;
  Tree outputs;
};
void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << c.name;
}

class MonitorModes : public MonitorTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(MonitorModes, ConvertsAndMovesEachFileIntoItsOwnConvertedFolder) {
  const ModeCase& c = GetParam();
  s.run.mode = c.mode;
  s.subdir = true;
  s.runsec = true;
  for (const char* f : {"b.bmp", "a.jpg", "notes.txt", "e.svg", "sub/d.JPG", "sub/c.jpeg"})
    Put(f);
  EXPECT_TRUE(Monitor().RunOnce());
  EXPECT_EQ(c.documents, engine.documents);
  EXPECT_EQ(engine.opened, engine.closed);
  EXPECT_EQ(c.outputs, FilesUnder(out));
  EXPECT_EQ((Tree{"_converted/a.jpg", "_converted/b.bmp", "e.svg", "notes.txt",
                  "sub/_converted/c.jpeg", "sub/_converted/d.JPG"}),
            InTree());
  EXPECT_TRUE(fs::is_directory(in + "_failed"));
  EXPECT_TRUE(fs::is_directory(in + "sub/_failed"));
  ASSERT_EQ(1u, front.passes.size());
  EXPECT_EQ(4, front.passes[0].converted);

  // The next pass finds nothing new.
  EXPECT_TRUE(monitor->RunOnce());
  EXPECT_EQ(c.documents.size(), engine.documents.size());
  EXPECT_EQ(std::string("Current: ") + app::kEmptyScanMessage, front.states.back());
}

TEST_P(MonitorModes, StopTakesEffectAfterTheCurrentFile) {
  s.run.mode = GetParam().mode;
  s.runsec = true;
  s.intervalSeconds = 0;
  for (const char* f : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"})
    Put(f);
  auto& m = Monitor();
  engine.onAdd = [&](const std::string& path) {
    if (fs::path(path).filename() == "2.jpg") m.Stop();
  };
  app::MonitorResult r = m.Run();
  EXPECT_TRUE(r.stopped);
  EXPECT_FALSE(r.afterActionDue);
  EXPECT_EQ(1, r.passes);
  EXPECT_EQ(2, engine.Adds());
  EXPECT_EQ(engine.opened, engine.closed);
  EXPECT_EQ((Tree{"_converted/1.jpg", "_converted/2.jpg", "3.jpg", "4.jpg"}), InTree());
  EXPECT_EQ("", front.states.back());
  EXPECT_FALSE(m.stopRequested());
}

INSTANTIATE_TEST_SUITE_P(All, MonitorModes,
                         ::testing::Values(ModeCase{"Merge",
                                                    app::OutputMode::kMerge,
                                                    {{"a.jpg", "b.bmp", "c.jpeg", "d.JPG"}},
                                                    {"all.pdf"}},
                                           ModeCase{"PerImage",
                                                    app::OutputMode::kPerImage,
                                                    {{"a.jpg"}, {"b.bmp"}, {"c.jpeg"}, {"d.JPG"}},
                                                    {"a.pdf", "b.pdf", "c.pdf", "d.pdf"}},
                                           ModeCase{"PerFolder",
                                                    app::OutputMode::kPerFolder,
                                                    {{"a.jpg", "b.bmp"}, {"c.jpeg", "d.JPG"}},
                                                    {"in.pdf", "sub.pdf"}}),
                         [](const auto& info) { return info.param.name; });

// What happens to a converted, a failed and an unreadable file.
struct DispositionCase {
  const char* name;
  bool runsec, delSuccess;
  Tree after;
};
void PrintTo(const DispositionCase& c, std::ostream* os) {
  *os << c.name;
}

class MonitorDisposition : public MonitorTest,
                           public ::testing::WithParamInterface<DispositionCase> {};

TEST_P(MonitorDisposition, ConvertedFilesGoOrAreDeletedFailedOnesAreKept) {
  const DispositionCase& c = GetParam();
  s.runsec = c.runsec;
  s.delSuccess = c.delSuccess;
  for (const char* f : {"good.jpg", "bad.jpg", "unreadable.jpg"})
    Put(f);
  Monitor().RunOnce();
  EXPECT_EQ(c.after, InTree());
  const std::string& log = monitor->log();
  EXPECT_NE(std::string::npos, log.find("[Input]: " + in + "bad.jpg\r\n[State]: Failed\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("[Input]: " + in + "unreadable.jpg\r\n[State]: Failed\r\n"));
  EXPECT_NE(std::string::npos, log.find("[Input]: " + in + "good.jpg\r\n[State]: Succeed\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    All, MonitorDisposition,
    ::testing::Values(
        DispositionCase{"RepeatedKeep",
                        true,
                        false,
                        {"_converted/good.jpg", "_failed/bad.jpg", "_failed/unreadable.jpg"}},
        DispositionCase{
            "RepeatedDelete", true, true, {"_failed/bad.jpg", "_failed/unreadable.jpg"}},
        DispositionCase{"OnceKeep", false, false, {"good.jpg", "bad.jpg", "unreadable.jpg"}},
        DispositionCase{"OnceDelete", false, true, {"bad.jpg", "unreadable.jpg"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(MonitorTest, MovesNeverReplaceAFileAlreadyThere) {
  s.runsec = true;
  Put("x.jpg", "new");
  Put("_converted/x.jpg", "first");
  Put("_converted/x(1).jpg", "second");
  Monitor().RunOnce();
  EXPECT_EQ("first", ReadFile(in + "_converted/x.jpg"));
  EXPECT_EQ("second", ReadFile(in + "_converted/x(1).jpg"));
  EXPECT_EQ("new", ReadFile(in + "_converted/x(2).jpg"));
  ASSERT_EQ(1u, front.reports.size());
  EXPECT_EQ(app::Disposition::kMoved, front.reports[0].disposition);
  EXPECT_EQ(in + "_converted/x(2).jpg", front.reports[0].movedTo);

  EXPECT_EQ("", app::MoveToFreeName(in + "_converted/x.jpg", in + "no/such/folder"));
  EXPECT_EQ("first", ReadFile(in + "_converted/x.jpg"));
}

TEST_F(MonitorTest, AFileThatCannotBeMovedIsKeptAndNotConvertedAgain) {
  s.runsec = true;
  Put("x.jpg");
  WriteFile(in + "_converted", "a file where the folder should be");
  auto& m = Monitor();
  m.RunOnce();
  ASSERT_EQ(1u, front.reports.size());
  EXPECT_EQ(app::Disposition::kMoveFailed, front.reports[0].disposition);
  EXPECT_TRUE(fs::exists(in + "x.jpg"));

  m.RunOnce();
  EXPECT_EQ(1, engine.Adds());
  EXPECT_TRUE(fs::exists(in + "x.jpg"));

  // Once the obstacle is gone the move is made, still without converting again.
  fs::remove(in + "_converted");
  m.RunOnce();
  EXPECT_EQ(1, engine.Adds());
  EXPECT_EQ((Tree{"_converted/x.jpg"}), InTree());
  EXPECT_EQ(app::Disposition::kMoved, front.reports.back().disposition);
}

TEST_F(MonitorTest, KeptSubfoldersMirrorOnlyThePartBelowTheWatchedFolder) {
  s.run.mode = app::OutputMode::kPerImage;
  s.subdir = true;
  s.keepsub = true;
  s.run.outPath1 = scratch.file("mirror"); // no trailing slash
  Put("top.jpg");
  Put("a/b/x.jpg");
  // The watched folder's own path repeated further down must stay as it is.
  std::string nested = "c" + in;
  Put(nested + "y.jpg");
  Monitor().RunOnce();
  fs::path mirror = scratch.file("mirror");
  EXPECT_EQ((Tree{"top.pdf", "a/b/x.pdf", nested + "y.pdf"}), FilesUnder(mirror));

  s.keepsub = false;
  s.run.outPath1 = scratch.file("flat") + "/";
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"top.pdf", "x.pdf", "y.pdf"}), FilesUnder(scratch.file("flat")));
}

// A file another program is still writing waits until it has stayed as it was.
struct GrowingCase {
  const char* name;
  // Runs before each pass (from 0); the file was put there just before pass 0.
  std::function<void(MonitorTest&, const std::string& path, int pass)> between;
  int convertedAtPass;
};
void PrintTo(const GrowingCase& c, std::ostream* os) {
  *os << c.name;
}

class MonitorGrowing : public MonitorTest, public ::testing::WithParamInterface<GrowingCase> {};

TEST_P(MonitorGrowing, IsNeitherConvertedNorTouchedUntilStable) {
  const GrowingCase& c = GetParam();
  s.runsec = true;
  s.delSuccess = true;
  std::string path = Put("scan.jpg", "half");
  auto& m = Monitor();
  for (int pass = 0; pass <= c.convertedAtPass; ++pass) {
    c.between(*this, path, pass);
    m.RunOnce();
    if (pass < c.convertedAtPass) {
      EXPECT_TRUE(fs::exists(path)) << "pass " << pass;
      EXPECT_EQ(0, engine.Adds()) << "pass " << pass;
      EXPECT_EQ(1, front.passes.back().waiting) << "pass " << pass;
    }
    now += std::chrono::seconds(10);
  }
  EXPECT_EQ(1, engine.Adds());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ((Tree{}), InTree());
}

INSTANTIATE_TEST_SUITE_P(
    All, MonitorGrowing,
    ::testing::Values(GrowingCase{"WrittenJustNow",
                                  [](MonitorTest& t, const std::string& p, int pass) {
                                    if (pass == 0)
                                      SetMtime(p, kNow - std::chrono::milliseconds(1500));
                                  },
                                  1},
                      GrowingCase{"TimeAheadOfTheClock",
                                  [](MonitorTest& t, const std::string& p, int pass) {
                                    if (pass == 0) SetMtime(p, kNow + std::chrono::seconds(1));
                                  },
                                  1},
                      GrowingCase{"SizeChangedSinceTheLastLook",
                                  [](MonitorTest& t, const std::string& p, int pass) {
                                    if (pass == 0) SetMtime(p, kNow - std::chrono::seconds(1));
                                    if (pass == 1) {
                                      WriteFile(p, "half and more");
                                      SetMtime(p, kNow - std::chrono::seconds(1));
                                    }
                                  },
                                  2},
                      GrowingCase{"TimeChangedSinceTheLastLook",
                                  [](MonitorTest& t, const std::string& p, int pass) {
                                    if (pass == 0) SetMtime(p, kNow - std::chrono::seconds(1));
                                    if (pass == 1) SetMtime(p, kNow + std::chrono::seconds(5));
                                  },
                                  2}),
    [](const auto& info) { return info.param.name; });

TEST_F(MonitorTest, AFileWrittenDuringItsConversionStaysForALaterPass) {
  s.runsec = true;
  s.delSuccess = true;
  std::string path = Put("scan.jpg", "half");
  engine.onAdd = [&](const std::string& p) {
    if (engine.Adds() == 1) {
      WriteFile(p, "half and the rest");
      SetMtime(p, now - std::chrono::seconds(30));
    }
  };
  auto& m = Monitor();
  m.RunOnce();
  ASSERT_EQ(1u, front.reports.size());
  EXPECT_EQ(app::Disposition::kChangedLeft, front.reports[0].disposition);
  EXPECT_EQ("half and the rest", ReadFile(path));

  now += std::chrono::seconds(10);
  m.RunOnce(); // changed since the last look
  EXPECT_EQ(1, engine.Adds());
  now += std::chrono::seconds(10);
  m.RunOnce();
  EXPECT_EQ(2, engine.Adds());
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(MonitorTest, OnlyWaitingFilesShowTheWaitingState) {
  std::string path = Put("scan.jpg");
  SetMtime(path, now);
  Monitor().RunOnce();
  EXPECT_EQ(std::string("Current: ") + app::kWaitingMessage, front.states.back());
  EXPECT_EQ((std::vector<std::string>{path}), front.waiting);
}

struct RepeatCase {
  const char* name;
  int interval, stopAfterPasses, expectedSleeps;
};
void PrintTo(const RepeatCase& c, std::ostream* os) {
  *os << c.name;
}

class MonitorRepeat : public MonitorTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(MonitorRepeat, ScansAtTheIntervalUntilStopped) {
  const RepeatCase& c = GetParam();
  s.runsec = true;
  s.intervalSeconds = c.interval;
  Put("first.jpg");
  auto& m = Monitor();
  front.onPass = [&](const app::PassSummary& p) {
    if (p.pass == 1) Put("second.jpg"); // found by the next pass
    if (p.pass == c.stopAfterPasses) m.Stop();
  };
  app::MonitorResult r = m.Run();
  EXPECT_EQ(c.stopAfterPasses, r.passes);
  EXPECT_EQ(c.expectedSleeps, sleeps);
  EXPECT_TRUE(r.stopped);
  EXPECT_FALSE(r.afterActionDue);
  EXPECT_EQ((Names{"first.jpg", "second.jpg"}),
            (Names{engine.documents[0][0], engine.documents[1][0]}));
  EXPECT_EQ((Tree{"_converted/first.jpg", "_converted/second.jpg"}), InTree());
  EXPECT_EQ(std::string("Current: ") + app::kEmptyScanMessage,
            front.states[front.states.size() - 2]);
}

INSTANTIATE_TEST_SUITE_P(All, MonitorRepeat,
                         ::testing::Values(RepeatCase{"EverySecond", 1, 3, 2},
                                           RepeatCase{"FiveSeconds", 5, 4, 15},
                                           RepeatCase{"NoWait", 0, 3, 0}),
                         [](const auto& info) { return info.param.name; });

TEST_F(MonitorTest, StopDuringTheWaitEndsItAndASinglePassAsksForTheAfterAction) {
  s.runsec = true;
  s.intervalSeconds = 60;
  auto& m = Monitor();
  m.sleeper = [&](std::chrono::seconds) {
    if (++sleeps == 7) m.Stop();
  };
  app::MonitorResult r = m.Run();
  EXPECT_EQ(1, r.passes);
  EXPECT_EQ(7, sleeps);
  EXPECT_FALSE(r.afterActionDue);

  s.runsec = false;
  s.run.mode = app::OutputMode::kMerge;
  Put("x.jpg");
  Put("bad.jpg");
  r = Monitor().Run();
  EXPECT_EQ(1, r.passes);
  EXPECT_EQ(1, r.converted) << "the run's totals come from its passes";
  EXPECT_EQ(1, r.failed);
  EXPECT_FALSE(r.stopped);
  EXPECT_TRUE(r.afterActionDue);
  EXPECT_EQ(out + "all.pdf", r.outputLocation);
  EXPECT_EQ((Tree{"bad.jpg", "x.jpg"}), InTree());
}

TEST_F(MonitorTest, StopFromAnotherThreadWakesTheBuiltInWait) {
  s.runsec = true;
  s.intervalSeconds = 999;
  app::FolderMonitor m(engine, front, s);
  std::promise<void> firstPass;
  front.onPass = [&](const app::PassSummary& p) {
    if (p.pass == 1) firstPass.set_value();
  };
  auto done = std::async(std::launch::async, [&] { return m.Run(); });
  firstPass.get_future().wait();
  m.Stop();
  ASSERT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(60)));
  app::MonitorResult r = done.get();
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(1, r.passes);
}

TEST_F(MonitorTest, NothingOutsideTheWatchedFolderIsTouched) {
  s.runsec = true;
  s.subdir = true;
  s.delSuccess = true;
  std::string outside = scratch.file("outside") + "/";
  fs::create_directories(outside + "deep");
  WriteFile(outside + "deep/z.jpg", "z");
  WriteFile(outside + "y.jpg", "y");
  SetMtime(outside + "deep/z.jpg", now - std::chrono::minutes(5));
  SetMtime(outside + "y.jpg", now - std::chrono::minutes(5));
  fs::create_directory_symlink(outside, in + "linked");
  fs::create_symlink(outside + "y.jpg", in + "link.jpg");
  Put("_converted/old.jpg");
  Put("_FAILED/older.jpg");
  Put("a.jpg");
  Monitor().RunOnce();

  EXPECT_EQ((Names{"a.jpg", "link.jpg"}), engine.documents.at(0));
  EXPECT_EQ((Tree{"deep/z.jpg", "y.jpg"}), FilesUnder(outside));
  EXPECT_EQ("y", ReadFile(outside + "y.jpg"));
  EXPECT_EQ((Tree{"_converted/old.jpg", "_FAILED/older.jpg", "linked"}), InTree());
}

TEST_F(MonitorTest, MergeOutputsGetNewNumberedNamesAndLogTheirLines) {
  s.runsec = true;
  s.run.log = true;
  s.run.logpath = scratch.file("logs");
  WriteFile(out + "all.pdf", "older");
  Put("1.jpg");
  auto& m = Monitor();
  m.RunOnce();
  m.RunOnce(); // nothing found: no document
  Put("2.jpg");
  m.RunOnce();
  EXPECT_EQ((Tree{"all.pdf", "all(NEW001).pdf", "all(NEW002).pdf"}), FilesUnder(out));
  EXPECT_EQ("older", ReadFile(out + "all.pdf"));

  m.clock = [] { return kNow; };
  std::string expected =
      "[Output]: " + out + "all.pdf\r\n[Input]: " + in + "1.jpg\r\n[State]: Succeed\r\n";
  EXPECT_NE(std::string::npos, m.log().find(expected));
  EXPECT_EQ(0u, m.log().find("[Time]: "));
  m.sleeper = [&](std::chrono::seconds) { m.Stop(); };
  m.Run();
  std::time_t t = Clock::to_time_t(kNow);
  std::tm local{};
  localtime_r(&t, &local);
  char name[32];
  std::snprintf(name, sizeof name, "%d_%02d_%02d.log", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  std::string written = ReadFile(scratch.file("logs") + "/" + name);
  EXPECT_NE(std::string::npos, written.find("[State]: Succeed\r\n"));
}

TEST_F(MonitorTest, OutputFailuresNeverLoseASourceFile) {
  s.runsec = true;
  s.delSuccess = true;
  Put("1.jpg");
  Put("2.jpg");

  // Merge output that cannot be created: the files wait for the next pass.
  WriteFile(scratch.file("blocker"), "x");
  s.run.outPath0 = scratch.file("blocker") + "/all.pdf";
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"1.jpg", "2.jpg"}), InTree());
  EXPECT_NE(std::string::npos, monitor->log().find("[State]: Failed\r\n"));

  // A document that cannot be completed: nothing is deleted.
  s.run.outPath0 = out + "all.pdf";
  engine.closeResult = 0;
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"1.jpg", "2.jpg"}), InTree());
  EXPECT_EQ(app::FileOutcome::kOutputFailed, front.reports.back().outcome);
  EXPECT_EQ("could not write " + out + "all.pdf", front.reports.back().reason);
  EXPECT_NE(std::string::npos, monitor->log().find("[State]: Create Failed\r\n"));

  // Per image, a document that cannot be opened counts as a failed file.
  engine.closeResult = 1;
  s.run.mode = app::OutputMode::kPerImage;
  s.run.outPath1 = scratch.file("blocker") + "/";
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"_failed/1.jpg", "_failed/2.jpg"}), InTree());
  EXPECT_EQ("could not write " + scratch.file("blocker") + "/2.pdf", front.reports.back().reason);
}

TEST_F(MonitorTest, APerFolderDocumentThatCannotBeWrittenKeepsOnlyItsOwnFiles) {
  s.run.mode = app::OutputMode::kPerFolder;
  s.subdir = true;
  s.runsec = true;
  Put("a/1.jpg");
  Put("a/2.jpg");
  Put("b/3.jpg");
  // The first document (a.pdf) cannot be completed; b.pdf can.
  int closes = 0;
  engine.onClose = [&closes] { return ++closes == 1 ? 0 : 1; };
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"a/1.jpg", "a/2.jpg", "b/_converted/3.jpg"}), InTree());
  std::vector<std::string> outcomes;
  for (const app::FileReport& r : front.reports)
    outcomes.push_back(fs::path(r.path).filename().string() + " " +
                       std::to_string(static_cast<int>(r.outcome)));
  EXPECT_EQ((std::vector<std::string>{"1.jpg 2", "2.jpg 2", "3.jpg 0"}), outcomes);
  EXPECT_EQ((Tree{"b.pdf"}), FilesUnder(out));
}

TEST_F(MonitorTest, TheScanTakesEveryTypeOfTheListItIsGiven) {
  s.runsec = true;
  s.types = app::SupportedTypes(false); // no plug-in: GIF is not taken
  for (const char* f : {"a.png", "b.TIF", "c.pgm", "d.gif", "e.svg"})
    Put(f);
  Monitor().RunOnce();
  EXPECT_EQ((Tree{"_converted/a.png", "_converted/b.TIF", "_converted/c.pgm", "d.gif", "e.svg"}),
            InTree());
}

TEST_F(MonitorTest, ASourceStampedFarInTheFutureIsNotLeftWaiting) {
  s.runsec = true;
  Put("x.jpg");
  SetMtime(in + "x.jpg", now + std::chrono::hours(24 * 365));
  Monitor().RunOnce();
  EXPECT_EQ(1, engine.Adds());
  EXPECT_EQ((Tree{"_converted/x.jpg"}), InTree());
}

TEST_F(MonitorTest, PerFolderDocumentThatCannotBeOpenedSkipsItsFolder) {
  s.run.mode = app::OutputMode::kPerFolder;
  s.subdir = true;
  s.runsec = true;
  Put("a/1.jpg");
  Put("a/2.jpg");
  Put("b/3.jpg");
  WriteFile(scratch.file("blocker"), "x");
  s.run.outPath2 = scratch.file("blocker") + "/";
  Monitor().RunOnce();
  // The first file of the folder goes to _failed; the rest are tried again later.
  EXPECT_EQ((Tree{"a/_failed/1.jpg", "a/2.jpg", "b/_failed/3.jpg"}), InTree());
  EXPECT_EQ(0, engine.Adds());
}

TEST_F(MonitorTest, NewSettingsApplyToDocumentsOpenedLaterAndTheProducerIsBuiltIn) {
  s.run.mode = app::OutputMode::kPerImage;
  s.run.conv.producer = "Someone else";
  s.run.conv.title = "Before";
  Put("1.jpg");
  auto& m = Monitor();
  m.RunOnce();
  app::RunSettings changed = s.run;
  changed.conv.title = "After";
  changed.policy = app::ExistingFilePolicy::kOverwrite;
  m.UpdateRunSettings(changed);
  m.RunOnce(); // single pass: the file is still there
  EXPECT_EQ((Names{"info Before||||", "info After||||"}), engine.Only("info"));
  const std::string builtIn = std::string("opt 111 0 0 ") + app::kDefaultProducer;
  EXPECT_EQ((Names{builtIn, builtIn}), engine.Only("opt 111"));
  // The policy stays the one monitoring started with.
  EXPECT_EQ((Tree{"1.pdf", "1(NEW001).pdf"}), FilesUnder(out));
}

} // namespace
