#include "cli/CliOutput.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_outputLock;
}

void Say(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_outputLock);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void Complain(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_outputLock);
    std::fprintf(stderr, "corvena-cli: %s\n", line.c_str());
    std::fflush(stderr);
}
