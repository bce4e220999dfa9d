#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "platform/priority.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::ScratchDir;

// Points XDG_CONFIG_HOME at a scratch folder for the test's lifetime.
class AutostartTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    had_ = old != nullptr;
    if (old) saved_ = old;
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_)
      setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  ScratchDir config_;

private:
  bool had_ = false;
  std::string saved_;
};

TEST_F(AutostartTest, EntryIsWrittenAndRemovedAtOnce) {
  std::string entry = config_.path().string() + "/autostart/pictofold.desktop";
  EXPECT_EQ(platform::AutostartEntryPath(), entry);
  EXPECT_FALSE(platform::IsAutostartEnabled());

  ASSERT_TRUE(platform::SetAutostart(true, "/opt/pictofold/bin/pictofold"));
  EXPECT_TRUE(platform::IsAutostartEnabled());
  std::string text = ReadFile(entry);
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/opt/pictofold/bin/pictofold\"\n"), std::string::npos);

  ASSERT_TRUE(platform::SetAutostart(false, ""));
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(platform::SetAutostart(false, "")); // already gone is fine
}

TEST_F(AutostartTest, ExecQuotesAwkwardPaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/a b/pictofold", "Exec=\"/home/a b/pictofold\""},
      {"/p/100%/x", "Exec=\"/p/100%%/x\""},
      {"/p/$HOME/x", "Exec=\"/p/\\\\$HOME/x\""},
      {"/p/\"q\"/x", "Exec=\"/p/\\\\\"q\\\\\"/x\""},
      {"/p/back\\slash", "Exec=\"/p/back\\\\\\\\slash\""},
  };
  for (const auto& [path, line] : cases) {
    std::string text = platform::AutostartEntryText(path);
    EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << path << "\n"
                                                                             << text;
  }
}

TEST_F(AutostartTest, RefusesPathsAnExecLineCannotHold) {
  EXPECT_FALSE(platform::SetAutostart(true, "relative/pictofold"));
  EXPECT_FALSE(platform::SetAutostart(true, "/a\nX-Evil=1"));
  EXPECT_FALSE(platform::SetAutostart(true, ""));
  EXPECT_FALSE(platform::IsAutostartEnabled());
}

TEST(Priority, ChoicesMapToNiceValues) {
  const std::pair<int, int> cases[] = {{0, 19}, {1, 10}, {2, 0}, {3, -5}, {4, -10}, {9, 0}};
  for (const auto& [choice, nice] : cases)
    EXPECT_EQ(platform::NiceValueForPriority(choice), nice) << choice;
}

TEST(Priority, AppliesToTheCallingThreadOnly) {
  int before = platform::CurrentThreadNiceValue();
  if (before > 10) GTEST_SKIP() << "already running below the tested priority";
  int inWorker = 0;
  bool applied = false;
  std::thread worker([&] {
    applied = platform::ApplyPriorityToCurrentThread(1);
    inWorker = platform::CurrentThreadNiceValue();
  });
  worker.join();
  EXPECT_TRUE(applied);
  EXPECT_EQ(inWorker, 10);
  EXPECT_EQ(platform::CurrentThreadNiceValue(), before);
}

TEST(AtomicFile, ReplacesContentAndLeavesNoTemporaryFile) {
  ScratchDir dir;
  std::string path = dir.file("sub/file.txt");
  ASSERT_TRUE(platform::WriteFileAtomically(path, "one"));
  ASSERT_TRUE(platform::WriteFileAtomically(path, "two"));
  EXPECT_EQ(ReadFile(path), "two");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() / "sub"))
    ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_FALSE(platform::WriteFileAtomically("", "x"));
}

TEST(Paths, ExecutableAndFolders) {
  std::string exe = platform::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  EXPECT_TRUE(fs::exists(exe));
  std::string dir = platform::ExecutableDir();
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(exe.rfind(dir, 0), 0u);
  EXPECT_FALSE(platform::HomeDir().empty());
  EXPECT_NE(platform::HomeDir().back(), '/');
}

} // namespace
