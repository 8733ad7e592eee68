// refservice: the reference service. Prints its port once it accepts connections (and, when
// asked, an account's web page address) and ends cleanly on SIGTERM or SIGINT.

#include <signal.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "service/RefService.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    TServiceOptions options;
    std::string error;
    if (!ParseServiceOptions(args, options, error)) {
        std::fprintf(stderr, "refservice: %s\n%s", error.c_str(), kServiceUsage);
        return 2;
    }
    // Blocked before any thread starts, so that every thread inherits the mask and the
    // signals wait for sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        CRefService service(options);
        int port = service.Start();
        std::printf("%d\n", port);
        if (!options.strWebLink.empty()) {
            std::printf("%s\n", service.WebLink(options.strWebLink, port).c_str());
        }
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.Stop();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "refservice: %s\n", failure.what());
        return 1;
    }
    return 0;
}
