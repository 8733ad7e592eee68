// corvena-cli: the engine's front end without a desktop (servers, SSH sessions, scripts).

#include "cli/Commands.h"
#include "platform/CrashReport.h"

int main(int argc, char** argv) {
    plat::InstallCrashHandler();
    return RunCommandLine(argc, argv);
}
