#pragma once
// What the watcher's and the disk monitor's tests share: writing test files and a watcher
// whose I/O thread a test holds back, so that the kernel's events pile up unread.

#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "engine/DirectoryChangeWatcher.h"

namespace watch_test {

// Appends text, creating the file when it is missing.
inline void WriteFile(const std::filesystem::path& path, const std::string& text = "") {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
}

// Holds the I/O thread at its start until released.
class CHeldWatcher : public CDirectoryChangeWatcher {
  public:
    std::promise<void> started;
    std::promise<void> release;

  protected:
    void ThreadStarted() override {
        started.set_value();
        release.get_future().wait();
    }
};

}  // namespace watch_test
