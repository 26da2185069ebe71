#include "base/fassert.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace {

// The report is one line on standard error: the text exactly as given (not the
// condition's source), then the file and line of the check; the program aborts.
TEST(AssertionDeathTest, ReportNamesTheTextFileAndLine)
{
    const int line = __LINE__ + 1;
    auto check = [] { F_ASSERT(1 + 1 == 3, "sum (of 1 + 1) == 3 ?"); };
    const std::string report = "^Assertion failed: sum \\(of 1 \\+ 1\\) == 3 \\?, file .*fassert_test\\.cpp, line " +
                               std::to_string(line) + "\n$";
    EXPECT_EXIT(check(), ::testing::KilledBySignal(SIGABRT), report);
}

TEST(AssertionDeathTest, AHoldingConditionPasses)
{
    int evaluated = 0;
    F_ASSERT(++evaluated == 1, "evaluated once");
    EXPECT_EQ(evaluated, 1);
}

}  // namespace
