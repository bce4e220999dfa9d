// The pictofold-engine script runner: its contract is relied on by other checks.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using testsupport::BinPath;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::Run;
using testsupport::ScratchDir;
using testsupport::WriteFile;

testsupport::RunResult RunScript(const ScratchDir& dir, const std::string& script,
                                 const std::string& flags = "") {
  std::string path = dir.file("script.txt");
  WriteFile(path, script);
  return Run("cd " + Quote(dir.path().string()) + " && " + Quote(BinPath("pictofold-engine")) +
             " " + flags + " " + Quote(path));
}

TEST(Runner, PrintsOneResultPerCallAndQueryOutputs) {
  ScratchDir dir;
  auto r = RunScript(dir, "# comment\n"
                          "\n"
                          "EngineCreate out.pdf\n"
                          "EngineSetInfo $ \"T\\x41\\\"b\\\\\" - - - -\n"
                          "EngineSetOption $ 0x6d 5 5 - -\n"
                          "EngineSetOption $ 123 2 0 \"PackBits\" -\n"
                          "EngineQuery $ 209 & & - -\n"
                          "EngineQuery $ 210 2 0 & -\n"
                          "EngineQuery $ 210 3 0 & -\n"
                          "EngineQuery $ 215 & 0 - -\n"
                          "EngineSetOption 999 109 2 2\n"
                          "EngineClose $\n"
                          "EngineClose $\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "1\n1\n1\n1\n612 outA=612 outB=792\n0 textA=\"packbits\"\n1 textA=\"\"\n"
                   "1 outA=1\n0\n1\n0\n");
  auto info =
      testsupport::Pikepdf(dir.file("out.pdf"), "print(pikepdf.open(sys.argv[1]).docinfo.Title)");
  EXPECT_EQ(info.out, "TA\"b\\\n");
}

TEST(Runner, UnparsableLinesStopWithStatus2AndTheLineNumber) {
  const char* bad[] = {
      "EngineCreate \"unterminated\n",
      "EngineSetOption 1 abc 0 0\n",
      "EngineSetOption 1 109 \"2\" 2\n",
      "NoSuchOperation 1\n",
      "EngineSetInfo 1 \"bad \\q escape\" - - - -\n",
      "EngineCreate \"\\x4\"\n",
  };
  for (const char* line : bad) {
    ScratchDir dir;
    auto r = RunScript(dir, std::string("EngineQuery 1 206\n") + line);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << line << r.out;
  }
}

TEST(Runner, StandardOutputCarriesOnlyThePdf) {
  ScratchDir dir;
  std::string script = dir.file("s.txt");
  WriteFile(script, "EngineCreate \"-\"\nEngineSetOption $ 109 2 2 - -\nEngineClose $\n");
  std::string pdf = dir.file("stdout.pdf");
  auto r = testsupport::Run("{ " + Quote(BinPath("pictofold-engine")) + " " + Quote(script) +
                            " 2>/dev/null >" + Quote(pdf) + "; }");
  EXPECT_EQ(r.status, 0);
  std::string bytes = ReadFile(pdf);
  EXPECT_EQ(bytes.substr(0, 8), "%PDF-1.4");
  EXPECT_TRUE(testsupport::QpdfCheckClean(pdf));
}

TEST(Runner, FixedClockAndIdMakeRunsRepeatable) {
  ScratchDir dir;
  const std::string script = "EngineCreate out.pdf\nEngineSetOption $ 109 2 2\nEngineClose $\n";
  const std::string flags = "--clock 1391436309 --id 000102030405060708090A0B0C0D0E0F";
  ASSERT_EQ(RunScript(dir, script, flags).status, 0);
  std::string first = ReadFile(dir.file("out.pdf"));
  ASSERT_EQ(RunScript(dir, script, flags).status, 0);
  EXPECT_TRUE(first == ReadFile(dir.file("out.pdf")));
  EXPECT_EQ(RunScript(dir, script, "--id 12").status, 2);
}

} // namespace
