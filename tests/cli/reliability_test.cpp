// What the command line promises when things go wrong: no page means no file, failed images
// leave no blank pages, a signal keeps nothing half done, outputs never clobber inputs, and a
// folder has one watcher.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_lock.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinPath;
using testsupport::Pikepdf;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::ScratchDir;
using testsupport::WriteFile;

class Reliability : public ::testing::Test {
protected:
  void SetUp() override {
    in_ = dir_.file("in");
    out_ = dir_.file("out");
    fs::create_directories(in_);
    fs::create_directories(out_);
    setenv("HOME", dir_.file("home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.file("run").c_str(), 1);
    fs::create_directories(dir_.file("run"));
    auto r = testsupport::Run("/usr/bin/python3 -c " + Quote(R"(
import sys
from PIL import Image
out = sys.argv[1]
for i in range(4):
    Image.new('RGB', (200, 150), (60 * i, 90, 200)).save('%s/good%d.jpg' % (out, i))
Image.new('RGB', (200, 150), (0, 0, 0)).save(out + '/whole.jpg')
data = open(out + '/whole.jpg', 'rb').read()
open(out + '/trunc.jpg', 'wb').write(data[:len(data) // 2])
open(out + '/bad.bmp', 'wb').write(b'BM' + b'\0' * 10)
)") + " " + Quote(in_));
    ASSERT_EQ(r.status, 0) << r.out;
  }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  testsupport::RunResult Pictofold(const std::string& args) {
    return testsupport::Run(Quote(BinPath("pictofold")) + " " + args);
  }
  std::string In(const std::string& name) { return Quote(in_ + "/" + name); }
  int Pages(const std::string& pdf) {
    auto r = Pikepdf(pdf, "pdf = pikepdf.open(sys.argv[1]); print(len(pdf.pages))");
    return r.status == 0 ? std::stoi(r.out) : -1;
  }
  std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
      out.insert(e.path().filename().string());
    return out;
  }

  ScratchDir dir_;
  std::string in_, out_;
};

TEST_F(Reliability, FailedImagesLeaveNoBlankPages) {
  struct Case {
    const char* layout; // --set layout=N
    const char* inputs;
    int pages; // 0: no file at all
  } cases[] = {
      {"1", "good0.jpg trunc.jpg bad.bmp good1.jpg", 2},
      {"1", "trunc.jpg bad.bmp", 0},
      // N-up: a failed image's cell stays empty, a page whose every cell failed goes.
      {"4", "good0.jpg trunc.jpg good1.jpg", 1},
      {"2", "good0.jpg good1.jpg trunc.jpg bad.bmp good2.jpg", 2},
      {"2", "trunc.jpg bad.bmp", 0},
  };
  int k = 0;
  for (const Case& c : cases) {
    std::string pdf = out_ + "/c" + std::to_string(k++) + ".pdf";
    std::string args;
    for (std::string rest = c.inputs; !rest.empty();) {
      size_t sp = rest.find(' ');
      args += " " + In(rest.substr(0, sp));
      rest = sp == std::string::npos ? "" : rest.substr(sp + 1);
    }
    auto r = Pictofold("convert --settings /dev/null --set pageSize=2 --set layout=" +
                       std::string(c.layout) + " -o " + Quote(pdf) + args);
    EXPECT_EQ(r.status, 1) << c.inputs << "\n" << r.out;
    if (c.pages == 0) {
      EXPECT_FALSE(fs::exists(pdf)) << c.inputs;
    } else {
      EXPECT_EQ(Pages(pdf), c.pages) << c.inputs;
    }
  }
  EXPECT_EQ(Names(out_).size(), 3u);
}

// When no page was added, nothing is written and an existing file stays byte for byte.
TEST_F(Reliability, ARunThatAddsNoPageWritesNoFile) {
  std::string existing = out_ + "/keep.pdf";
  ASSERT_EQ(
      Pictofold("convert --settings /dev/null -q -o " + Quote(existing) + " " + In("good0.jpg"))
          .status,
      0);
  std::string before = ReadFile(existing);
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"--exists overwrite -o " + Quote(existing) + " " + In("trunc.jpg") + " " + In("bad.bmp"), 1},
      {"--exists append -o " + Quote(existing) + " " + In("trunc.jpg"), 1},
      {"--exists new -o " + Quote(existing) + " " + In("bad.bmp"), 1},
      {"--exists overwrite -o " + Quote(existing) + " " + In("no-such-name.jpg"), 1},
      {"-m per-image -o " + Quote(out_) + " " + In("trunc.jpg") + " " + In("bad.bmp"), 1},
      {"-m per-folder -o " + Quote(out_) + " " + In("trunc.jpg"), 1},
  };
  for (const Case& c : cases) {
    auto r = Pictofold("convert --settings /dev/null -q " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
    EXPECT_EQ(ReadFile(existing), before) << c.args;
    EXPECT_EQ(Names(out_), std::set<std::string>{"keep.pdf"}) << c.args;
  }
  // Each input is named with its reason.
  auto r = Pictofold("convert --settings /dev/null -q -o " + Quote(out_ + "/x.pdf") + " " +
                     In("trunc.jpg") + " " + In("bad.bmp"));
  EXPECT_NE(r.out.find("trunc.jpg: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bad.bmp: "), std::string::npos) << r.out;
}

TEST_F(Reliability, OutputsThatWouldDestroyOrMisplaceAreRefused) {
  std::string pdfInput = in_ + "/doc.pdf";
  WriteFile(pdfInput, "%PDF-1.4 not really\n");
  fs::create_directories(out_ + "/existing");
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"-o " + Quote(out_ + "/existing") + " " + In("good0.jpg"),
       out_ + "/existing is a folder; name the PDF file"},
      {"-o " + Quote(out_ + "/newfolder/") + " " + In("good0.jpg"),
       "is a folder; name the PDF file"},
      {"--exists overwrite -o " + Quote(pdfInput) + " " + In("good0.jpg") + " " + Quote(pdfInput),
       "is also an input"},
  };
  for (const Case& c : cases) {
    auto r = Pictofold("convert --settings /dev/null " + c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  }
  EXPECT_EQ(ReadFile(pdfInput), "%PDF-1.4 not really\n");
  EXPECT_EQ(Names(out_), std::set<std::string>{"existing"});
  EXPECT_TRUE(fs::is_empty(out_ + "/existing"));
}

TEST_F(Reliability, DashDashEndsTheOptionsAndControlCharactersAreEscaped) {
  std::string odd = in_ + "/-q\x1b[31m.jpg";
  fs::copy_file(in_ + "/good0.jpg", odd);
  std::string pdf = out_ + "/o.pdf";
  WriteFile(in_ + "/-bad\x07.jpg", "not an image");
  auto r = Pictofold("convert --settings /dev/null -o " + Quote(pdf) + " -- " + Quote(odd) + " " +
                     Quote(in_ + "/-bad\x07.jpg"));
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(Pages(pdf), 1);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x07'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("-bad\\x07.jpg"), std::string::npos) << r.out;
}

// Whether a process has installed its handler for sig (so the signal is caught, not fatal).
bool Catches(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("SigCgt:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
  return false;
}

// A signal aborts: nothing is committed, no temporary stays, and the inputs not converted are
// named even with -q. The run is held at a chosen point: an append waits for the lock this
// test holds on the target.
TEST_F(Reliability, ASignalAbortsWithoutCommitting) {
  struct Case {
    int sig;
    int status;
  } cases[] = {{SIGTERM, 143}, {SIGINT, 130}};
  std::string target = out_ + "/t.pdf";
  ASSERT_EQ(Pictofold("convert --settings /dev/null -q -o " + Quote(target) + " " + In("good0.jpg"))
                .status,
            0);
  std::string before = ReadFile(target);
  for (const Case& c : cases) {
    platform::FileLock held;
    ASSERT_TRUE(held.Lock(target));
    std::string errors = dir_.file("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 2);
      std::string bin = BinPath("pictofold");
      std::vector<std::string> args = {
          bin,    "convert",          "--settings",       "/dev/null",
          "-q",   "--exists",         "append",           "-o",
          target, in_ + "/good1.jpg", in_ + "/good2.jpg", in_ + "/good3.jpg"};
      std::vector<char*> argv;
      for (auto& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(bin.c_str(), argv.data());
      _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Catches(pid, c.sig) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(Catches(pid, c.sig));
    kill(pid, c.sig);
    int status = 0;
    waitpid(pid, &status, 0);
    held.Unlock();
    ASSERT_TRUE(WIFEXITED(status)) << c.sig;
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    std::string err = ReadFile(errors);
    EXPECT_NE(err.find("stopped: 3 inputs not converted"), std::string::npos) << err;
    for (const char* name : {"good1.jpg", "good2.jpg", "good3.jpg"})
      EXPECT_NE(err.find(name), std::string::npos) << err;
    EXPECT_EQ(ReadFile(target), before);
    EXPECT_EQ(Names(out_), std::set<std::string>{"t.pdf"});
  }
  // Unheld, the same append goes through.
  EXPECT_EQ(Pictofold("convert --settings /dev/null -q --exists append -o " + Quote(target) + " " +
                      In("good1.jpg"))
                .status,
            0);
  EXPECT_EQ(Pages(target), 2);
}

TEST_F(Reliability, ASecondWatcherOfAFolderRefusesToStart) {
  std::string hot = dir_.file("hot");
  fs::create_directories(hot);
  pid_t pid = fork();
  if (pid == 0) {
    std::string bin = BinPath("pictofold");
    execl(bin.c_str(), bin.c_str(), "watch", hot.c_str(), "--interval", "1", "-q", "-o",
          (out_ + "/w.pdf").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::is_directory(hot + "/_converted") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::is_directory(hot + "/_converted"));
  auto r = Pictofold("watch " + Quote(hot + "/") + " --once -q -o " + Quote(out_ + "/x.pdf"));
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_NE(r.out.find("is already watched by process " + std::to_string(pid)), std::string::npos)
      << r.out;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  // Once the first has gone, the folder is free.
  auto again = Pictofold("watch " + Quote(hot) + " --once -q -o " + Quote(out_ + "/x.pdf"));
  EXPECT_EQ(again.status, 0) << again.out;
}

// A writer that pauses (here: holds the file open between writes) keeps its file out of the
// hot folder's passes; once it is done, the file is converted.
TEST_F(Reliability, TheHotFolderLeavesAFileThatIsStillBeingWritten) {
  std::string hot = dir_.file("hot");
  fs::create_directories(hot);
  std::string whole = ReadFile(in_ + "/good0.jpg");
  std::string part = hot + "/part.jpg";
  int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, whole.data(), whole.size() / 2), static_cast<ssize_t>(whole.size() / 2));
  // Its time says it was written long ago; only the open writer tells the truth.
  struct timespec old[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
  ::futimens(fd, old);
  std::string pdf = out_ + "/w.pdf";
  std::string watch =
      "watch " + Quote(hot) + " --interval 0 --passes 1 -q --settings /dev/null -o " + Quote(pdf);
  auto r = Pictofold(watch);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(part));
  EXPECT_TRUE(fs::is_empty(hot + "/_failed"));
  EXPECT_FALSE(fs::exists(pdf));

  size_t rest = whole.size() - whole.size() / 2;
  ASSERT_EQ(::write(fd, whole.data() + whole.size() / 2, rest), static_cast<ssize_t>(rest));
  ::futimens(fd, old);
  ::close(fd);
  r = Pictofold(watch);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(hot + "/_converted/part.jpg"));
  EXPECT_EQ(Pages(pdf), 1);
}

// A named pipe is refused at once with its reason; opening it for reading would wait for ever
// (the timeout turns a hang into a failure).
TEST_F(Reliability, ANamedPipeIsRefusedAtOnce) {
  std::string fifo = in_ + "/pipe.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string pdf = out_ + "/p.pdf";
  for (const std::string& args : {"info " + Quote(fifo), "convert --settings /dev/null -o " +
                                                             Quote(pdf) + " " + Quote(fifo)}) {
    auto r = testsupport::Run("timeout 30 " + Quote(BinPath("pictofold")) + " " + args);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.out;
    EXPECT_NE(r.out.find("pipe.jpg: is a named pipe, not a file"), std::string::npos) << r.out;
  }
  EXPECT_FALSE(fs::exists(pdf));
}

} // namespace
