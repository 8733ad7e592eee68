// A short convergence campaign with the real engine and reference service, and every seed
// that once found a defect, replayed with its steps (50 steps, as the campaign that found it).
// Labelled "campaign", so that `ctest -L campaign` runs them alone.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>

#include "testing/converge/ConvergeRun.h"

namespace {

TEST(ConvergeTest, AShortCampaignFindsNoViolation) {
    const converge::TCampaignFigures figures = converge::RunCampaign(3, 2, 30, stdout);
    EXPECT_EQ(figures.iViolations, 0);
    EXPECT_EQ(figures.iRuns, 2);
}

struct FoundSeed {
    std::uint64_t seed;
    const char* why;
};

// The seed and the defect name the case in the test's output, not the struct's bytes.
void PrintTo(const FoundSeed& found, std::ostream* out) {
    *out << "seed " << found.seed << ": " << found.why;
}

class ConvergeSeedTest : public ::testing::TestWithParam<FoundSeed> {};

TEST_P(ConvergeSeedTest, ReplaysWithoutAViolation) {
    SCOPED_TRACE(GetParam().why);
    const converge::TCampaignFigures figures =
        converge::RunCampaign(GetParam().seed, 1, 50, stdout);
    EXPECT_EQ(figures.iViolations, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Found, ConvergeSeedTest,
    ::testing::Values(
        FoundSeed{2, "a local delete just after another device's overwrite removed that version"},
        FoundSeed{4, "a local add over a name another device created: its version was nowhere"},
        FoundSeed{9, "a folder deleted and added again locally: a service version was lost"},
        FoundSeed{11, "a folder deleted and added again locally: no conflict copy"},
        FoundSeed{13,
                  "a local delete just after another device's overwrite removed that version; "
                  "a service step replacing its own version where the engine had moved it"},
        FoundSeed{14, "cut uploads, pause and a read-only folder: no convergence within 120 s"},
        FoundSeed{16,
                  "a local delete just after another device's overwrite removed that version; "
                  "a download's partial file kept a folder the service deleted"},
        FoundSeed{18, "a service append to a file moved locally: taken for a loss without a step"},
        FoundSeed{25, "a service edit in a folder the service renamed: a spurious conflict copy"},
        FoundSeed{33, "a service edit in a folder the service renamed: a spurious conflict copy"},
        FoundSeed{32, "a service folder rename onto a new local folder's name: never converged"},
        FoundSeed{38,
                  "a service folder deletion just after a local file went up into it: the "
                  "version it took was counted as lost; an edit within its row's second, whose "
                  "tasks a resume cleared, was never looked at again"},
        FoundSeed{43,
                  "a file changed on both sides: the report of its move aside renamed the "
                  "service's version, and the conflict copy got a conflict copy of its own"},
        FoundSeed{53,
                  "a folder renamed locally while the engine was down, the service adding to "
                  "it: the file moved came back at the old name"},
        FoundSeed{79,
                  "service folder renames along a chain of names (d1 -> d2, then d0 -> d1): "
                  "the second ran first and merged, a file ended in the wrong folder"},
        FoundSeed{121,
                  "an upload committed as the service stopped, its folder deleted locally "
                  "before the retry: the file came back"},
        FoundSeed{145,
                  "a service rename onto the name of a new local file: the rename failed and "
                  "the upload found the name taken, never converged"},
        FoundSeed{106, "a sync asked for just after the service came back: said unreachable"},
        FoundSeed{110,
                  "a service folder move onto a new local folder's name: the rows below it stayed "
                  "behind and it never converged"},
        FoundSeed{6,
                  "a service folder move onto a new local folder's name, a mkdir answer dropped: "
                  "the folder's file stayed at the old place and it never converged"}),
    [](const auto& info) { return "Seed" + std::to_string(info.param.seed); });

}  // namespace
