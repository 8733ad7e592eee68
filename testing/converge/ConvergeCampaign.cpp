#include <stdlib.h>

#include <chrono>
#include <stdexcept>

#include "testing/converge/ConvergeRun.h"

namespace converge {

TCampaignFigures RunCampaign(std::uint64_t first, int runs, int steps, std::FILE* reports,
                             bool verbose, EFront front) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvena-converge-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    const auto start = std::chrono::steady_clock::now();
    TCampaignFigures figures;
    {
        CCampaign campaign(TANDRIX_PATH, CORVENA_CLI_PATH, REFSERVICE_PATH, pattern, front);
        for (int i = 0; i < runs; ++i) {
            const TRunResult result = campaign.Run(first + std::uint64_t(i), steps);
            ++figures.iRuns;
            figures.iSteps += result.iSteps;
            figures.iViolations += int(result.violations.size());
            if (verbose && result.violations.empty()) {
                std::fprintf(reports, "seed %llu\n%s\n",
                             static_cast<unsigned long long>(result.seed), result.strSteps.c_str());
            }
            if (!result.violations.empty()) {
                figures.failedSeeds.push_back(result.seed);
                std::fprintf(reports, "%s\n", result.strReport.c_str());
                std::fflush(reports);
            }
            std::fprintf(stderr, "seed %llu: %d steps, %zu violations, %.1f s\n",
                         static_cast<unsigned long long>(result.seed), result.iSteps,
                         result.violations.size(), result.seconds);
        }
    }
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ec;
    if (figures.failedSeeds.empty() || getenv("CONVERGE_KEEP") == nullptr) {
        std::filesystem::remove_all(pattern, ec);
    }
    return figures;
}

}  // namespace converge
