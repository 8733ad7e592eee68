// A short convergence campaign with the real engine and reference service, and every seed
// that once found a defect, replayed with its steps.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "testing/converge/ConvergeRun.h"

namespace {

TEST(ConvergeTest, AShortCampaignFindsNoViolation) {
    const converge::TCampaignFigures figures = converge::RunCampaign(3, 2, 30, stdout);
    EXPECT_EQ(figures.iViolations, 0);
    EXPECT_EQ(figures.iRuns, 2);
}

}  // namespace
