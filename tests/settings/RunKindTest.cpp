#include "settings/RunKind.h"

#include <gtest/gtest.h>

#include <string>

namespace renvo::test {
namespace {

// Kinds of n runs started without a request: 'S' standard, 'C' complete.
std::string runs(TSettings& s, int n)
{
    std::string kinds;
    for (int i = 0; i < n; ++i)
        kinds += chooseCompleteRun(s, false) ? 'C' : 'S';
    return kinds;
}

TEST(RunKind, EveryTimesStandardRunsThenOneComplete)
{
    TSettings s;
    s.EveryTimes = 5;
    s.DoneStandard = 0;
    EXPECT_EQ(runs(s, 13), "SSSSSCSSSSSCS");
    EXPECT_EQ(s.DoneStandard, 1);

    s.EveryTimes = 0;
    EXPECT_EQ(runs(s, 3), "CCC");

    // A counter beyond the limit (the limit was lowered) gives a complete run at once.
    s.EveryTimes = 2;
    s.DoneStandard = 7;
    EXPECT_EQ(runs(s, 4), "CSSC");
}

TEST(RunKind, RequestedCompleteRunResetsTheCounter)
{
    TSettings s;
    s.EveryTimes = 5;
    s.DoneStandard = 3;
    EXPECT_TRUE(chooseCompleteRun(s, true));
    EXPECT_EQ(s.DoneStandard, 0);
    EXPECT_EQ(runs(s, 6), "SSSSSC");
}

}  // namespace
}  // namespace renvo::test
