// Decoration text beyond the standard fonts' code page: the font the application chooses,
// the calls it makes, and a converted file whose header and watermark read back as typed.
#include <cstdlib>
#include <string>

#include "app/decorations.h"
#include "fake_engine.h"
#include "font_check.h"

namespace {

using testing_support_fake::Calls;
using testsupport::Quote;

// Measures 0, as the engine does for fonts it cannot find, for names starting with "Missing",
// and for names starting with "Std" (standard fonts) when their embedding is asked for.
class ChoosyEngine : public testing_support_fake::FakeEngine {
public:
  int SetOption(int h, int key, int a, int b, const char* ta, const char* tb) override {
    if (key == 106) {
      name_ = a == 1 && ta ? ta : "";
      missing_ = name_.rfind("Missing", 0) == 0;
    }
    if (key == 130 && a == 1 && name_.rfind("Std", 0) == 0) missing_ = true;
    return FakeEngine::SetOption(h, key, a, b, ta, tb);
  }
  int Query(int h, int key, int* a, int* b, char* t, const char* tb) override {
    if (key == 250 && missing_) return 0;
    return FakeEngine::Query(h, key, a, b, t, tb);
  }

private:
  bool missing_ = false;
  std::string name_;
};

TEST(DecorationText, FontFollowsTheTextAndTheSetting) {
  struct Case {
    const char* font;
    const char* text;
    const char* installed; // what the installed-font lookup answers
    Calls calls;
  } const cases[] = {
      // Latin text in the default font: the calls of a build without installed fonts.
      {"Helvetica", "Doc", "Fam", {"opt 106 100 12", "text 282,411 Doc c0"}},
      {"", "Doc", "Fam", {"opt 106 100 12", "text 282,411 Doc c0"}},
      // Text the code page cannot hold: UTF-8 in the installed font, Identity-H.
      {"Helvetica",
       "Ωμέγα",
       "Fam",
       {"opt 106 1 12 Fam", "opt 130 1 0 Identity-H", "text 247,411 Ωμέγα c0"}},
      // No installed font shows it: the standard font rather than no text at all.
      {"Helvetica", "Ωμέγα", "", {"opt 106 100 12", "text 272,411 ????? c0"}},
      // An installed font for Latin text is embedded; a standard name is taken as it is; an
      // unknown name falls back to the default.
      {"Fam",
       "Doc",
       "",
       {"opt 106 1 12 Fam", "opt 130 1 0 WinAnsiEncoding", "text 282,411 Doc c0"}},
      {"StdFont",
       "Doc",
       "",
       {"opt 106 1 12 StdFont", "opt 130 1 0 WinAnsiEncoding", "opt 106 1 12 StdFont",
        "text 282,411 Doc c0"}},
      {"MissingSans",
       "Doc",
       "",
       {"opt 106 1 12 MissingSans", "opt 130 1 0 WinAnsiEncoding", "opt 106 1 12 MissingSans",
        "opt 106 100 12", "text 282,411 Doc c0"}},
  };
  for (const Case& c : cases) {
    ChoosyEngine e;
    app::DecorationSettings s;
    s.text = 1;
    s.tpos = 4;
    s.tsize = 12;
    s.tWatermark = c.text;
    s.font = c.font;
    app::TextFilters f;
    f.encode = [](const std::string& t) {
      std::string out;
      for (unsigned char b : t)
        if ((b & 0xC0) != 0x80) out += b < 0x80 ? static_cast<char>(b) : '?';
      return out;
    };
    std::string installed = c.installed;
    f.unicodeFont = [installed](const std::string&, const std::string&) { return installed; };
    app::DrawPageDecorations(e, 1, 595, 842, s, f);
    EXPECT_EQ(e.calls, c.calls) << c.font << " " << c.text;
  }
}

// The command line end to end: a header of a Greek and Chinese title and a Cyrillic text
// watermark read back exactly; a Latin footer stays in the standard font.
TEST(DecorationText, ConvertedHeaderAndWatermarkReadBack) {
  testsupport::ScratchDir dir;
  setenv("HOME", dir.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
  std::string out = dir.file("out.pdf");
  testsupport::RunResult r = testsupport::Run(
      Quote(testsupport::BinPath("pictofold")) +
      " convert --set header=1 --set hWatermark=%Title% --set " + Quote("title=Παράδειγμα 示例") +
      " --set text=1 --set tpos=4 --set tsize=20 --set " + Quote("tWatermark=Водяной знак") +
      " --set footer=1 --set fWatermark=Plain -o " + Quote(out) + " " +
      Quote(testsupport::SourcePath("samples/landscape.jpg")));
  ASSERT_EQ(r.status, 0) << r.out;
  testsupport::RunResult text = testsupport::Run("pdftotext -raw " + Quote(out) + " -");
  ASSERT_EQ(text.status, 0) << text.out;
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "Παράδειγμα 示例") << text.out;
  EXPECT_NE(text.out.find("\nВодяной знак\n"), std::string::npos) << text.out;
  testsupport::RunResult fonts = testsupport::Run("pdffonts " + Quote(out));
  EXPECT_NE(fonts.out.find("Helvetica                            Type 1            WinAnsi"),
            std::string::npos)
      << fonts.out;
  EXPECT_NE(fonts.out.find("CID TrueType      Identity-H       yes yes yes"), std::string::npos)
      << fonts.out;
  EXPECT_TRUE(testsupport::QpdfCheckClean(out));
}

// A font named in the settings that is installed shows Latin text itself, embedded.
TEST(DecorationText, NamedInstalledFontIsUsed) {
  testsupport::ScratchDir dir;
  setenv("HOME", dir.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
  std::string out = dir.file("out.pdf");
  testsupport::RunResult r = testsupport::Run(
      Quote(testsupport::BinPath("pictofold")) + " convert --set header=1 --set " +
      Quote("hWatermark=Plain ünïcode") + " --set " + Quote("font=DejaVu Serif") + " -o " +
      Quote(out) + " " + Quote(testsupport::SourcePath("samples/landscape.jpg")));
  ASSERT_EQ(r.status, 0) << r.out;
  testsupport::RunResult fonts = testsupport::Run("pdffonts " + Quote(out));
  EXPECT_NE(
      fonts.out.find(
          "DejaVu Serif                         TrueType          WinAnsi          yes no  no"),
      std::string::npos)
      << fonts.out;
  testsupport::RunResult text = testsupport::Run("pdftotext " + Quote(out) + " -");
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')), "Plain ünïcode") << text.out;
}

} // namespace
