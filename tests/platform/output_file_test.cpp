#include "platform/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

namespace {

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    out.insert(e.path().filename().string());
  return out;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

void Fill(platform::OutputFile& out, const std::string& bytes) {
  std::ofstream f(out.writePath(), std::ios::binary | std::ios::trunc);
  f << bytes;
}

class UmaskScope {
public:
  explicit UmaskScope(mode_t m) : old_(::umask(m)) {}
  ~UmaskScope() { ::umask(old_); }

private:
  mode_t old_;
};

// Both ways of making the output: anonymous where the file system allows, a short hidden
// name where it does not. Every promise holds for either.
class OutputFileTest : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { platform::OutputFile::UseNamedTemporariesForTesting(GetParam()); }
  void TearDown() override { platform::OutputFile::UseNamedTemporariesForTesting(false); }
  ScratchDir dir_;
};

TEST_P(OutputFileTest, NothingUnderTheNameUntilPlacedAndNothingLeftWhenDropped) {
  std::string target = dir_.file("out.pdf");
  {
    platform::OutputFile out;
    ASSERT_TRUE(out.Open(target));
    EXPECT_EQ(out.anonymous(), !GetParam());
    Fill(out, "half");
    EXPECT_FALSE(fs::exists(target));
    if (GetParam()) {
      // The stand-in name is short and hidden.
      auto names = Names(dir_.path());
      ASSERT_EQ(names.size(), 1u);
      EXPECT_EQ(names.begin()->front(), '.');
      EXPECT_LE(names.begin()->size(), 40u);
    } else {
      EXPECT_TRUE(Names(dir_.path()).empty());
    }
  } // dropped without being placed
  EXPECT_TRUE(Names(dir_.path()).empty());

  platform::OutputFile out;
  ASSERT_TRUE(out.Open(target));
  Fill(out, "whole");
  ASSERT_TRUE(out.Place(platform::Placement::kNoReplace));
  EXPECT_EQ(ReadFile(target), "whole");
  EXPECT_EQ(Names(dir_.path()), std::set<std::string>{"out.pdf"});
}

TEST_P(OutputFileTest, ModesOfNewAndReplacedFiles) {
  struct Case {
    mode_t umask;
    mode_t existing; // 0: no file there before
    mode_t expected;
  } cases[] = {
      {022, 0, 0644},    {077, 0, 0600},
      {002, 0, 0664},    {022, 0640, 0640}, // a replaced file keeps its mode, whatever the umask
      {077, 0664, 0664},
  };
  for (const Case& c : cases) {
    UmaskScope mask(c.umask);
    std::string target = dir_.file("m.pdf");
    fs::remove(target);
    if (c.existing) {
      WriteFile(target, "old");
      ::chmod(target.c_str(), c.existing);
    }
    platform::OutputFile out;
    ASSERT_TRUE(out.Open(target));
    Fill(out, "new");
    ASSERT_TRUE(out.Place(platform::Placement::kReplace));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(ModeOf(target), c.expected)
        << std::oct << "umask " << c.umask << " existing " << c.existing;
  }
}

TEST_P(OutputFileTest, ReplacingThroughALinkWritesItsTargetAndKeepsTheLink) {
  std::string real = dir_.file("real.pdf"), link = dir_.file("link.pdf");
  WriteFile(real, "old");
  fs::create_symlink("real.pdf", link);
  platform::OutputFile out;
  ASSERT_TRUE(out.Open(link));
  EXPECT_EQ(out.target(), real);
  Fill(out, "new");
  ASSERT_TRUE(out.Place(platform::Placement::kReplace));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new");
  EXPECT_EQ(Names(dir_.path()), (std::set<std::string>{"link.pdf", "real.pdf"}));
}

TEST_P(OutputFileTest, NoReplaceLeavesAnExistingFileAlone) {
  std::string target = dir_.file("t.pdf");
  WriteFile(target, "theirs");
  platform::OutputFile out;
  ASSERT_TRUE(out.Open(target));
  Fill(out, "ours");
  EXPECT_FALSE(out.Place(platform::Placement::kNoReplace));
  EXPECT_EQ(out.error(), EEXIST);
  EXPECT_EQ(ReadFile(target), "theirs");
  EXPECT_EQ(Names(dir_.path()), std::set<std::string>{"t.pdf"});
}

