#pragma once
// Convergence runs against the real tandrix and refservice. One service serves a whole
// campaign (stopped and started again on its port when a step says so); every run has a
// fresh CORVENA_HOME, a fresh account and a fresh engine, plays the steps of its seed and
// checks the account at every quiet point (ConvergeModel.h). A failing run's report holds
// the seed, every step with what it found, the violations and the three views.
//
// Threads: the driver's thread; the message front keeps a thread of its own.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "testing/RefServiceProcess.h"
#include "testing/converge/ConvergeModel.h"

namespace converge {

// What drives the engine: corvena-cli as a script would (`run`, `sync --wait`, pause...), or
// the engine's own messages from a stand-in for the desktop client's thread.
enum class EFront { Cli, Messages };

struct TRunResult {
    std::uint64_t seed = 0;
    int iSteps = 0;  // steps played, quiet points included
    std::vector<TViolation> violations;
    std::string strReport;  // empty when the run passed
    std::string strSteps;   // every step with what it found
    double seconds = 0;
};

class CCampaign {
  public:
    // tandrix, corvena-cli and refservice are the programs; scratch a folder the campaign may
    // fill.
    CCampaign(std::string tandrix, std::string cli, const std::string& refservice,
              std::filesystem::path scratch, EFront front = EFront::Cli);
    ~CCampaign();
    CCampaign(const CCampaign&) = delete;
    CCampaign& operator=(const CCampaign&) = delete;

    TRunResult Run(std::uint64_t seed, int steps);

  private:
    std::string m_tandrix;
    std::string m_cli;
    EFront m_front;
    std::filesystem::path m_scratch;
    std::unique_ptr<testing_support::CRefServiceProcess> m_service;
    int m_iRuns = 0;
};

}  // namespace converge

namespace converge {

struct TCampaignFigures {
    int iRuns = 0;
    int iSteps = 0;
    int iViolations = 0;
    std::vector<std::uint64_t> failedSeeds;
    double seconds = 0;
};

// Runs seeds first to first + runs - 1 with steps changes and faults each, in a scratch
// folder of its own below the temporary folder; the report of every failing run goes to
// reports (with verbose, every run's steps too).
TCampaignFigures RunCampaign(std::uint64_t first, int runs, int steps, std::FILE* reports,
                             bool verbose = false, EFront front = EFront::Cli);

}  // namespace converge
