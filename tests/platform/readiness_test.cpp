#include "platform/file_readiness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::Readiness;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

// A clock the test moves by hand, so no test waits for real seconds.
class ReadinessTest : public ::testing::Test {
protected:
  void SetUp() override {
    tracker_.clock = [this] { return now_; };
  }
  void Advance(std::chrono::milliseconds d) { now_ += d; }

  ScratchDir dir_;
  platform::FileReadiness tracker_{2s};
  std::chrono::steady_clock::time_point now_{};
};

TEST_F(ReadinessTest, AWatchedFileIsReadyWhenClosedAfterItsLastWrite) {
  ASSERT_TRUE(tracker_.Watch(dir_.path().string()));
  tracker_.openForWriting = [](dev_t, ino_t) { return false; }; // judge the events alone
  std::string path = dir_.file("slow.jpg");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "abc", 3), 3);
  // A writer that pauses far longer than the quiet period is still writing.
  Advance(10s);
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy);
  Advance(10s);
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy);
  ASSERT_EQ(::write(fd, "def", 3), 3);
  ::close(fd);
  EXPECT_EQ(tracker_.Check(path), Readiness::kReady);

  // Opened again and written: busy until that writer closes too.
  fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::write(fd, "g", 1), 1);
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy);
  ::close(fd);
  EXPECT_EQ(tracker_.Check(path), Readiness::kReady);

  // Moved in complete: ready at once.
  ScratchDir outside;
  WriteFile(outside.file("done.jpg"), "x");
  fs::rename(outside.file("done.jpg"), dir_.file("done.jpg"));
  EXPECT_EQ(tracker_.Check(dir_.file("done.jpg")), Readiness::kReady);

  fs::remove(path);
  EXPECT_EQ(tracker_.Check(path), Readiness::kGone);
}

TEST_F(ReadinessTest, AFileSomeProcessHoldsOpenForWritingIsNeverReady) {
  ASSERT_TRUE(tracker_.Watch(dir_.path().string()));
  std::string path = dir_.file("held.jpg");
  WriteFile(path, "abc");
  int writer = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  Advance(1h);
  tracker_.NewPass();
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy); // seen through /proc
  ::close(writer);
  int reader = ::open(path.c_str(), O_RDONLY); // a reader does not hold it back
  tracker_.NewPass();
  EXPECT_EQ(tracker_.Check(path), Readiness::kReady);
  ::close(reader);
}

TEST_F(ReadinessTest, WithoutEventsAFileMustStayUnchangedForTheQuietPeriod) {
  bool writing = false;
  tracker_.openForWriting = [&writing](dev_t, ino_t) { return writing; };
  // Not watched (as on a network mount). An old file is taken at first sight, and so is one
  // stamped in the future that nobody writes; a fresh one only after staying unchanged for
  // the quiet period.
  struct Case {
    const char* name;
    long long mtimeOffsetSeconds;
    bool readyAtOnce;
  } cases[] = {{"old.jpg", -86400, true}, {"now.jpg", 0, false}, {"future.jpg", 86400 * 365, true}};
  for (const Case& c : cases) {
    std::string path = dir_.file(c.name);
    WriteFile(path, "abc");
    auto stamp = [&] {
      struct timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) + c.mtimeOffsetSeconds, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    stamp();
    EXPECT_EQ(tracker_.Check(path), c.readyAtOnce ? Readiness::kReady : Readiness::kBusy) << c.name;
    Advance(1500ms);
    EXPECT_EQ(tracker_.Check(path), c.readyAtOnce ? Readiness::kReady : Readiness::kBusy) << c.name;
    WriteFile(path, "abcd"); // grew: whatever its time, it waits again
    stamp();
    EXPECT_EQ(tracker_.Check(path), Readiness::kBusy) << c.name;
    if (c.readyAtOnce) {
      // While some process writes it, no time lets it through.
      writing = true;
      Advance(1h);
      EXPECT_EQ(tracker_.Check(path), Readiness::kBusy) << c.name;
      writing = false;
      EXPECT_EQ(tracker_.Check(path), Readiness::kReady) << c.name;
      continue;
    }
    Advance(1500ms);
    EXPECT_EQ(tracker_.Check(path), Readiness::kBusy) << c.name;
    Advance(600ms);
    EXPECT_EQ(tracker_.Check(path), Readiness::kReady) << c.name;
  }
}

TEST_F(ReadinessTest, FilesThatWereThereBeforeTheWatchWaitForTheQuietPeriod) {
  tracker_.openForWriting = [](dev_t, ino_t) { return false; };
  std::string path = dir_.file("early.jpg");
  WriteFile(path, "abc");
  ASSERT_TRUE(tracker_.Watch(dir_.path().string()));
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy);
  // A changed time alone (touch -m, reported as a modification) restarts the wait.
  Advance(1s);
  struct timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) + 100, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  Advance(1500ms);
  EXPECT_EQ(tracker_.Check(path), Readiness::kBusy);
  Advance(2s);
  EXPECT_EQ(tracker_.Check(path), Readiness::kReady);
}

} // namespace