TEST_P(OutputFileTest, NumberedNamesAreNeverSharedByTwoWriters) {
  WriteFile(dir_.file("doc.pdf"), "0");
  WriteFile(dir_.file("doc001.pdf"), "1");
  auto candidate = [&](int k) {
    char name[32];
    std::snprintf(name, sizeof name, k == 0 ? "doc.pdf" : "doc%03d.pdf", k);
    return dir_.file(name);
  };
  constexpr int kWriters = 8;
  std::vector<std::string> taken(kWriters);
  std::vector<std::thread> threads;
  for (int i = 0; i < kWriters; ++i) {
    threads.emplace_back([&, i] {
      platform::OutputFile out;
      ASSERT_TRUE(out.Open(candidate(0)));
      Fill(out, "w" + std::to_string(i));
      ASSERT_TRUE(out.PlaceNumbered(candidate, taken[static_cast<size_t>(i)]));
    });
  }
  for (auto& t : threads)
    t.join();
  std::set<std::string> distinct(taken.begin(), taken.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kWriters));
  EXPECT_EQ(ReadFile(dir_.file("doc.pdf")), "0");
  EXPECT_EQ(ReadFile(dir_.file("doc001.pdf")), "1");
  for (int i = 0; i < kWriters; ++i) {
    // Each writer's bytes are under the name it was told.
    EXPECT_EQ(ReadFile(taken[static_cast<size_t>(i)]), "w" + std::to_string(i));
    EXPECT_NE(taken[static_cast<size_t>(i)], dir_.file("doc001.pdf"));
  }
  EXPECT_EQ(Names(dir_.path()).size(), static_cast<size_t>(kWriters) + 2);
}

TEST_P(OutputFileTest, NamesOfTheLongestLengthCanBeWritten) {
  for (size_t length : {243u, 250u, 255u}) {
    std::string name(length - 4, 'n');
    name += ".pdf";
    std::string target = dir_.file(name);
    WriteFile(target, "old");
    platform::OutputFile out;
    ASSERT_TRUE(out.Open(target)) << length;
    Fill(out, "new");
    ASSERT_TRUE(out.Place(platform::Placement::kReplace)) << length << " " << out.error();
    EXPECT_EQ(ReadFile(target), "new");
    fs::remove(target);
  }
  EXPECT_TRUE(Names(dir_.path()).empty());
}

TEST_P(OutputFileTest, AFolderThatTakesNoFilesIsReportedWithItsCause) {
  WriteFile(dir_.file("plain"), "x");
  struct Case {
    std::string target;
    int error;
  } cases[] = {
      {dir_.file("no/such/x.pdf"), ENOENT},
      {dir_.file("plain/x.pdf"), ENOTDIR},
  };
  for (const Case& c : cases) {
    platform::OutputFile out;
    EXPECT_FALSE(out.Open(c.target)) << c.target;
    EXPECT_EQ(out.error(), c.error) << c.target;
  }
  if (::geteuid() != 0) { // root writes everywhere
    fs::path locked = dir_.path() / "locked";
    fs::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    platform::OutputFile out;
    EXPECT_FALSE(out.Open((locked / "x.pdf").string()));
    EXPECT_EQ(out.error(), EACCES);
    ::chmod(locked.c_str(), 0755);
  }
  EXPECT_EQ(Names(dir_.path()).count("plain"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Both, OutputFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Anonymous"; });

TEST(StaleTemporaries, OnlyThoseOfProcessesThatAreGoneAreRemoved) {
  ScratchDir dir;
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  std::string dead = platform::TemporaryName(child);
  std::string alive = platform::TemporaryName(static_cast<int>(::getpid()));
  WriteFile(dir.file(dead), "x");
  WriteFile(dir.file(alive), "x");
  WriteFile(dir.file("keep.pdf"), "x");
  WriteFile(dir.file(".keep.part"), "x");
  EXPECT_EQ(platform::RemoveStaleTemporaries(dir.path().string()), 1);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{alive, "keep.pdf", ".keep.part"}));

  // A run that cannot make anonymous files sweeps the folder it writes into.
  ScratchDir other;
  WriteFile(other.file(dead), "x");
  platform::OutputFile::UseNamedTemporariesForTesting(true);
  platform::OutputFile out;
  ASSERT_TRUE(out.Open(other.file("a.pdf")));
  out.Discard();
  platform::OutputFile::UseNamedTemporariesForTesting(false);
  EXPECT_TRUE(Names(other.path()).empty());
}

TEST(OutputFileCopy, AnOutputCanStartFromTheBytesOfAnotherFile) {
  ScratchDir dir;
  std::string source = dir.file("s.pdf");
  std::string big(300000, 'b');
  WriteFile(source, big);
  platform::OutputFile out;
  ASSERT_TRUE(out.Open(source));
  ASSERT_TRUE(out.CopyFrom(source));
  {
    std::ofstream f(out.writePath(), std::ios::binary | std::ios::app);
    f << "+tail";
  }
  EXPECT_EQ(ReadFile(source), big); // the original is untouched until placed
  ASSERT_TRUE(out.Place(platform::Placement::kReplace));
  EXPECT_EQ(ReadFile(source), big + "+tail");
  EXPECT_FALSE(out.CopyFrom(dir.file("missing")));
}

} // namespace
