// corvena-send PATH...: sends the first PATH into the sync directory, as the file-manager
// entry does (the Dolphin, Thunar and Nemo entries run it). Notices go to stderr and to the
// desktop. Exit status: 0 copied, 1 no sync directory, 2 wrong use, 3 not sent.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "shellext/CountLines.h"
#include "shellext/SendNotice.h"
#include "shellext/SendThreads.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvena-send PATH...\n");
        return 2;
    }
    SetNoticeSink([](const std::string& summary, const std::string& body) {
        std::fprintf(stderr, "corvena-send: %s\n", body.c_str());
        SendDesktopNotification(summary, body);
    });
    std::vector<std::filesystem::path> items(argv + 1, argv + argc);
    CCountLines entry;
    entry.Initialize(items);
    if (entry.GetFolderLines(entry.ItemPath()) != 0) {
        std::fprintf(stderr,
                     "corvena-send: config.ini names no existing sync directory (syncdir)\n");
        return 1;
    }
    return CSendThreads::Instance().WaitAll() == 0 ? 0 : 3;
}
