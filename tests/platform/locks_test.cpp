#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/file_lock.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

// flock locks belong to open files, so two objects in one process exclude each other just as
// two processes do.
TEST(FileLock, ASecondLockerWaitsAndThenSeesTheReplacedFile) {
  ScratchDir dir;
  std::string path = dir.file("a.pdf");
  WriteFile(path, "v1");
  platform::FileLock first;
  ASSERT_TRUE(first.Lock(path));

  platform::FileLock probe;
  EXPECT_FALSE(probe.TryLock(path));
  EXPECT_EQ(probe.error(), EWOULDBLOCK);

  std::atomic<bool> got{false};
  std::string seen;
  platform::FileLock second;
  std::thread waiter([&] {
    ASSERT_TRUE(second.Lock(path));
    seen = ReadFile(path);
    got = true;
  });
  // The first holder replaces the file, then lets go.
  WriteFile(dir.file("next"), "v2");
  fs::rename(dir.file("next"), path);
  EXPECT_FALSE(got.load());
  first.Unlock();
  waiter.join();
  EXPECT_EQ(seen, "v2");
  // The second holds the file that now has the name.
  EXPECT_FALSE(probe.TryLock(path));
  second.Unlock();
  EXPECT_TRUE(probe.TryLock(path));
}

TEST(FileLock, WaitingEndsWhenCancelledAndAMissingFileIsSaidSo) {
  ScratchDir dir;
  std::string path = dir.file("a.pdf");
  WriteFile(path, "x");
  platform::FileLock holder, waiter;
  ASSERT_TRUE(holder.Lock(path));
  int asked = 0;
  EXPECT_FALSE(waiter.Lock(path, [&] { return ++asked >= 3; }));
  EXPECT_EQ(waiter.error(), ECANCELED);
  EXPECT_EQ(asked, 3);
  EXPECT_FALSE(waiter.Lock(dir.file("missing")));
  EXPECT_EQ(waiter.error(), ENOENT);
}

class WatchLockTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    had_ = old != nullptr;
    if (old) saved_ = old;
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_)
      setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }
  ScratchDir runtime_, watched_;

private:
  bool had_ = false;
  std::string saved_;
};

TEST_F(WatchLockTest, OneWatcherPerFolderHoweverItsPathIsSpelt) {
  fs::create_directory(watched_.path() / "in");
  fs::create_directory_symlink(watched_.path() / "in", watched_.path() / "alias");
  platform::WatchLock first;
  ASSERT_TRUE(first.Acquire(watched_.file("in")));
  for (const std::string& spelling : {watched_.file("in"), watched_.file("in/"),
                                      watched_.file("alias"), watched_.file("in/../in")}) {
    platform::WatchLock second;
    EXPECT_FALSE(second.Acquire(spelling)) << spelling;
    EXPECT_EQ(second.holder(), static_cast<int>(::getpid())) << spelling;
    EXPECT_EQ(second.error(), 0);
  }
  // Another folder is free.
  platform::WatchLock other;
  EXPECT_TRUE(other.Acquire(watched_.path().string()));
  other.Release();

  first.Release();
  platform::WatchLock after;
  EXPECT_TRUE(after.Acquire(watched_.file("alias")));
  after.Release();
  // Nothing is left in the runtime folder once everybody let go.
  EXPECT_TRUE(fs::is_empty(runtime_.path()));

  platform::WatchLock missing;
  EXPECT_FALSE(missing.Acquire(watched_.file("nope")));
  EXPECT_EQ(missing.error(), ENOENT);
  EXPECT_EQ(missing.holder(), 0);
}

} // namespace
