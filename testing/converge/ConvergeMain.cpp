// converge [--seed N | --first N --runs R] [--steps S] [--front cli|messages] [--figures]
//          [--verbose]
// Plays convergence runs against the real engine and reference service: one seed (a replay),
// or R seeds from N. The engine is driven through corvena-cli, or with --front messages
// through the engine's own messages. Each failing run prints its seed, its steps, the violations
// and the three views; --verbose prints every run's steps. --figures prints converge_runs,
// converge_steps, converge_violations and converge_seconds as "name value unit". Exit 0 when no run
// failed, 1 when one did, 2 on a bad command line or a run that could not be set up.

#include <cstdio>
#include <exception>
#include <string>

#include "platform/ThreadMessage.h"
#include "testing/converge/ConvergeRun.h"

int main(int argc, char** argv) {
    std::uint64_t first = 1;
    int runs = 1;
    int steps = 50;
    bool figures = false;
    bool verbose = false;
    converge::EFront front = converge::EFront::Cli;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = i + 1 < argc;
        try {
            if (arg == "--seed" && valued) {
                first = std::stoull(argv[++i]);
                runs = 1;
            } else if (arg == "--first" && valued) {
                first = std::stoull(argv[++i]);
            } else if (arg == "--runs" && valued) {
                runs = std::stoi(argv[++i]);
            } else if (arg == "--steps" && valued) {
                steps = std::stoi(argv[++i]);
            } else if (arg == "--front" && valued &&
                       (std::string(argv[i + 1]) == "cli" ||
                        std::string(argv[i + 1]) == "messages")) {
                front = std::string(argv[++i]) == "cli" ? converge::EFront::Cli
                                                        : converge::EFront::Messages;
            } else if (arg == "--verbose") {
                verbose = true;
            } else if (arg == "--figures") {
                figures = true;
            } else {
                throw std::invalid_argument(arg);
            }
        } catch (const std::exception&) {
            std::fprintf(stderr,
                         "usage: converge [--seed N | --first N --runs R] [--steps S] "
                         "[--front cli|messages] [--figures] [--verbose]\n");
            return 2;
        }
    }
    try {
        const converge::TCampaignFigures result =
            converge::RunCampaign(first, runs, steps, stdout, verbose, front);
        if (figures) {
            std::printf(
                "converge_runs %d runs\nconverge_steps %d steps\n"
                "converge_violations %d violations\nconverge_seconds %.1f s\n",
                result.iRuns, result.iSteps, result.iViolations, result.seconds);
        }
        for (std::uint64_t seed : result.failedSeeds) {
            std::fprintf(stderr, "failed: seed %llu\n", static_cast<unsigned long long>(seed));
        }
        return result.failedSeeds.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "converge: %s\n", error.what());
        return 2;
    }
}
