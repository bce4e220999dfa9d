// The script runner's drawing and measuring lines.
#include "text_test_util.h"

namespace {

TEST(Runner, DrawsAndMeasures) {
  testsupport::ScratchDir dir;
  std::string pdf = dir.file("runner.pdf");
  std::string script = dir.file("script.txt");
  testsupport::WriteFile(script, "EngineCreate " + pdf +
                                     "\n"
                                     "EngineQuery $ 250 300 10 \"abc\\nab\"\n"
                                     "EngineQuery $ 251 300 10 \"abc\\nab\"\n"
                                     "EngineDrawText $ 10 10 \"a (b)\" 0xFF\n"
                                     "EngineDrawText $ -1 5 \"refused\" 0\n"
                                     "EngineDrawLine $ 0 0 100 100 2 0xFF0000\n"
                                     "EngineDrawLine $ 0 0 100 100 0 0\n"
                                     "EngineClose $\n");
  testsupport::RunResult r =
      testsupport::Run(testsupport::Quote(testsupport::BinPath("pictofold-engine")) + " " +
                       testsupport::Quote(script));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "1\n18\n28\n1\n0\n1\n0\n1\n");
  std::vector<std::string> pages = texttest::InflatedStreams(testsupport::ReadFile(pdf));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], "BT 1 0 0 1 10 766 Tm /F1 16 Tf 1 0 0 rg 16 TL (a \\(b\\)) Tj ET "
                      "q 0 0 1 RG 2 w 0 792 m 100 692 l S Q ");
}

TEST(Runner, MalformedDrawLineIsAParseError) {
  testsupport::ScratchDir dir;
  std::string script = dir.file("script.txt");
  testsupport::WriteFile(script, "EngineDrawLine 1 2 x\n");
  testsupport::RunResult r =
      testsupport::Run(testsupport::Quote(testsupport::BinPath("pictofold-engine")) + " " +
                       testsupport::Quote(script));
  EXPECT_EQ(r.status, 2) << r.out;
}

} // namespace
