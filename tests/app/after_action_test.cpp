#include "app/after_action.h"

#include <gtest/gtest.h>

#include "recording_actions.h"

namespace app {
namespace {

struct ActionCase {
  int value;
  const char* location;
  const char* expected; // nullptr: nothing is done
};

std::ostream& operator<<(std::ostream& os, const ActionCase& c) {
  return os << "after=" << c.value << " location=\"" << c.location << "\"";
}

class AfterActions : public ::testing::TestWithParam<ActionCase> {};

TEST_P(AfterActions, PerformsTheChosenAction) {
  const ActionCase& c = GetParam();
  apptest::RecordingActions actions;
  PerformAfterAction(actions, static_cast<AfterAction>(c.value), c.location);
  std::vector<std::string> expected;
  if (c.expected) expected.push_back(c.expected);
  EXPECT_EQ(actions.calls, expected) << "after=" << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AfterActions,
    ::testing::Values(
        ActionCase{0, "/out/MyPDF.pdf", nullptr}, ActionCase{1, "/out/MyPDF.pdf", "poweroff"},
        ActionCase{2, "/out/MyPDF.pdf", "suspend"}, ActionCase{3, "/out/MyPDF.pdf", "reboot"},
        ActionCase{4, "/out/MyPDF.pdf", "logoff"}, ActionCase{5, "/out/MyPDF.pdf", "exit"},
        ActionCase{6, "/out/MyPDF001.pdf", "open /out/MyPDF001.pdf"},
        ActionCase{6, "/out/folder/", "open /out/folder/"}, ActionCase{6, "", nullptr},
        ActionCase{7, "/out/MyPDF.pdf", nullptr}, ActionCase{-1, "/out/MyPDF.pdf", nullptr}));

} // namespace
} // namespace app
