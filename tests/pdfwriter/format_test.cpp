#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "pdfwriter/format.h"

namespace {

struct RealCase {
  double value;
  const char* expected;
};

void PrintTo(const RealCase& c, std::ostream* os) {
  *os << c.value;
}

class RealForm : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealForm, FormatsWithFourDigitsAndNoTrailingZeros) {
  char buf[32];
  pdf::FormatReal(buf, GetParam().value);
  EXPECT_STREQ(buf, GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Formatter, RealForm,
    ::testing::Values(RealCase{0.5, "0.5"}, RealCase{12.25, "12.25"}, RealCase{3.00004, "3"},
                      RealCase{-0.00002, "0"}, RealCase{2.99996, "3"}, RealCase{0.05, "0.05"},
                      RealCase{40000.6, "40001"}, RealCase{1e-5, "0"}, RealCase{-0.00001, "0"},
                      RealCase{0.123456, "0.1235"}, RealCase{32767.99999, "32768"},
                      RealCase{1.10004, "1.1"}, RealCase{-12.5, "-12.5"}, RealCase{0, "0"},
                      RealCase{-0.00004, "0"}, RealCase{594, "594"}, RealCase{-40000.4, "-40000"},
                      RealCase{0.00005, "0.0001"}));

TEST(Formatter, IntegerStringAndPercentConversions) {
  using pdf::FormatString;
  EXPECT_EQ(FormatString("%010ld", {1234}), "0000001234");
  EXPECT_EQ(FormatString("%05ld", {0}), "00000");
  EXPECT_EQ(FormatString("%ld", {0}), "0");
  EXPECT_EQ(FormatString("%5d|", {-42}), "-   42|");
  EXPECT_EQ(FormatString("%05d", {-42}), "-00042");
  EXPECT_EQ(FormatString("%X %lX", {255, 0xABCDEF}), "FF ABCDEF");
  EXPECT_EQ(FormatString("%c%s%c", {'(', "mid", ')'}), "(mid)");
  EXPECT_EQ(FormatString("%%EOF %q.", {}), "%EOF .");
  EXPECT_EQ(FormatString("%f %f Td", {1.5, 2}), "1.5 2 Td");
  EXPECT_EQ(FormatString("%ld", {5000000000LL}), "5000000000");
  EXPECT_EQ(FormatString("/I%s%d Do ", {"", 3}), "/I3 Do ");
}

TEST(Formatter, OutputIsCutAtCapacity) {
  char buf[8];
  size_t n = pdf::Format(buf, sizeof buf, "%s", {"0123456789"});
  EXPECT_EQ(n, 7u);
  EXPECT_STREQ(buf, "0123456");
}

TEST(Formatter, IgnoresCommaDecimalLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_ALL, "fr_FR.UTF-8") && !std::setlocale(LC_ALL, "de_DE.UTF-8"))
    GTEST_SKIP() << "no comma-decimal locale installed";
  EXPECT_EQ(pdf::FormatString("%f", {12.25}), "12.25");
  std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
